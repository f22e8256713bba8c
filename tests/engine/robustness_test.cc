// Damaged tables and failing system calls: a table that fails its checks does not open (with
// a reason) or opens read-only and reads safely, and is never written; an I/O failure at any
// point of an edit leaves a table that opens and holds each record old or new.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "engine/os_fault.h"
#include "engine/os_forwarding.h"
#include "tests/engine/test_util.h"

namespace {

using xbtest::CreateTable;
using xbtest::Open;
using xbtest::ReadFile;
using xbtest::TempDir;
using xbtest::WriteFile;

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    good_ = dir_.File("GOOD.DBF");
    CreateTable(good_, {{"NAME", "C", 10, 0}, {"QTY", "N", 5, 0}, {"NOTE", "M", 10, 0}});
    Open(good_);
    for (const char* name : {"uno", "due", "tre"}) {
      xbtest::Append({{"NAME", name}, {"QTY", "7"}});
      xb_Replace("NOTE", XB_REPLACE_MEMO, (std::string("memo ") + name).c_str());
      xb_Commit();
    }
    xb_CloseAll();
    bytes_ = ReadFile(good_);
  }
  void TearDown() override {
    xb::SetOsForTesting(nullptr);
    xb_FinalizeSession();
  }

  // Writes a damaged copy (with the good memo file) and returns its path.
  std::string Damaged(const std::string& bytes, bool with_memo = true) {
    std::string path = dir_.File("BAD.DBF");
    WriteFile(path, bytes);
    std::string memo = dir_.File("BAD.DBT");
    if (with_memo) {
      WriteFile(memo, ReadFile(dir_.File("GOOD.DBT")));
    } else {
      std::remove(memo.c_str());
    }
    return path;
  }

  // The damaged table either refuses to open with a reason, or opens read-only with the
  // damage reported and reads safely; no write reaches it in either case.
  void ExpectRefusedOrReadOnly(const std::string& path, bool expect_open) {
    std::string before = ReadFile(path);
    int area = xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
    if (!expect_open) {
      EXPECT_EQ(area, 0);
      EXPECT_EQ(xb_LastErrorCode(), XB_ERR_CORRUPT);
      EXPECT_STRNE(xb_LastErrorText(), "");
    } else {
      ASSERT_GT(area, 0) << xb_LastErrorText();
      EXPECT_STRNE(xb_TableDamage(), "");
      int seen = 0;
      for (xb_GoTop(); !xb_Eof() && seen < 10; xb_Skip(1), ++seen) xb_GetMemo("NOTE");
      EXPECT_LE(seen, 3);
      EXPECT_EQ(xb_AppendBlank(), 0);
      EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
      xb_GoTop();
      EXPECT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "x"), 0);
      EXPECT_EQ(xb_Delete(), 0);
      EXPECT_EQ(xb_Pack(), 0);
      EXPECT_EQ(xb_Zap(), 0);
      xb_CloseAll();
    }
    EXPECT_EQ(ReadFile(path), before);
  }

  TempDir dir_;
  std::string good_;
  std::string bytes_;
};

TEST_F(RobustnessTest, HeadersThatCannotBeReadAreRefused) {
  std::string b = bytes_;
  ExpectRefusedOrReadOnly(Damaged(""), false);
  ExpectRefusedOrReadOnly(Damaged(b.substr(0, 20)), false);
  ExpectRefusedOrReadOnly(Damaged(b.substr(0, 70)), false);  // descriptors cut short
  b = bytes_;
  b[0] = 0x42;  // unknown version
  ExpectRefusedOrReadOnly(Damaged(b), false);
  b = bytes_;
  b[8] = 32, b[9] = 0;  // header length too small
  ExpectRefusedOrReadOnly(Damaged(b), false);
  b = bytes_;
  b[10] = char(b[10] + 1);  // record length disagrees with the widths
  ExpectRefusedOrReadOnly(Damaged(b), false);
  b = bytes_;
  b[32 + 32 + 16] = 9;  // QTY wider: the field runs past the record end
  ExpectRefusedOrReadOnly(Damaged(b), false);
  b = bytes_;
  b[32 + 11] = 1;  // not a type letter
  ExpectRefusedOrReadOnly(Damaged(b), false);
  b = bytes_;
  b[10] = 0, b[11] = 0;  // record length 0
  ExpectRefusedOrReadOnly(Damaged(b), false);
}

TEST_F(RobustnessTest, RecoverableDamageOpensReadOnly) {
  std::string b = bytes_;
  b[4] = char(200);  // more records counted than the file holds
  ExpectRefusedOrReadOnly(Damaged(b), true);
  b = bytes_;
  b[32 + 3 * 32] = ' ';  // no terminator after the descriptors
  ExpectRefusedOrReadOnly(Damaged(b), true);
  b = bytes_;
  b[32 + 11] = 'X';  // a type the engine does not interpret: read as raw bytes
  ExpectRefusedOrReadOnly(Damaged(b), true);
  ExpectRefusedOrReadOnly(Damaged(bytes_, false), true);  // memo file missing
  int area = xb_UseEx(dir_.File("BAD.DBF").c_str(), "", XB_OPEN_READ_ONLY, 1, 1);
  ASSERT_GT(area, 0);
  xb_GoTop();
  EXPECT_STREQ(xb_GetTrimString("NAME"), "uno");
  EXPECT_STREQ(xb_GetMemo("NOTE"), "");
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_OPEN);
}

TEST_F(RobustnessTest, TornLastRecordIsIgnoredAndOverwrittenByTheNextAppend) {
  std::string b = bytes_.substr(0, bytes_.size() - 1) + "*half";
  b[4] = 4;  // the header already counts the torn record
  std::string path = Damaged(b);
  Open(path);
  EXPECT_EQ(xb_RecCount(), 3);
  std::string before = ReadFile(path);
  xb_CloseAll();
  std::string after_count = before;
  b[4] = 3;
  path = Damaged(b);
  Open(path);
  EXPECT_STREQ(xb_TableDamage(), "");
  xbtest::Append({{"NAME", "quattro"}});
  xb_CloseAll();
  Open(path, XB_OPEN_READ_ONLY);
  EXPECT_EQ(xb_RecCount(), 4);
  xb_GoBottom();
  EXPECT_STREQ(xb_GetTrimString("NAME"), "quattro");
  EXPECT_EQ(ReadFile(path).back(), '\x1A');
}

TEST_F(RobustnessTest, BadMemoReferencesAreReportedNotFollowed) {
  std::string b = bytes_;
  size_t header = size_t(uint8_t(b[8]) | uint8_t(b[9]) << 8);
  std::memcpy(&b[header + 1 + 10 + 5], "    999999", 10);  // record 1's memo block past the end
  std::string path = Damaged(b);
  Open(path, XB_OPEN_READ_ONLY);
  xb_GoTop();
  EXPECT_STREQ(xb_GetMemo("NOTE"), "");
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_CORRUPT);
  xb_CloseAll();
  std::string out;
  EXPECT_EQ(xbtest::Run(std::string(XBTOOL_PATH) + " check " + path, &out), 1);
  EXPECT_NE(out.find("NOTE"), std::string::npos) << out;
}

// Fails the Nth system call of an append-and-rewrite, for every N until the edit completes,
// once and persistently; the table must then open and hold whole old or new records.
TEST_F(RobustnessTest, IoFailureAtAnyCallLeavesAConsistentTable) {
  for (bool persistent : {false, true}) {
    for (int n = 1; n < 500; ++n) {
      std::string path = Damaged(bytes_);
      xb::FaultyOs faulty(xb::PosixOs());
      xb::SetOsForTesting(&faulty);
      faulty.FailCall(n, persistent);
      if (xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_FULL) > 0) {
        if (xb_AppendBlank()) xb_Replace("NAME", XB_REPLACE_TEXT, "quattro");
        xb_Commit();
        xb_Go(1);
        xb_Replace("NAME", XB_REPLACE_TEXT, "primo");
        xb_Replace("NOTE", XB_REPLACE_MEMO, "nuova nota");
        xb_Commit();
      }
      xb_CloseAll();
      xb::SetOsForTesting(nullptr);
      bool completed = faulty.failures() == 0;

      ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_READ_ONLY, 1, 1), 0)
          << "call " << n << ": " << xb_LastErrorText();
      EXPECT_STREQ(xb_TableDamage(), "") << "call " << n;
      int count = xb_RecCount();
      EXPECT_TRUE(count == 3 || count == 4) << "call " << n;
      xb_Go(1);
      std::string first = xb_GetTrimString("NAME");
      EXPECT_TRUE(first == "uno" || first == "primo") << "call " << n;
      std::string memo = xb_GetMemo("NOTE");
      EXPECT_TRUE(memo == "memo uno" || memo == "nuova nota") << "call " << n << ": " << memo;
      xb_Go(3);
      EXPECT_STREQ(xb_GetMemo("NOTE"), "memo tre");
      xb_CloseAll();
      if (completed) break;
    }
  }
}

// Name lookups and the calendar go through the Os too: the folder read that finds a name in
// another letter case is a call that can fail, and a fixed calendar gives DATE() its day.
TEST_F(RobustnessTest, NameLookupAndCalendarGoThroughTheOs) {
  const std::string other_case = dir_.File("good");  // the table is GOOD.DBF
  xb::FaultyOs faulty(xb::PosixOs());
  xb::SetOsForTesting(&faulty);
  faulty.FailCall(1, true);
  EXPECT_EQ(xb_UseEx(other_case.c_str(), "", XB_OPEN_READ_ONLY, XB_TYPE_NTX, XB_COMMIT_NORMAL), 0);
  EXPECT_NE(xb_LastErrorCode(), XB_OK);

  faulty.FailCall(1, false);  // the first folder read fails, the lookup with ".DBF" finds it
  ASSERT_GT(xb_UseEx(other_case.c_str(), "", XB_OPEN_READ_ONLY, XB_TYPE_NTX, XB_COMMIT_NORMAL), 0)
      << xb_LastErrorText();
  EXPECT_EQ(faulty.failures(), 1);
  EXPECT_EQ(std::string(xb_BaseName()), good_);

  faulty.FixToday(2024, 2, 29);
  EXPECT_STREQ(xb_EvalString("DTOS(DATE())"), "20240229");
  EXPECT_STREQ(xb_EvalString("DTOS(DATE() + 1)"), "20240301");
}

// A rewrite of a record that spans a page boundary, torn by a failure at any call: the table
// reopens with the record wholly old or wholly new (replayed from the journal).
TEST_F(RobustnessTest, TornRewriteAcrossAPageIsOldOrNewAfterReopening) {
  std::string master = dir_.File("WIDE.DBF");
  CreateTable(master, {{"TEXT", "C", 99, 0}});  // 100-byte records: record 41 spans 4096
  Open(master);
  for (int r = 1; r <= 50; ++r) xbtest::Append({{"TEXT", std::string(99, char('a' + r % 26))}});
  xb_CloseAll();
  std::string old_text(99, char('a' + 41 % 26)), new_text(99, 'Z');
  std::string master_bytes = ReadFile(master);
  std::string path = dir_.File("TORN.DBF");
  for (int n = 1; n < 100; ++n) {
    WriteFile(path, master_bytes);
    xb::FaultyOs faulty(xb::PosixOs());
    xb::SetOsForTesting(&faulty);
    faulty.FailCall(n, true, true);
    if (xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL) > 0) {
      xb_Go(41);
      xb_Replace("TEXT", XB_REPLACE_TEXT, new_text.c_str());
      xb_Commit();
    }
    xb_CloseAll();
    xb::SetOsForTesting(nullptr);
    ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, 1, 1), 0) << xb_LastErrorText();
    xb_Go(41);
    std::string text = xb_GetString("TEXT");
    EXPECT_TRUE(text == old_text || text == new_text) << "call " << n << ": " << text;
    xb_Go(40);
    EXPECT_EQ(std::string(xb_GetString("TEXT")), std::string(99, char('a' + 40 % 26)));
    xb_CloseAll();
    if (faulty.failures() == 0) break;
  }
}

// A shared opener that meets the journal of a live writer leaves it at its name: the
// writer's next rewrite, torn by a failure at any call, still reopens wholly old or new.
TEST_F(RobustnessTest, AJournalKeptOpenByASharedWriterOutlivesAnotherOpen) {
  std::string master = dir_.File("WIDE.DBF");
  CreateTable(master, {{"TEXT", "C", 99, 0}});  // 100-byte records: record 41 spans 4096
  Open(master);
  for (int r = 1; r <= 50; ++r) xbtest::Append({{"TEXT", std::string(99, 'a')}});
  xb_CloseAll();
  std::string master_bytes = ReadFile(master);
  std::string path = dir_.File("SHARED.DBF");
  std::string first(99, 'Y'), second(99, 'Z');
  for (int n = 1; n < 100; ++n) {
    WriteFile(path, master_bytes);
    std::remove((path + "-journal").c_str());
    int writer = Open(path, XB_OPEN_SHARED, "W");
    ASSERT_EQ(xb_Go(41), 1);
    ASSERT_EQ(xb_Replace("TEXT", XB_REPLACE_TEXT, first.c_str()), 1) << xb_LastErrorText();
    ASSERT_EQ(xb_Commit(), 1);
    Open(path, XB_OPEN_SHARED, "R");
    ASSERT_TRUE(std::filesystem::exists(path + "-journal")) << "removed under the writer";
    xb_Select(int16_t(writer));
    xb::FaultyOs faulty(xb::PosixOs());
    xb::SetOsForTesting(&faulty);
    faulty.FailCall(n, true, true);
    xb_Replace("TEXT", XB_REPLACE_TEXT, second.c_str());
    xb_Commit();
    xb_CloseAll();
    xb::SetOsForTesting(nullptr);
    Open(path);
    xb_Go(41);
    std::string text = xb_GetString("TEXT");
    EXPECT_TRUE(text == first || text == second) << "call " << n << ": " << text;
    xb_CloseAll();
    if (faulty.failures() == 0) break;
  }
}

// Another program that ignores the exclusive lock and shortens the file: reads that would
// touch the mapped bytes past the new end fail instead of faulting.
TEST_F(RobustnessTest, TableShortenedBehindAnExclusiveOpenGivesAnErrorNotACrash) {
  std::string path = dir_.File("BIG.DBF");
  CreateTable(path, {{"NAME", "C", 20, 0}});
  Open(path);
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(xb_AppendBlank(), 1);
    xb_Replace("NAME", XB_REPLACE_TEXT, ("name " + std::to_string(i)).c_str());
  }
  ASSERT_EQ(xb_Commit(), 1);
  ASSERT_EQ(xb_GoTop(), 1);  // maps the first window
  ASSERT_EQ(xb_Go(2500), 1);
  ASSERT_EQ(truncate(path.c_str(), 1000), 0);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "name 2499");  // read when positioned to
  EXPECT_EQ(xb_Go(2400), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_IO);
  EXPECT_NE(std::string(xb_LastErrorText()).find("shortened by another program"),
            std::string::npos)
      << xb_LastErrorText();
  xb_Go(10);
  xb_GoBottom();
  xb_Skip(-1);
  xb_Count();
  xb_CloseAll();
}

// An Os whose reads throw, as a failed allocation or a fault inside the engine would.
class ThrowingOs final : public xb::ForwardingOs {
 public:
  ThrowingOs(xb::Os* target, bool out_of_memory)
      : ForwardingOs(target), out_of_memory_(out_of_memory) {}

 private:
  xb::Status Before(xb::OsCall call) override {
    if (call != xb::OsCall::kRead) return xb::Status::Ok();
    if (out_of_memory_) throw std::bad_alloc();
    throw std::runtime_error("reader fault");
  }
  bool out_of_memory_;
};

// An exception never unwinds into the caller: the entry point gives its failure answer with
// XB_ERR_INTERNAL, and the session goes on working once the cause is gone.
TEST_F(RobustnessTest, AnExceptionInsideTheEngineBecomesTheEntryPointsError) {
  ASSERT_GT(xb_UseEx(good_.c_str(), "", XB_OPEN_SHARED, 1, XB_COMMIT_NORMAL), 0);
  xb::Os* real = xb::CurrentOs();
  for (bool out_of_memory : {true, false}) {
    ThrowingOs throwing(real, out_of_memory);
    xb::SetOsForTesting(&throwing);
    const char* text = out_of_memory ? "Out of memory" : "reader fault";
    EXPECT_EQ(xb_Go(2), 0);
    EXPECT_EQ(xb_LastErrorCode(), XB_ERR_INTERNAL);
    EXPECT_STREQ(xb_LastErrorText(), text);
    EXPECT_STREQ(xb_GetMemo("NOTE"), "");
    EXPECT_EQ(xb_LastErrorCode(), XB_ERR_INTERNAL);
    EXPECT_EQ(xb_Count(), 0);
    EXPECT_STREQ(xb_LastErrorText(), text);
    xb::SetOsForTesting(nullptr);
  }
  EXPECT_EQ(xb_Go(2), 1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "due");
  EXPECT_STREQ(xb_GetMemo("NOTE"), "memo due");
  EXPECT_EQ(xb_Count(), 3);
}

// The compiler cannot see a missing catch, so the sources are read: every exported
// definition is a function-try-block that ends in XB_CATCH_ALL, or made by XB_NOT_SUPPORTED,
// which is one.
TEST(EntryPoints, EveryDefinitionCatchesWhatItsBodyThrows) {
  const std::regex definition(R"(\nXB_API [^;{]*\)\s*(try\s*)?\{)");
  int definitions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ENGINE_SOURCE_DIR)) {
    if (entry.path().extension() != ".cc") continue;
    std::ifstream in(entry.path());
    std::stringstream text;
    text << in.rdbuf();
    std::string source = "\n" + text.str();
    int guarded = 0, catches = 0;
    for (std::sregex_iterator m(source.begin(), source.end(), definition), end; m != end; ++m) {
      ++definitions;
      if ((*m)[1].matched) {
        ++guarded;
      } else {
        ADD_FAILURE() << entry.path().filename() << ": " << m->str();
      }
    }
    for (size_t at = source.find("\nXB_CATCH_ALL("); at != std::string::npos;
         at = source.find("\nXB_CATCH_ALL(", at + 1)) {
      ++catches;
    }
    EXPECT_EQ(catches, guarded) << entry.path().filename();
    for (size_t at = source.find("\nXB_NOT_SUPPORTED("); at != std::string::npos;
         at = source.find("\nXB_NOT_SUPPORTED(", at + 1)) {
      ++definitions;
    }
  }
  EXPECT_GE(definitions, 169);
}

}  // namespace
