// Tests of tables through the C interface: navigation with the deleted setting and queries,
// record writes and typed reads, memos, appends, pack and zap, creation checks.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <vector>

#include "tests/engine/test_util.h"

namespace {

using xbtest::Append;
using xbtest::CreateTable;
using xbtest::Open;
using xbtest::TempDir;
using xbtest::Walk;

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.File("STAMPE.DBF"); }
  void TearDown() override { xb_FinalizeSession(); }

  // STAMPE-like table with records of TIPO 1, 2, 1, 3 (VISUALIZZA T, T, F, T).
  void MakeStampe() {
    CreateTable(path_, {{"DESCRIZIO", "C", 40, 0},
                        {"DIR", "C", 20, 0},
                        {"VISUALIZZA", "L", 1, 0},
                        {"TIPO", "N", 1, 0}});
    Open(path_);
    const char* tipi[] = {"1", "2", "1", "3"};
    const char* vis[] = {"T", "T", "F", "T"};
    for (int i = 0; i < 4; ++i) {
      Append({{"DESCRIZIO", "Categoria " + std::to_string(i + 1)},
              {"DIR", "DIR" + std::to_string(i + 1)},
              {"VISUALIZZA", vis[i]},
              {"TIPO", tipi[i]}});
    }
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(TableTest, EmptyTableIsBothBofAndEof) {
  CreateTable(path_, {{"NAME", "C", 10, 0}});
  Open(path_);
  EXPECT_EQ(xb_RecCount(), 0);
  for (auto move : {xb_GoTop, xb_GoBottom}) {
    move();
    EXPECT_TRUE(xb_Eof());
    EXPECT_TRUE(xb_Bof());
    EXPECT_EQ(xb_RecNo(), 1);
  }
  EXPECT_EQ(xb_Skip(1), 0);
  EXPECT_TRUE(xb_Eof());
}

TEST_F(TableTest, SkipStopsOnPhantomRecordAndBeforeFirst) {
  MakeStampe();
  xb_GoBottom();
  EXPECT_EQ(xb_RecNo(), 4);
  EXPECT_FALSE(xb_Eof());
  xb_Skip(1);
  EXPECT_TRUE(xb_Eof());
  EXPECT_EQ(xb_RecNo(), 5);
  EXPECT_STREQ(xb_GetTrimString("DESCRIZIO"), "");  // the phantom record is blank
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 4);
  EXPECT_FALSE(xb_Eof());
  xb_GoTop();
  xb_Skip(-1);
  EXPECT_TRUE(xb_Bof());
  EXPECT_FALSE(xb_Eof());
  EXPECT_EQ(xb_RecNo(), 1);
  xb_Skip(2);
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_FALSE(xb_Bof());
  xb_Go(99);
  EXPECT_TRUE(xb_Eof());
  EXPECT_EQ(xb_RecNo(), 5);
}

TEST_F(TableTest, DeletedSettingHidesRecordsButGoStillReachesThem) {
  MakeStampe();
  xb_Go(1);
  xb_Delete();
  xb_Go(3);
  xb_Delete();
  xb_Commit();
  EXPECT_EQ(Walk(), (std::vector<int>{1, 2, 3, 4}));
  xb_SetDeleted(1);
  EXPECT_EQ(xb_SysProp(XB_PROP_GET_DELETED, 0), 1);
  EXPECT_EQ(Walk(), (std::vector<int>{2, 4}));
  EXPECT_EQ(xb_Count(), 2);
  EXPECT_EQ(xb_RecCount(), 4);
  xb_GoBottom();
  xb_Skip(-1);
  EXPECT_EQ(xb_RecNo(), 2);
  xb_Go(3);
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_TRUE(xb_Deleted());
  xb_Recall();
  EXPECT_EQ(Walk(), (std::vector<int>{2, 3, 4}));
}

TEST_F(TableTest, QueryRestrictsNavigationAndReportsMatches) {
  MakeStampe();
  ASSERT_EQ(xb_EvalTest("TIPO=1 AND VISUALIZZA=TRUE"), XB_EVAL_LOGICAL);
  xb_Go(4);
  EXPECT_NE(xb_Query("TIPO=1 AND VISUALIZZA=TRUE"), 0);
  EXPECT_EQ(xb_RecNo(), 1);  // on the first match
  EXPECT_STREQ(xb_DBFilter(), "TIPO=1 AND VISUALIZZA=TRUE");
  EXPECT_GE(xb_QueryTest("TIPO=1 AND VISUALIZZA=TRUE"), 1);
  EXPECT_EQ(xb_QueryRecCount(), 1);
  EXPECT_EQ(Walk(), (std::vector<int>{1}));
  EXPECT_NE(xb_Query("TIPO=1 .and. VISUALIZZA=.T. .or. TIPO=3"), 0);
  EXPECT_EQ(Walk(), (std::vector<int>{1, 4}));
  xb_GoBottom();
  EXPECT_EQ(xb_RecNo(), 4);
  EXPECT_EQ(xb_Query("TIPO=9"), 0);
  EXPECT_TRUE(xb_Eof());
  EXPECT_EQ(xb_QueryRecCount(), 0);
  EXPECT_NE(xb_Query(""), 0);  // removes the query
  EXPECT_STREQ(xb_DBFilter(), "");
  EXPECT_EQ(Walk().size(), 4u);
}

// A text checked and then set as the query is parsed once and kept with its table: set
// again, also after another query or none, it is evaluated again, and on another table it
// is compiled against that one's fields.
TEST_F(TableTest, AQueryCheckedAndSetAgainSeesLaterChangesAndStaysWithItsTable) {
  MakeStampe();
  const char* query = "TIPO=1 AND VISUALIZZA=TRUE";
  ASSERT_EQ(xb_EvalTest(query), XB_EVAL_LOGICAL);
  ASSERT_NE(xb_Query(query), 0);
  EXPECT_EQ(Walk(), (std::vector<int>{1}));
  xb_Go(3);
  int32_t on = 1;
  ASSERT_EQ(xb_Replace("VISUALIZZA", XB_REPLACE_LOGICAL, &on), 1);
  ASSERT_EQ(xb_Commit(), 1);
  EXPECT_EQ(xb_QueryTest(query), 1);
  ASSERT_NE(xb_Query(query), 0);
  EXPECT_EQ(xb_QueryRecCount(), 2);
  EXPECT_EQ(Walk(), (std::vector<int>{1, 3}));
  ASSERT_NE(xb_Query("TIPO=3"), 0);
  EXPECT_EQ(Walk(), (std::vector<int>{4}));
  ASSERT_NE(xb_Query(query), 0);
  EXPECT_EQ(Walk(), (std::vector<int>{1, 3}));
  ASSERT_NE(xb_Query(""), 0);
  ASSERT_NE(xb_Query(query), 0);
  EXPECT_STREQ(xb_DBFilter(), query);
  EXPECT_EQ(Walk(), (std::vector<int>{1, 3}));

  xbtest::CreateTable(dir_.File("OTHER.DBF"), {{"TIPO", "C", 5, 0}});
  Open(dir_.File("OTHER.DBF"));
  EXPECT_EQ(xb_EvalTest("TIPO=1"), XB_EVAL_ERROR);
  EXPECT_EQ(xb_QueryTest(query), 0);
  EXPECT_EQ(xb_Query(query), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_EXPRESSION);
  EXPECT_EQ(xb_EvalTest("TIPO=\"1\""), XB_EVAL_LOGICAL);
}

TEST_F(TableTest, BadQueryKeepsNothingAndNeverCrashes) {
  MakeStampe();
  xb_Query("TIPO=2");
  for (const char* bad : {"TIPO=", "TIPO", "NOSUCH=1", "TIPO=\"x\"", "((((", "\"unterminated"}) {
    EXPECT_EQ(xb_EvalTest(bad) == XB_EVAL_LOGICAL, false) << bad;
    EXPECT_EQ(xb_Query(bad), 0) << bad;
  }
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_EXPRESSION);
  EXPECT_STREQ(xb_DBFilter(), "TIPO=2");  // the previous query stands
  EXPECT_EQ(xb_QueryTest("TIPO="), 0);
  EXPECT_EQ(xb_EvalTest("TIPO"), XB_EVAL_NUMERIC);
  EXPECT_EQ(xb_EvalTest("DESCRIZIO"), XB_EVAL_CHARACTER);
}

TEST_F(TableTest, QueryAndDeletedCombine) {
  MakeStampe();
  xb_Go(1);
  xb_Delete();
  xb_SetDeleted(1);
  EXPECT_NE(xb_Query("VISUALIZZA"), 0);
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_EQ(xb_QueryRecCount(), 2);
  EXPECT_EQ(xb_GetQueryBit(3), 0);
  EXPECT_EQ(xb_GetQueryBit(4), 1);
}

TEST_F(TableTest, LocateFindsForwardBackwardAndContinues) {
  MakeStampe();
  EXPECT_EQ(xb_Locate("TIPO=1", 1, 0), 1);
  EXPECT_EQ(xb_RecNo(), 1);
  EXPECT_EQ(xb_Locate("TIPO=1", 1, 1), 1);
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_EQ(xb_Locate("TIPO=1", 1, 1), 0);
  EXPECT_TRUE(xb_Eof());
  EXPECT_EQ(xb_Locate("TIPO=1", -1, 0), 1);
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_EQ(xb_Locate("TIPO", 1, 0), 0);  // not logical
}

TEST_F(TableTest, ReplaceFormatsEachTypeAndRejectsWhatDoesNotFit) {
  CreateTable(path_,
              {{"NAME", "C", 5, 0}, {"QTY", "N", 6, 2}, {"OK", "L", 1, 0}, {"DAY", "D", 8, 0}});
  Open(path_);
  ASSERT_EQ(xb_AppendBlank(), 1);
  EXPECT_EQ(xb_Replace("name", XB_REPLACE_TEXT, "abcdefgh"), 1);  // cut to the width
  EXPECT_STREQ(xb_GetString("NAME"), "abcde");
  double d = -12.345;
  EXPECT_EQ(xb_Replace("QTY", XB_REPLACE_DOUBLE, &d), 1);
  EXPECT_STREQ(xb_GetString("QTY"), "-12.35");
  EXPECT_DOUBLE_EQ(xb_GetDouble("QTY"), -12.35);
  EXPECT_EQ(xb_GetInteger("QTY"), -12);
  int32_t wide = 1000000;
  EXPECT_EQ(xb_Replace("QTY", XB_REPLACE_INT32, &wide), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_VALUE);
  EXPECT_STREQ(xb_GetString("QTY"), "-12.35");  // unchanged
  EXPECT_EQ(xb_Replace("QTY", XB_REPLACE_TEXT, "12x"), 0);
  int32_t yes = 1;
  EXPECT_EQ(xb_Replace("OK", XB_REPLACE_LOGICAL, &yes), 1);
  EXPECT_EQ(xb_GetLogical("OK"), 1);
  EXPECT_EQ(xb_Replace("OK", XB_REPLACE_TEXT, "maybe"), 0);
  EXPECT_EQ(xb_Replace("DAY", XB_REPLACE_TEXT, "20240229"), 1);
  EXPECT_STREQ(xb_GetDateString("DAY"), "02/29/24");
  xb_SetCentury(1);
  xb_SetDateFormat(5);
  EXPECT_STREQ(xb_GetDateString("DAY"), "29-02-2024");
  EXPECT_EQ(xb_Replace("DAY", XB_REPLACE_TEXT, "20230229"), 0);  // no such day
  EXPECT_EQ(xb_Replace("NOSUCH", XB_REPLACE_TEXT, "x"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
  EXPECT_EQ(xb_Replace("NAME", 77, "x"), 0);
}

// The integer readers read whole numbers from their digits and anything else as numbers:
// both roads give the number reader's value, truncated and clamped to 32 bits.
TEST_F(TableTest, IntegerReadersAgreeWithTheNumberReader) {
  CreateTable(path_, {{"N", "N", 12, 0}});
  Open(path_);
  ASSERT_EQ(xb_AppendBlank(), 1);
  for (const char* text : {"          12", "         -12", "            ", "   123456789",
                           "  1234567890", "999999999999", "  -999999999", "12          ",
                           "          +7", "        0012", "           -", "        1,75",
                           "       -0.99", " -2147483649"}) {
    std::string image = std::string(" ") + text;
    image.resize(13, ' ');
    ASSERT_EQ(xb_PutRecord(image.data()), 1);
    double number = xb_GetDouble("N");
    int32_t expected = number >= 2147483647.0    ? INT32_MAX
                       : number <= -2147483648.0 ? INT32_MIN
                                                 : int32_t(number);
    EXPECT_EQ(xb_GetInteger("N"), expected) << '"' << text << '"';
    EXPECT_EQ(xb_GetLong("N"), expected) << '"' << text << '"';
  }
}

TEST_F(TableTest, RecordImageRoundTripsAndReachesTheFile) {
  MakeStampe();
  ASSERT_EQ(xb_RecSize(), 1 + 40 + 20 + 1 + 1);
  EXPECT_EQ(xb_FieldOffset("DIR"), 42);
  EXPECT_EQ(xb_FieldOffset("VISUALIZZA"), 62);
  EXPECT_STREQ(xb_FieldType("VISUALIZZA"), "Logical");
  EXPECT_STREQ(xb_FieldName(4), "TIPO");
  EXPECT_EQ(xb_FieldNum("tipo"), 4);
  std::vector<char> image(static_cast<size_t>(xb_RecSize()));
  xb_Go(2);
  xb_Rlock(2);
  ASSERT_EQ(xb_GetRecord(image.data()), 1);
  EXPECT_EQ(image[0], ' ');
  image[size_t(xb_FieldOffset("VISUALIZZA") - 1)] = 'F';
  ASSERT_EQ(xb_PutRecord(image.data()), 1);
  ASSERT_EQ(xb_Commit(), 1);
  xb_Unlock(0);
  xb_CloseAll();
  std::string bytes = xbtest::ReadFile(path_);
  size_t header = size_t(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8);
  EXPECT_EQ(bytes[header + 63 + 61], 'F');
  EXPECT_EQ(bytes.back(), '\x1A');
  EXPECT_EQ(uint8_t(bytes[4]), 4);  // record count in the header
}

// The trimmed text of every length up to the field's width (blank and NUL padding), by name
// and by number; names remembered by their pointer follow the text the buffer holds now, at
// a page's end too (the page after it unreadable).
TEST_F(TableTest, TypedReadersTrimEveryLengthAndFollowTheNameNotItsBuffer) {
  MakeStampe();
  xb_Go(1);
  std::vector<char> image(static_cast<size_t>(xb_RecSize()));
  ASSERT_EQ(xb_GetRecord(image.data()), 1);
  char text[64];
  for (int length = 0; length <= 40; ++length) {
    std::string value;
    for (int k = 0; k < 40; ++k) value += k < length ? char('a' + k % 26) : "\0 "[k % 2];
    std::memcpy(image.data() + 1, value.data(), 40);
    ASSERT_EQ(xb_PutRecord(image.data()), 1);
    const std::string expected = value.substr(0, size_t(length));
    EXPECT_EQ(std::string(xb_GetTrimString("DESCRIZIO")), expected) << length;
    EXPECT_EQ(xb_GetTrimStringNum(1, text, sizeof text), length);
    EXPECT_EQ(std::string(text), expected);
  }
  EXPECT_EQ(xb_GetTrimStringNum(1, text, 5), 40);  // cut, its whole length answered
  EXPECT_STREQ(text, "abcd");
  EXPECT_EQ(xb_GetTrimStringNum(2, nullptr, 0), 4);
  EXPECT_EQ(xb_GetLogicalNum(3), 1);
  EXPECT_EQ(xb_GetIntegerNum(4), 1);
  EXPECT_EQ(xb_GetTrimStringNum(5, text, sizeof text), -1);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
  EXPECT_EQ(xb_GetIntegerNum(0), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
  EXPECT_EQ(xb_GetLogicalNum(1), 0);  // a C field
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
  EXPECT_EQ(xb_GetTrimStringNum(2, nullptr, 8), -1);

  const long page = sysconf(_SC_PAGESIZE);
  void* pages = mmap(nullptr, size_t(2 * page), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(static_cast<char*>(pages) + page, size_t(page), PROT_NONE), 0);
  char* at_end = static_cast<char*>(pages) + page - 5;
  char* inside = static_cast<char*>(pages) + 100;
  for (char* name : {at_end, inside}) {
    std::strcpy(name, "DIR");
    EXPECT_STREQ(xb_GetTrimString(name), "DIR1");
    EXPECT_STREQ(xb_GetTrimString(name), "DIR1");  // remembered
    std::strcpy(name, "TIPO");
    EXPECT_STREQ(xb_GetTrimString(name), "1");
    std::strcpy(name, "TIP");
    EXPECT_STREQ(xb_GetTrimString(name), "");
    EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
    std::strcpy(name, "dir");
    EXPECT_STREQ(xb_GetTrimString(name), "DIR1");
  }
  std::strcpy(inside, "VISUALIZZA");
  EXPECT_EQ(xb_GetLogical(inside), 1);
  inside[3] = 0;  // "VIS", the old text's tail still in the buffer
  EXPECT_EQ(xb_GetLogical(inside), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_ARGUMENT);
  munmap(pages, size_t(2 * page));
}

TEST_F(TableTest, WritesNeedACurrentRecordAndAWritableTable) {
  MakeStampe();
  xb_CloseAll();
  Open(path_, XB_OPEN_READ_ONLY);
  std::string before = xbtest::ReadFile(path_);
  EXPECT_EQ(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_EQ(xb_Delete(), 0);
  EXPECT_EQ(xb_Zap(), 0);
  xb_CloseAll();
  EXPECT_EQ(xbtest::ReadFile(path_), before);
  Open(path_);
  xb_GoBottom();
  xb_Skip(1);
  EXPECT_EQ(xb_Replace("DIR", XB_REPLACE_TEXT, "x"), 0);  // phantom record
  xb_Select(0);
  EXPECT_EQ(xb_GoTop(), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_NO_TABLE);
  EXPECT_STREQ(xb_GetString("DIR"), "");
}

TEST_F(TableTest, MemosAreWrittenReadAndRewritten) {
  CreateTable(path_, {{"NAME", "C", 10, 0}, {"NOTE", "M", 10, 0}});
  Open(path_);
  std::string long_text(1500, 'x');
  Append({{"NAME", "a"}});
  ASSERT_EQ(xb_Replace("NOTE", XB_REPLACE_MEMO, "first memo"), 1);
  Append({{"NAME", "b"}});
  ASSERT_EQ(xb_PutBlob("NOTE", long_text.data(), uint32_t(long_text.size())),
            int32_t(long_text.size()));
  xb_Commit();
  xb_CloseAll();
  Open(path_);
  xb_Go(1);
  EXPECT_STREQ(xb_GetMemo("NOTE"), "first memo");
  xb_Go(2);
  EXPECT_EQ(xb_GetBlobLength("NOTE"), 1500);
  std::string read(1500, '\0');
  EXPECT_EQ(xb_GetBlob("NOTE", read.data(), 1500), 1500);
  EXPECT_EQ(read, long_text);
  ASSERT_EQ(xb_Replace("NOTE", XB_REPLACE_TEXT, "short now"), 1);
  xb_Go(1);
  EXPECT_STREQ(xb_GetMemo("NOTE"), "first memo");
  xb_Go(2);
  EXPECT_STREQ(xb_GetMemo("NOTE"), "short now");
  EXPECT_EQ(xb_EvalTest("\"now\" $ NOTE"), XB_EVAL_LOGICAL);
  EXPECT_EQ(xb_Locate("\"now\" $ NOTE", 1, 0), 1);
  EXPECT_EQ(xb_RecNo(), 2);

  const std::string picture("\x89PNG\0\0\x01", 7);  // binary: NUL bytes inside
  ASSERT_EQ(xb_PutBlob("NOTE", picture.data(), uint32_t(picture.size())), 7);
  uint32_t length = 0;
  const char* bytes = xb_GetMemoBytes("NOTE", &length);
  EXPECT_EQ(picture, std::string(bytes, length));
  EXPECT_EQ(xb_PutBlob("NOTE",
                       "a\x1A"
                       "b",
                       3),
            0)
      << "0x1A would end the memo early";
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_VALUE);
  EXPECT_EQ(xb_MemoCheck(), 1) << xb_LastErrorText();
}

// A table reached through a symbolic link the administrator made is packed where the link
// leads: the link stays, and both names see the packed table.
TEST_F(TableTest, PackThroughALinkPacksTheFileItLeadsTo) {
  MakeStampe();
  xb_CloseAll();
  std::string link = dir_.File("LINKED.DBF");
  ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
  Open(link);
  xb_Go(2);
  xb_Delete();
  ASSERT_EQ(xb_Pack(), 1) << xb_LastErrorText();
  xb_CloseAll();
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced";
  Open(path_);
  EXPECT_EQ(xb_RecCount(), 3);
}

TEST_F(TableTest, PackKeepsLiveRecordsAndZapEmpties) {
  MakeStampe();
  xb_Go(2);
  xb_Delete();
  xb_Go(3);
  xb_Delete();
  ASSERT_EQ(xb_Pack(), 1) << xb_LastErrorText();
  EXPECT_EQ(xb_RecCount(), 2);
  xb_GoTop();
  EXPECT_STREQ(xb_GetTrimString("DIR"), "DIR1");
  xb_Skip(1);
  EXPECT_STREQ(xb_GetTrimString("DIR"), "DIR4");
  Append({{"DIR", "DIR5"}});
  EXPECT_EQ(xb_RecNo(), 3);
  xb_CloseAll();
  EXPECT_EQ(xbtest::ReadFile(path_).size(), size_t(32 * 5 + 1 + 3 * 63 + 1));
  Open(path_, XB_OPEN_SHARED);
  EXPECT_EQ(xb_Zap(), 0);  // needs an exclusive open
  xb_CloseAll();
  Open(path_);
  ASSERT_EQ(xb_Zap(), 1);
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_TRUE(xb_Eof() && xb_Bof());
}

TEST_F(TableTest, WorkAreasAliasesAndSelection) {
  MakeStampe();
  int first = xb_WorkArea("STAMPE");
  EXPECT_GT(first, 0);
  EXPECT_STREQ(xb_Alias(int16_t(first)), "STAMPE");
  EXPECT_EQ(xb_UseEx(path_.c_str(), "STAMPE", 0, 1, 1), 0);  // alias taken
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_WORK_AREAS);
  std::string other = dir_.File("other.dbf");
  CreateTable(other, {{"X", "N", 3, 0}});
  int second = Open(dir_.File("OTHER"), XB_OPEN_SHARED, "OTHER");  // extension added, case resolved
  EXPECT_NE(second, first);
  EXPECT_EQ(xb_Select(int16_t(first)), second);
  EXPECT_EQ(xb_RecCount(), 4);
  xb_Select(int16_t(second));
  EXPECT_EQ(xb_RecCount(), 0);
  xb_Close();
  EXPECT_STREQ(xb_Alias(int16_t(second)), "");
  EXPECT_EQ(xb_WorkArea("other"), 0);
  EXPECT_EQ(xb_Select(300), -1);
  EXPECT_EQ(xb_UseEx(dir_.File("MISSING.DBF").c_str(), "", 0, 1, 1), 0);
  EXPECT_EQ(xb_UseEx(path_.c_str(), "", 7, 1, 1), 0);
}

TEST_F(TableTest, CreateRefusesBadDefinitions) {
  ASSERT_EQ(xb_CreateNew(path_.c_str(), "", 1, 3), 1);
  EXPECT_EQ(xb_CreateField("TOOLONGNAME1", "C", 10, 0), 0);
  EXPECT_EQ(xb_CreateField("1ST", "C", 10, 0), 0);
  EXPECT_EQ(xb_CreateField("N", "N", 25, 0), 0);
  EXPECT_EQ(xb_CreateField("N", "N", 5, 4), 0);
  EXPECT_EQ(xb_CreateField("X", "Q", 5, 0), 0);
  EXPECT_EQ(xb_CreateField("WIDE", "C", 300, 0), 1);  // Clipper-style wide character field
  EXPECT_EQ(xb_CreateField("wide", "C", 3, 0), 0);    // duplicate
  ASSERT_EQ(xb_CreateExec(), 1);
  EXPECT_EQ(xb_CreateExec(), 0);  // the definition was used up
  Open(path_);
  EXPECT_EQ(xb_FieldWidth("WIDE"), 300);
  EXPECT_EQ(xb_RecSize(), 301);
}

TEST_F(TableTest, CopiesKeepStructureAndSelectedRecords) {
  MakeStampe();
  std::string copy = dir_.File("COPY.DBF");
  EXPECT_EQ(xb_CopyFile(copy.c_str(), "TIPO=1"), 2);
  std::string empty = dir_.File("EMPTY.DBF");
  EXPECT_EQ(xb_CopyStructure(empty.c_str()), 1);
  std::string ext = dir_.File("STRU.DBF");
  EXPECT_EQ(xb_CopyStructureExtended(ext.c_str()), 1);
  EXPECT_EQ(xb_CreateFrom(dir_.File("FROM.DBF").c_str(), "FROM", ext.c_str(), 1), 2);
  EXPECT_EQ(xb_FieldCount(), 4);
  EXPECT_EQ(xb_FieldWidth("DESCRIZIO"), 40);
  EXPECT_EQ(xb_AppendFrom(copy.c_str(), 1, "TIPO=1"), 2);
  EXPECT_EQ(Walk().size(), 2u);
  Open(empty, XB_OPEN_SHARED, "EMPTY");
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_EQ(xb_RecSize(), 63);
}

TEST_F(TableTest, UnsupportedAndIndexEntryPointsAnswerPlainly) {
  MakeStampe();
  EXPECT_EQ(xb_SetRelation(2, "X"), -1);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_NOT_SUPPORTED);
  EXPECT_EQ(xb_RYOFilterCreate(), -1);
  EXPECT_EQ(xb_IndexOrd(), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 0);
  EXPECT_STREQ(xb_IndexCondition(), "");
  EXPECT_EQ(xb_Seek("x"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_NO_INDEX);
  EXPECT_EQ(xb_SetOrder(0), 0);
  EXPECT_EQ(xb_SetOrder(1), -1);
  EXPECT_EQ(xb_SysProp(1234, 0), -1);
  EXPECT_EQ(xb_SysProp(XB_PROP_SET_EXACT, 1), 0);
  EXPECT_EQ(xb_SysProp(XB_PROP_GET_EXACT, 0), 1);
  EXPECT_EQ(xb_SetEpoch(50), 1900);
  EXPECT_EQ(xb_SetEpoch(1910), 100);
  EXPECT_EQ(xb_SetDateFormat(42), -1);
}

}  // namespace
