// xbtool: command-line administration of dBase tables through libxbengine.so — create,
// dump as CSV, append, set, count by expression, check, and NTX index create, seek, reindex. Text on the terminal is UTF-8;
// table text is converted from and to the table's code page.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/include/xbengine.h"
#include "base/code_page.h"

namespace {

using CodePage = velloria::codepage::TCodePage;

struct Command {
  const char* name;
  const char* usage;
  const char* help;
  int (*run)(const std::vector<std::string>& args);
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "xbtool: %s\n", message.c_str());
  return 1;
}

std::string EngineError() {
  std::string text = xb_LastErrorText();
  return text.empty() ? "unknown error" : text;
}

// Opens a table in the given mode; 0 with the reason printed on failure.
int OpenTable(const std::string& path, int mode) {
  xb_SetLockTimeout(3);
  int area = xb_UseEx(path.c_str(), "T", int16_t(mode), XB_TYPE_NTX, XB_COMMIT_FULL);
  if (area <= 0) Fail("cannot open " + path + ": " + EngineError());
  return area;
}

CodePage TableCodePage() {
  return velloria::codepage::CodePageOfLanguageDriver(static_cast<uint8_t>(xb_LanguageDriver()));
}

std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string Trimmed(const std::string& text) {
  size_t a = text.find_first_not_of(' ');
  size_t b = text.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : text.substr(a, b - a + 1);
}

// Field value as dump shows it (memo text for M fields, trimmed text otherwise).
// A memo's text, or "<binary, N bytes>" for a binary memo field or a memo holding a NUL.
std::string ShownMemo(const std::string& field, bool binary_field) {
  uint32_t length = 0;
  const char* bytes = xb_GetMemoBytes(field.c_str(), &length);
  std::string memo(bytes, length);
  if (memo.empty() || (!binary_field && memo.find('\0') == std::string::npos)) return memo;
  return "<binary, " + std::to_string(length) + " bytes>";
}

std::string ShownValue(const std::string& field) {
  std::string type = xb_FieldType(field.c_str());
  if (type == "Memo" || type == "Binary memo") return ShownMemo(field, type != "Memo");
  if (!type.empty() && type[0] == 'C') {
    std::string text = xb_GetTrimString(field.c_str());
    return text;
  }
  return Trimmed(xb_GetString(field.c_str()));
}

// One FIELD=VALUE of append or set, its value in the table's code page.
struct Assignment {
  std::string field, value;
};

// Reads FIELD=VALUE words into assignments, refusing before anything is written a word
// without '=', an unknown field, a text the code page lacks, and a text longer than its
// character field; with `truncate` such a text is cut to the field's width instead.
int ParseAssignments(const std::vector<std::string>& words, CodePage cp, bool truncate,
                     std::vector<Assignment>& out) {
  for (const std::string& a : words) {
    size_t eq = a.find('=');
    if (eq == std::string::npos || eq == 0) return Fail("expected FIELD=VALUE, got \"" + a + "\"");
    Assignment assignment{a.substr(0, eq), {}};
    const std::string& field = assignment.field;
    std::string bad;
    if (!velloria::codepage::FromUtf8Exactly(a.substr(eq + 1), cp, assignment.value, bad)) {
      return Fail("field " + field + ": cannot store \"" + bad + "\" in the table's code page");
    }
    if (xb_FieldNum(field.c_str()) == 0) return Fail("no field named " + field);
    size_t width = static_cast<size_t>(xb_FieldWidth(field.c_str()));
    if (xb_FieldType(field.c_str())[0] == 'C' && assignment.value.size() > width) {
      if (!truncate) {
        return Fail("field " + field + " holds " + std::to_string(width) + " characters, the text has " +
                    std::to_string(assignment.value.size()) + "; nothing written (--truncate cuts it)");
      }
      assignment.value.resize(width);
    }
    out.push_back(std::move(assignment));
  }
  return 0;
}

// Takes the --truncate option out of `args`; true when it was there.
bool TakeTruncateOption(std::vector<std::string>& args) {
  return std::erase(args, std::string("--truncate")) > 0;
}

// Applies the assignments to the current record. With check_only the area stands on the
// phantom record: the engine then checks each value against its field (XB_ERR_VALUE when
// it does not fit) without writing, so an append can be refused before the record exists.
int Assign(const std::vector<Assignment>& assignments, bool check_only) {
  for (const Assignment& a : assignments) {
    int16_t kind = xb_FieldType(a.field.c_str())[0] == 'M' ? XB_REPLACE_MEMO : XB_REPLACE_TEXT;
    bool written = xb_Replace(a.field.c_str(), kind, a.value.c_str()) != 0;
    if (check_only ? xb_LastErrorCode() == XB_ERR_VALUE : !written) return Fail(EngineError());
  }
  return 0;
}

int Finish(int status) {
  if (status == 0 && !xb_Commit()) status = Fail(EngineError());
  xb_Unlock(0);
  xb_CloseAll();
  if (status == 0 && xb_LastErrorCode() != XB_OK) status = Fail(EngineError());
  return status;
}

// ---- Commands --------------------------------------------------------------------------

int RunCreate(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("create needs a table and at least one field");
  int driver = 0x03;
  std::vector<std::string> fields;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--codepage") {
      if (i + 1 >= args.size()) return Fail("--codepage needs a number");
      driver = velloria::codepage::LanguageDriverOfCodePageNumber(std::atoi(args[++i].c_str()));
      if (driver < 0) return Fail("code page must be 1252, 437 or 850");
    } else {
      fields.push_back(args[i]);
    }
  }
  if (!xb_CreateNewEx(args[0].c_str(), "", XB_TYPE_NTX, int16_t(fields.size()), int16_t(driver))) {
    return Fail(EngineError());
  }
  for (const std::string& definition : fields) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t colon; (colon = definition.find(':', start)) != std::string::npos;
         start = colon + 1) {
      parts.push_back(definition.substr(start, colon - start));
    }
    parts.push_back(definition.substr(start));
    if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1) {
      return Fail("field \"" + definition + "\" must be NAME:TYPE[:WIDTH[:DECIMALS]]");
    }
    char type = char(std::toupper(static_cast<unsigned char>(parts[1][0])));
    int width = parts.size() > 2 ? std::atoi(parts[2].c_str())
                : type == 'L'    ? 1
                : type == 'D'    ? 8
                : type == 'M'    ? 10
                                 : 0;
    int decimals = parts.size() > 3 ? std::atoi(parts[3].c_str()) : 0;
    if (!xb_CreateField(parts[0].c_str(), parts[1].c_str(), int16_t(width), int16_t(decimals))) {
      return Fail(EngineError());
    }
  }
  if (!xb_CreateExec()) return Fail(EngineError());
  return 0;
}

int RunDump(const std::vector<std::string>& args) {
  if (args.size() != 1) return Fail("dump needs exactly one table");
  if (OpenTable(args[0], XB_OPEN_READ_ONLY) <= 0) return 1;
  CodePage cp = TableCodePage();
  int fields = xb_FieldCount();
  std::vector<std::string> names;
  std::string line = "DELETED";
  for (int i = 1; i <= fields; ++i) {
    names.push_back(xb_FieldName(i));
    line += "," + CsvCell(names.back());
  }
  std::printf("%s\n", line.c_str());
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    line = xb_Deleted() ? "*" : "";
    for (const std::string& name : names)
      line += "," + CsvCell(velloria::codepage::ToUtf8(ShownValue(name), cp));
    std::printf("%s\n", line.c_str());
  }
  int status = xb_LastErrorCode() == XB_OK ? 0 : Fail(EngineError());
  xb_CloseAll();
  return status;
}

int RunAppend(const std::vector<std::string>& words) {
  std::vector<std::string> args = words;
  bool truncate = TakeTruncateOption(args);
  if (args.size() < 2) return Fail("append needs a table and FIELD=VALUE pairs");
  if (OpenTable(args[0], XB_OPEN_SHARED) <= 0) return 1;
  std::vector<Assignment> assignments;
  xb_Go(0);  // the phantom record: check every value before the record exists
  if (ParseAssignments({args.begin() + 1, args.end()}, TableCodePage(), truncate, assignments) != 0 ||
      Assign(assignments, true) != 0) {
    xb_CloseAll();
    return 1;
  }
  if (!xb_AppendBlank()) return Finish(Fail(EngineError()));
  return Finish(Assign(assignments, false));
}

int RunSet(const std::vector<std::string>& words) {
  std::vector<std::string> args = words;
  bool truncate = TakeTruncateOption(args);
  if (args.size() < 3) return Fail("set needs a table, a record number and FIELD=VALUE pairs");
  char* end = nullptr;
  long record = std::strtol(args[1].c_str(), &end, 10);
  if (*end != 0 || record < 1) return Fail("bad record number \"" + args[1] + "\"");
  if (OpenTable(args[0], XB_OPEN_SHARED) <= 0) return 1;
  std::vector<Assignment> assignments;
  if (ParseAssignments({args.begin() + 2, args.end()}, TableCodePage(), truncate, assignments) != 0) {
    xb_CloseAll();
    return 1;
  }
  if (record > xb_RecCount()) return Finish(Fail("record " + args[1] + " does not exist"));
  xb_Go(int32_t(record));
  if (!xb_Rlock(int32_t(record)))
    return Finish(Fail("record " + args[1] + " is locked by another user"));
  return Finish(Assign(assignments, false));
}

int RunCount(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("count needs a table and an expression");
  if (OpenTable(args[0], XB_OPEN_READ_ONLY) <= 0) return 1;
  xb_SetDeleted(1);
  std::string expr, bad;
  if (!velloria::codepage::FromUtf8Exactly(args[1], TableCodePage(), expr, bad))
    return Fail("cannot convert \"" + bad + "\"");
  if (xb_EvalTest(expr.c_str()) != XB_EVAL_LOGICAL) {
    xb_CloseAll();
    return Fail("not a logical expression: " + args[1]);
  }
  xb_Query(expr.c_str());
  int32_t count = xb_QueryRecCount();
  int status = xb_LastErrorCode() == XB_OK ? 0 : Fail(EngineError());
  if (status == 0) std::printf("%d\n", count);
  xb_CloseAll();
  return status;
}

// Checks every record's deletion mark and the fields whose text has a fixed form.
std::vector<std::string> RecordProblems() {
  std::vector<std::string> problems;
  int fields = xb_FieldCount();
  int size = xb_RecSize();
  std::vector<unsigned char> record(size_t(size > 0 ? size : 1));
  for (xb_GoTop(); !xb_Eof() && problems.size() < 20; xb_Skip(1)) {
    std::string where = "record " + std::to_string(xb_RecNo());
    xb_GetRecord(record.data());
    if (record[0] != ' ' && record[0] != '*') problems.push_back(where + ": bad deletion mark");
    for (int i = 1; i <= fields; ++i) {
      std::string name = xb_FieldName(i);
      char type = xb_FieldType(name.c_str())[0];
      std::string text = xb_GetString(name.c_str());
      bool ok = true;
      if (type == 'L') ok = std::strchr("TtFfYyNn? ", text[0]) != nullptr;
      if (type == 'D')
        ok = Trimmed(text).empty() || xb_GetDateJulian(name.c_str()) != 0 || text == "00000000";
      if (type == 'N' || type == 'F')
        ok = Trimmed(text).find_first_not_of("0123456789.-+ eE") == std::string::npos;
      if (!ok) problems.push_back(where + ": field " + name + " holds a bad value");
    }
  }
  if (problems.size() < 20 && !xb_MemoCheck()) problems.push_back(EngineError());
  return problems;
}

// Opens each index file in the current area; false with the reason printed on failure.
bool OpenIndexes(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    if (xb_IndexOpen(file.c_str()) <= 0) {
      Fail("cannot open index " + file + ": " + EngineError());
      return false;
    }
  }
  return true;
}

// A mount that breaks sharing leaves the file sound, so it is a warning, not a problem.
void PrintMountWarning() {
  int risks = xb_MountRisks();
  if (risks <= 0) return;
  std::string text = xb_MountRiskText();
  if (risks & XB_MOUNT_UNKNOWN) text = "cannot tell whether locks reach the file server: " + text;
  if (risks & XB_MOUNT_LOCKS_LOCAL) {
    text += "; until then tables here are written by no program of this engine, and an exclusive "
            "open needs --no-other-desks";
  }
  std::printf("warning: %s\n", text.c_str());
}

int RunCheck(const std::vector<std::string>& args) {
  if (args.empty()) return Fail("check needs a table");
  if (OpenTable(args[0], XB_OPEN_READ_ONLY) <= 0) return 1;
  PrintMountWarning();
  std::vector<std::string> problems;
  std::string damage = xb_TableDamage();
  if (!damage.empty()) problems.push_back(damage);
  for (const std::string& p : RecordProblems()) problems.push_back(p);
  for (size_t i = 1; i < args.size(); ++i) {
    if (xb_IndexOpen(args[i].c_str()) <= 0) {
      problems.push_back("index " + args[i] + ": " + EngineError());
    } else if (!xb_IndexCheck(int16_t(xb_SysProp(XB_PROP_ORDER_COUNT, 0)))) {
      problems.push_back(EngineError());
    }
  }
  xb_CloseAll();
  for (const std::string& p : problems) std::printf("%s\n", p.c_str());
  if (problems.empty()) std::printf("%s: sound\n", args[0].c_str());
  return problems.empty() ? 0 : 1;
}

int RunIndex(const std::vector<std::string>& args) {
  if (args.size() < 3) return Fail("index needs a table, an index file and a key expression");
  std::string condition;
  bool unique = false, descending = false;
  for (size_t i = 3; i < args.size(); ++i) {
    if (args[i] == "--unique") unique = true;
    else if (args[i] == "--descending") descending = true;
    else if (args[i] == "--for" && i + 1 < args.size()) condition = args[++i];
    else return Fail("unknown option " + args[i]);
  }
  if (OpenTable(args[0], XB_OPEN_EXCLUSIVE) <= 0) return 1;
  int status = 0;
  if (xb_Index(args[1].c_str(), args[2].c_str(), unique, descending, condition.c_str()) <= 0)
    status = Fail("cannot index " + args[0] + ": " + EngineError());
  return Finish(status);
}

int RunSeek(const std::vector<std::string>& args) {
  if (args.size() != 3) return Fail("seek needs a table, an index file and a key");
  if (OpenTable(args[0], XB_OPEN_READ_ONLY) <= 0) return 1;
  if (!OpenIndexes({args[1]})) return Finish(1);
  std::string key, bad;
  if (!velloria::codepage::FromUtf8Exactly(args[2], TableCodePage(), key, bad))
    return Finish(Fail("the key holds " + bad + ", which the table's code page lacks"));
  bool found = xb_Seek(key.c_str()) != 0;
  if (xb_LastErrorCode() != XB_OK) return Finish(Fail(EngineError()));
  if (found) std::printf("%d\n", xb_RecNo());
  else std::printf("not found\n");
  xb_CloseAll();
  return found ? 0 : 1;
}

int RunReindex(const std::vector<std::string>& args) {
  if (args.size() < 2) return Fail("reindex needs a table and at least one index file");
  if (OpenTable(args[0], XB_OPEN_EXCLUSIVE) <= 0) return 1;
  if (!OpenIndexes({args.begin() + 1, args.end()})) return Finish(1);
  return Finish(xb_Reindex() ? 0 : Fail("cannot reindex: " + EngineError()));
}

const Command kCommands[] = {
    {"create", "create T.DBF NAME:TYPE[:WIDTH[:DECIMALS]] ... [--codepage 1252|437|850]",
     "Creates a table (dBase III, with a .DBT when it has memo fields). Types C N F L D M;\n"
     "L, D and M need no width. The code page (default 1252) is stored as the language driver.",
     RunCreate},
    {"dump", "dump T.DBF",
     "Prints the table as CSV: a header row, then one row per record. The first column,\n"
     "DELETED, holds * for records marked deleted. Memo fields show their text.",
     RunDump},
    {"append", "append T.DBF FIELD=VALUE ... [--truncate]",
     "Appends a record with the given values (numbers as text, L as T/F, D as YYYYMMDD).\n"
     "A text longer than its field is refused and nothing is written; --truncate cuts it.",
     RunAppend},
    {"set", "set T.DBF RECNO FIELD=VALUE ... [--truncate]",
     "Changes fields of record RECNO, under its record lock. A text longer than its field\n"
     "is refused and nothing is written; --truncate cuts it.",
     RunSet},
    {"count", "count T.DBF EXPR",
     "Prints how many records not marked deleted satisfy the logical expression EXPR.", RunCount},
    {"check", "check T.DBF [FILE.NTX ...]",
     "Checks the header, the field layout, the record count against the file size, every\n"
     "record's values, the memo file's block chains (each memo reads whole, ends before the\n"
     "next free block and starts inside no other memo), and each index given: keys in order,\n"
     "every record in its condition indexed once under its current key. Exit status 0 when\n"
     "sound; otherwise the reasons. A warning line says when the table's mount keeps locks\n"
     "on this machine or caches data other machines change (CIFS nobrl or cache=loose, NFS\n"
     "nolock, local_lock=all|posix or nocto); the check's status does not count it.",
     RunCheck},
    {"index", "index T.DBF FILE.NTX 'KEY EXPR' [--for COND] [--unique] [--descending]",
     "Creates an NTX index of the table on the key expression (opens the table exclusively).",
     RunIndex},
    {"seek", "seek T.DBF FILE.NTX KEY",
     "Seeks KEY in the index (a shorter text matches as a prefix) and prints the record\n"
     "number, or \"not found\" with exit status 1.",
     RunSeek},
    {"reindex", "reindex T.DBF FILE.NTX ...",
     "Rebuilds each index from the table (opens the table exclusively); repairs a damaged one.",
     RunReindex},
};

void Usage(std::FILE* out) {
  std::fprintf(out, "usage: xbtool COMMAND ARGS...   (xbtool COMMAND --help for details)\n");
  for (const Command& c : kCommands) std::fprintf(out, "  xbtool %s\n", c.usage);
  std::fprintf(out,
               "On a mount whose locks stay on this machine (smbnetfs, gvfs, sshfs, CIFS nobrl, NFS nolock)\n"
               "tables are only read; --no-other-desks, given with any command, is your word that no\n"
               "other machine uses the table, and lets the command write and open exclusively there.\n");
}

// Takes the --no-other-desks option out of `args`; true when it was there.
bool TakeNoOtherDesksOption(std::vector<std::string>& args) {
  return std::erase(args, std::string("--no-other-desks")) > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    Usage(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args) {
      if (a == "--help" || a == "-h") {
        std::printf("usage: xbtool %s\n\n%s\n", c.usage, c.help);
        return 0;
      }
    }
    if (TakeNoOtherDesksOption(args)) xb_SetLocalLocksAccepted(1);
    return c.run(args);
  }
  std::fprintf(stderr, "xbtool: unknown command \"%s\"\n", argv[1]);
  Usage(stderr);
  return 2;
}
