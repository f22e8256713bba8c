// Entry points that create tables or copy records between tables: definitions, structure
// copies, record copies to tables and delimited text, appends from another table.
#include <cmath>
#include <cstring>
#include <functional>

#include "engine/api_internal.h"
#include "engine/field_codec.h"
#include "engine/settings.h"

using namespace xb;
using namespace xb::api;

namespace {

constexpr int kHelperArea = 0;  // lock bookkeeping of tables the engine opens for itself

int32_t Fail(const Status& s, int32_t value) {
  Check(s);
  return value;
}

// Opens path for the engine's own use (not in a work area).
Status OpenHelper(const std::string& path, int mode, std::unique_ptr<Table>* out) {
  return Table::Open(path, mode, XB_COMMIT_NORMAL, kHelperArea, out);
}

// Copies field `from` of src's current record into field `to` of dst's current record,
// converting through text when the types or widths differ.
Status CopyField(Table* src, int from, Table* dst, int to) {
  const FieldInfo& a = src->Field(from);
  const FieldInfo& b = dst->Field(to);
  if (a.type == 'M' || b.type == 'M') {
    if (a.type != 'M' || b.type != 'M') return Status::Ok();
    std::string text;
    XB_RETURN_IF_ERROR(src->ReadMemoOf(from, &text));
    return text.empty() ? dst->SetFieldBytes(to, std::string(size_t(b.width), ' '))
                        : dst->WriteMemo(to, text.data(), text.size());
  }
  std::string_view bytes = FieldBytes(src->record(), a);
  if (a.type == b.type && a.width == b.width && a.decimals == b.decimals) {
    return dst->SetFieldBytes(to, std::string(bytes));
  }
  std::string out;
  std::string text = a.type == 'C' ? std::string(bytes) : TrimRight(bytes);
  XB_RETURN_IF_ERROR(EncodeText(b, text, &out));
  return dst->SetFieldBytes(to, out);
}

// Appends src's current record to dst, fields matched by name.
Status AppendCurrent(Table* src, Table* dst) {
  XB_RETURN_IF_ERROR(dst->AppendBlank(false));
  for (int to = 0; to < dst->FieldCount(); ++to) {
    int from = src->FieldIndex(dst->Field(to).name);
    if (from >= 0) XB_RETURN_IF_ERROR(CopyField(src, from, dst, to));
  }
  if (src->record()[0] == '*') XB_RETURN_IF_ERROR(dst->SetDeletedMark(true));
  return dst->Commit();
}

// Compiles an optional logical condition against view; *out stays empty for none.
Status CompileCondition(const char* text, const RecordView& view,
                        std::unique_ptr<CompiledExpr>* out) {
  if (text == nullptr || std::strspn(text, " ") == std::strlen(text)) return Status::Ok();
  std::string error;
  if (!CompiledExpr::Compile(text, view, out, &error)) {
    return Status::Error(XB_ERR_EXPRESSION, "Invalid condition: " + error);
  }
  if ((*out)->ResultType() != kExprLogical) {
    return Status::Error(XB_ERR_EXPRESSION, "The condition is not logical");
  }
  return Status::Ok();
}

// Calls visit for each shown record of t satisfying condition; the position is kept.
Status ForEachMatching(Table* t, const char* condition, const std::function<Status()>& visit) {
  std::unique_ptr<CompiledExpr> cond;
  XB_RETURN_IF_ERROR(CompileCondition(condition, *t, &cond));
  uint32_t saved = t->recno();
  bool was_eof = t->eof();
  ExprSettings settings = GlobalSettings().ForExpressions();
  Status s = t->GoTop();
  for (; s.ok() && !t->eof(); s = t->Skip(1)) {
    if (cond && !cond->EvalLogical(*t, settings)) continue;
    s = visit();
    if (!s.ok()) break;
  }
  Status back = was_eof ? t->Go(0) : t->Go(saved);
  return s.ok() ? back : s;
}

Status CreateLike(const Table& t, const std::string& path) {
  TableLayout layout;
  layout.language_driver = t.layout().language_driver;
  for (const FieldInfo& f : t.layout().fields) {
    if (std::strchr("CNFLDM", f.type) == nullptr) {
      return Status::Error(XB_ERR_NOT_SUPPORTED, "Field " + f.name + ": type " +
                                                     std::string(1, f.type) +
                                                     " cannot be written to a dBase III table");
    }
    FieldInfo copy = f;
    if (copy.type == 'M') copy.width = 10;
    layout.fields.push_back(copy);
  }
  return Table::Create(path, layout);
}

int32_t StartCreate(const char* file, const char* alias, int16_t type, int16_t language_driver) {
  ClearError();
  if (file == nullptr || *file == 0) return Fail(Status::Error(XB_ERR_ARGUMENT, "No file name"), 0);
  if (!ValidTableType(type))
    return Fail(Status::Error(XB_ERR_ARGUMENT, "Table type must be 1 to 4"), 0);
  if (language_driver < 0 || language_driver > 255) {
    return Fail(Status::Error(XB_ERR_ARGUMENT, "Language driver must be 0 to 255"), 0);
  }
  PendingCreate& c = S().create;
  c = PendingCreate();
  c.active = true;
  c.path = TablePath(file);
  c.alias = alias ? alias : "";
  c.layout.language_driver = uint8_t(language_driver);
  return 1;
}

}  // namespace

extern "C" {

XB_API int32_t xb_CreateNew(const char* file, const char* alias, int16_t type, int16_t) try {
  return StartCreate(file, alias, type, 0x03);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CreateNewEx(const char* file, const char* alias, int16_t type, int16_t,
                              int16_t language_driver) try {
  return StartCreate(file, alias, type, language_driver);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CreateField(const char* name, const char* type, int16_t width,
                              int16_t decimals) try {
  ClearError();
  PendingCreate& c = S().create;
  if (!c.active) return Fail(Status::Error(XB_ERR_ARGUMENT, "xb_CreateNew must come first"), 0);
  if (name == nullptr || type == nullptr || *type == 0) {
    return Fail(Status::Error(XB_ERR_ARGUMENT, "Field name and type are required"), 0);
  }
  FieldInfo f;
  f.name = name;
  for (char& ch : f.name) ch = char(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  f.type = char(*type >= 'a' && *type <= 'z' ? *type - 32 : *type);
  f.width = uint16_t(width);  // widths above 32,767 arrive as negative 16-bit values
  f.decimals = decimals;
  if (!Check(CheckFieldDefinition(f))) return 0;
  if (c.layout.FieldIndex(f.name) >= 0) {
    return Fail(Status::Error(XB_ERR_ARGUMENT, "Field " + f.name + " appears twice"), 0);
  }
  c.layout.fields.push_back(f);
  return 1;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CreateExec(void) try {
  ClearError();
  PendingCreate c = std::move(S().create);
  S().create = PendingCreate();
  if (!c.active) return Fail(Status::Error(XB_ERR_ARGUMENT, "xb_CreateNew must come first"), 0);
  if (!Check(Table::Create(c.path, c.layout))) return 0;
  if (c.alias.empty()) return 1;
  int16_t area =
      xb_UseEx(c.path.c_str(), c.alias.c_str(), XB_OPEN_SHARED, XB_TYPE_NTX, XB_COMMIT_NORMAL);
  return area > 0 ? area : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CopyStructure(const char* file) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (file == nullptr || *file == 0) return Fail(Status::Error(XB_ERR_ARGUMENT, "No file name"), 0);
  return Check(CreateLike(*t, TablePath(file))) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CopyStructureExtended(const char* file) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (file == nullptr || *file == 0) return Fail(Status::Error(XB_ERR_ARGUMENT, "No file name"), 0);
  TableLayout layout;
  layout.fields = {{"FIELD_NAME", 'C', 0, 10, 0},
                   {"FIELD_TYPE", 'C', 0, 1, 0},
                   {"FIELD_LEN", 'N', 0, 3, 0},
                   {"FIELD_DEC", 'N', 0, 3, 0}};
  std::string path = TablePath(file);
  std::unique_ptr<Table> out;
  Status s = Table::Create(path, layout);
  if (s.ok()) s = OpenHelper(path, XB_OPEN_EXCLUSIVE, &out);
  for (int i = 0; s.ok() && i < t->FieldCount(); ++i) {
    const FieldInfo& f = t->Field(i);
    int width = f.type == 'C' ? f.width & 0xFF : f.width;
    int decimals = f.type == 'C' ? f.width >> 8 : f.decimals;
    std::string name, type, len, dec;
    s = out->AppendBlank(false);
    if (s.ok()) s = EncodeText(out->Field(0), f.name, &name);
    if (s.ok()) s = EncodeText(out->Field(1), std::string(1, f.type), &type);
    if (s.ok()) s = EncodeNumber(out->Field(2), width, &len);
    if (s.ok()) s = EncodeNumber(out->Field(3), decimals, &dec);
    if (s.ok()) s = out->SetFieldBytes(0, name);
    if (s.ok()) s = out->SetFieldBytes(1, type);
    if (s.ok()) s = out->SetFieldBytes(2, len);
    if (s.ok()) s = out->SetFieldBytes(3, dec);
  }
  if (out) {
    Status closed = out->Close();
    if (s.ok()) s = closed;
  }
  return Check(s) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int16_t xb_CreateFrom(const char* file, const char* alias, const char* structure_file,
                             int16_t type) try {
  ClearError();
  if (file == nullptr || structure_file == nullptr || !ValidTableType(type)) {
    return int16_t(Fail(
        Status::Error(XB_ERR_ARGUMENT, "File, structure file and table type 1 to 4 are required"),
        0));
  }
  std::unique_ptr<Table> def;
  Status s = OpenHelper(TablePath(structure_file), XB_OPEN_READ_ONLY, &def);
  TableLayout layout;
  int name = -1, kind = -1, len = -1, dec = -1;
  if (s.ok()) {
    name = def->FieldIndex("FIELD_NAME");
    kind = def->FieldIndex("FIELD_TYPE");
    len = def->FieldIndex("FIELD_LEN");
    dec = def->FieldIndex("FIELD_DEC");
    if (name < 0 || kind < 0 || len < 0 || dec < 0) {
      s = Status::Error(XB_ERR_ARGUMENT,
                        "Not a structure table (FIELD_NAME, FIELD_TYPE, FIELD_LEN, FIELD_DEC)");
    }
  }
  for (s = s.ok() ? def->GoTop() : s; s.ok() && !def->eof(); s = def->Skip(1)) {
    FieldInfo f;
    f.name = TrimRight(FieldBytes(def->record(), def->Field(name)));
    std::string t = TrimRight(FieldBytes(def->record(), def->Field(kind)));
    f.type = t.empty() ? '?' : char(t[0] >= 'a' && t[0] <= 'z' ? t[0] - 32 : t[0]);
    f.width = int(DecodeNumber(FieldBytes(def->record(), def->Field(len)), 'N'));
    f.decimals = int(DecodeNumber(FieldBytes(def->record(), def->Field(dec)), 'N'));
    if (f.type == 'C') {
      f.width += f.decimals * 256;
      f.decimals = 0;
    }
    layout.fields.push_back(f);
  }
  def.reset();
  std::string path = TablePath(file);
  if (s.ok()) s = Table::Create(path, layout);
  if (!Check(s)) return 0;
  if (alias == nullptr || *alias == 0) return 1;
  return xb_UseEx(path.c_str(), alias, XB_OPEN_SHARED, type, XB_COMMIT_NORMAL);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_CopyFile(const char* file, const char* condition) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return -1;
  if (file == nullptr || *file == 0)
    return Fail(Status::Error(XB_ERR_ARGUMENT, "No file name"), -1);
  std::string path = TablePath(file);
  std::unique_ptr<Table> out;
  Status s = CreateLike(*t, path);
  if (s.ok()) s = OpenHelper(path, XB_OPEN_EXCLUSIVE, &out);
  int32_t copied = 0;
  if (s.ok()) {
    s = ForEachMatching(t, condition, [&]() {
      ++copied;
      return AppendCurrent(t, out.get());
    });
  }
  if (out) {
    Status closed = out->Close();
    if (s.ok()) s = closed;
  }
  return Check(s) ? copied : -1;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_CopyFileText(const char* file, const char* condition) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return -1;
  if (file == nullptr || *file == 0)
    return Fail(Status::Error(XB_ERR_ARGUMENT, "No file name"), -1);
  Os* os = CurrentOs();
  int fd = -1;
  if (!Check(os->Open(file, false, true, &fd))) return -1;
  uint64_t at = 0;
  int32_t copied = 0;
  char delimiter = GlobalSettings().delimiter;
  Status s = ForEachMatching(t, condition, [&]() {
    std::string line;
    for (int i = 0; i < t->FieldCount(); ++i) {
      const FieldInfo& f = t->Field(i);
      if (f.type == 'M') continue;
      if (!line.empty()) line += delimiter;
      std::string value = TrimRight(FieldBytes(t->record(), f));
      size_t lead = value.find_first_not_of(' ');
      value = lead == std::string::npos ? std::string() : value.substr(lead);
      line += f.type == 'C' ? "\"" + value + "\"" : value;
    }
    line += "\r\n";
    ++copied;
    Status w = os->Write(fd, line.data(), line.size(), at);
    at += line.size();
    return w;
  });
  os->Close(fd);
  return Check(s) ? copied : -1;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_AppendFrom(const char* file, int16_t type, const char* condition) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return -1;
  if (file == nullptr || *file == 0 || !ValidTableType(type)) {
    return Fail(Status::Error(XB_ERR_ARGUMENT, "File and table type 1 to 4 are required"), -1);
  }
  std::unique_ptr<Table> src;
  if (!Check(OpenHelper(TablePath(file), XB_OPEN_READ_ONLY, &src))) return -1;
  int32_t appended = 0;
  Status s = ForEachMatching(src.get(), condition, [&]() {
    ++appended;
    return AppendCurrent(src.get(), t);
  });
  return Check(s) ? appended : -1;
}
XB_CATCH_ALL(-1)

}  // extern "C"
