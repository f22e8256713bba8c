// NTX index orders through the C interface: key order for each key type, seek semantics,
// keys kept right by every kind of write, and a long random run checked for integrity.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/ntx_order.h"
#include "tests/engine/test_util.h"

using namespace xbtest;

namespace {

class NtxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    xb_CloseAll();
    xb_SetDeleted(0);
    xb_SetExact(0);
    xb_SetSoftSeek(0);
    path_ = dir_.File("people.dbf");
    CreateTable(path_, {{"NAME", "C", 10, 0}, {"AMOUNT", "N", 8, 2}, {"BORN", "D", 8, 0},
                        {"ACTIVE", "L", 1, 0}});
    Open(path_);
  }
  void TearDown() override { xb_CloseAll(); }

  void AddPerson(const std::string& name, const std::string& amount, const std::string& born,
                 const std::string& active = "T") {
    Append({{"NAME", name}, {"AMOUNT", amount}, {"BORN", born}, {"ACTIVE", active}});
  }
  void AddSample() {
    AddPerson("mario", "12.5", "19800102");
    AddPerson("Anna", "-3", "19991231");
    AddPerson("luca", "0", "19700101", "F");
    AddPerson("Beppe", "-120.25", "20011010");
    AddPerson("carla", "7", "19800102");
  }
  std::string Names() {
    std::string out;
    for (int r : Walk()) {
      xb_Go(r);
      out += std::string(xb_GetTrimString("NAME")) + " ";
    }
    return out;
  }
  void ExpectSound() { EXPECT_EQ(xb_IndexCheck(0), 1) << xb_LastErrorText(); }

  TempDir dir_;
  std::string path_;
};

TEST(NtxKeys, NumbersSortByValueIncludingNegatives) {
  std::vector<double> values = {-1000, -120.25, -3, -2.99, -0.01, 0, 0.01, 7, 12.5, 99999};
  for (size_t i = 1; i < values.size(); ++i) {
    EXPECT_LT(xb::NtxNumberKey(values[i - 1], 8, 2), xb::NtxNumberKey(values[i], 8, 2))
        << values[i - 1] << " vs " << values[i];
  }
  EXPECT_EQ(xb::NtxNumberKey(12.5, 8, 2), "00012.50");
}

// The bulk build's sort against a plain comparison sort: keys of several sizes whose bytes
// vary in few or many bits (high bytes too), ascending and descending, with duplicates, and
// record numbers that do not follow the keys' positions (as under a FOR condition).
TEST(NtxBuild, SortsLikeAComparisonSort) {
  TempDir dir;
  std::mt19937 random(7);
  for (size_t ks : {1u, 3u, 8u, 12u}) {
    for (bool descending : {false, true}) {
      for (bool sparse : {false, true}) {
        const size_t count = 5000;
        std::vector<char> keys(count * ks);
        std::vector<uint32_t> recnos(count);
        for (size_t i = 0; i < count; ++i) {
          for (size_t b = 0; b < ks; ++b)
            keys[i * ks + b] = char(sparse ? '0' + random() % 3 : random() % 256);
          recnos[i] = uint32_t(sparse ? 3 * i + 2 : i + 1);
        }
        std::vector<xb::NtxEntry> expected(count);
        for (size_t i = 0; i < count; ++i)
          expected[i] = xb::NtxEntry{std::string(&keys[i * ks], ks), recnos[i]};
        std::sort(expected.begin(), expected.end(), [&](const xb::NtxEntry& x, const xb::NtxEntry& y) {
          if (x.key != y.key) return descending ? x.key > y.key : x.key < y.key;
          return x.recno < y.recno;
        });
        xb::NtxHeader header;
        header.key_size = uint16_t(ks);
        header.key_expr = "K";
        header.descending = descending;
        const std::string path = dir.File("sort.ntx");
        ASSERT_TRUE(xb::NtxFile::Build(path, header, keys, recnos).ok());
        std::unique_ptr<xb::NtxFile> file;
        ASSERT_TRUE(xb::NtxFile::Open(path, true, false, &file).ok());
        std::vector<xb::NtxEntry> walked;
        xb::Status s = file->Walk(&walked);
        ASSERT_TRUE(s.ok()) << s.message();
        ASSERT_EQ(walked.size(), count);
        for (size_t i = 0; i < count; ++i) {
          ASSERT_EQ(walked[i].key, expected[i].key) << "ks " << ks << " at " << i;
          ASSERT_EQ(walked[i].recno, expected[i].recno) << "ks " << ks << " at " << i;
        }
      }
    }
  }
}

TEST_F(NtxTest, EachKeyTypeOrdersTheWalk) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "UPPER(NAME)", 0, 0, ""), 0) << xb_LastErrorText();
  EXPECT_EQ(Names(), "Anna Beppe carla luca mario ");
  ASSERT_GT(xb_Index(dir_.File("amount").c_str(), "AMOUNT", 0, 0, ""), 0);
  EXPECT_EQ(Names(), "Beppe Anna luca carla mario ");
  ASSERT_GT(xb_Index(dir_.File("born").c_str(), "DTOS(BORN)+NAME", 0, 1, ""), 0);
  EXPECT_EQ(Names(), "Beppe Anna mario carla luca ");
  ASSERT_GT(xb_Index(dir_.File("active").c_str(), "ACTIVE", 0, 0, ""), 0);
  EXPECT_EQ(Walk().front(), 3);
  EXPECT_EQ(xb_SysProp(XB_PROP_ORDER_COUNT, 0), 4);
  xb_SetOrder(0);
  EXPECT_EQ(Names(), "mario Anna luca Beppe carla ");
  xb_SetOrder(1);
  EXPECT_STREQ(xb_IndexKey(), "UPPER(NAME)");
  EXPECT_STREQ(xb_IndexKeyField(), "NAME");
  EXPECT_STREQ(xb_TagName(0), "NAME");
  EXPECT_EQ(xb_KeyLength(), 10);
  EXPECT_EQ(xb_IndexType(), XB_TYPE_NTX);
}

TEST_F(NtxTest, SkipAndBottomFollowTheOrderAndStopAtTheEnds) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "UPPER(NAME)", 0, 0, ""), 0);
  xb_GoBottom();
  EXPECT_STREQ(xb_GetTrimString("NAME"), "mario");
  xb_Skip(-2);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "carla");
  xb_Skip(-10);
  EXPECT_TRUE(xb_Bof());
  EXPECT_STREQ(xb_GetTrimString("NAME"), "Anna");
  xb_Skip(10);
  EXPECT_TRUE(xb_Eof());
  xb_Skip(-1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "mario");
}

TEST_F(NtxTest, DeletedSettingAndQueryStillApplyInKeyOrder) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "UPPER(NAME)", 0, 0, ""), 0);
  xb_Go(2);  // Anna
  xb_Delete();
  xb_SetDeleted(1);
  EXPECT_EQ(Names(), "Beppe carla luca mario ");
  ASSERT_EQ(xb_Query("ACTIVE"), 1) << xb_LastErrorText();
  EXPECT_EQ(Names(), "Beppe carla mario ");
  EXPECT_EQ(xb_Seek("LUCA"), 0);  // hidden by the query
  xb_SetDeleted(0);
}

TEST_F(NtxTest, SeekIsPartialUnlessExactAndSoftSeekStopsOnTheNextKey) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "UPPER(NAME)", 0, 0, ""), 0);
  EXPECT_EQ(xb_Seek("CAR"), 1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "carla");
  EXPECT_EQ(xb_Found(), 1);
  xb_SysProp(XB_PROP_SET_EXACT, 1);
  EXPECT_EQ(xb_Seek("CAR"), 0);
  EXPECT_TRUE(xb_Eof());
  EXPECT_EQ(xb_RecNo(), 6);
  EXPECT_EQ(xb_Seek("CARLA"), 1);
  xb_SysProp(XB_PROP_SET_EXACT, 0);
  xb_SetSoftSeek(1);
  EXPECT_EQ(xb_Seek("D"), 0);
  EXPECT_EQ(xb_Found(), 0);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "luca");
  EXPECT_EQ(xb_Seek("ZZZ"), 0);
  EXPECT_TRUE(xb_Eof());
  xb_SetSoftSeek(0);

  ASSERT_GT(xb_Index(dir_.File("amount").c_str(), "AMOUNT", 0, 0, ""), 0);
  EXPECT_EQ(xb_Seek("   -3.00"), 1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "Anna");
  EXPECT_EQ(xb_Seek("-120.25"), 1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "Beppe");
  ASSERT_GT(xb_Index(dir_.File("active").c_str(), "ACTIVE", 0, 0, ""), 0);
  EXPECT_EQ(xb_Seek(".F."), 1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "luca");
  EXPECT_EQ(xb_Seek(".t."), 1);
  EXPECT_EQ(xb_RecNo(), 1);
  ASSERT_GT(xb_Index(dir_.File("born").c_str(), "BORN", 0, 0, ""), 0);
  EXPECT_EQ(xb_Seek("19800102"), 1);
  EXPECT_EQ(xb_RecNo(), 1);  // equal keys in record order
  xb_CloseIndexes();
  EXPECT_EQ(xb_Seek("X"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_NO_INDEX);
}

TEST_F(NtxTest, WritesKeepEveryOpenOrderRight) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("amount").c_str(), "AMOUNT", 0, 0, ""), 0);
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "UPPER(NAME)", 0, 0, "!DELETED()"), 0);
  xb_Go(1);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "Aldo"), 1);
  double amount = -500;
  ASSERT_EQ(xb_Replace("AMOUNT", XB_REPLACE_DOUBLE, &amount), 1);
  AddPerson("Zeno", "1", "20200202");
  xb_Go(3);
  xb_Delete();
  EXPECT_EQ(Names(), "Aldo Anna Beppe carla Zeno ");
  EXPECT_STREQ(xb_IndexCondition(), "!DELETED()");
  ExpectSound();
  xb_Go(3);
  xb_Recall();
  EXPECT_EQ(Names(), "Aldo Anna Beppe carla luca Zeno ");
  std::vector<char> image(static_cast<size_t>(xb_RecSize()));
  xb_Go(2);
  xb_GetRecord(image.data());
  std::copy_n("Zz        ", 10, image.begin() + 1);
  ASSERT_EQ(xb_PutRecord(image.data()), 1);
  ExpectSound();
  xb_SetOrder(1);
  ExpectSound();
  EXPECT_EQ(Names(), "Aldo Beppe Zz luca Zeno carla ");
  xb_Go(4);
  xb_Delete();
  ASSERT_EQ(xb_Pack(), 1) << xb_LastErrorText();
  ExpectSound();
  xb_SetOrder(2);
  ExpectSound();
  EXPECT_EQ(Names(), "Aldo carla luca Zeno Zz ");
  ASSERT_EQ(xb_Zap(), 1);
  EXPECT_TRUE(Walk().empty());
  ExpectSound();
}

TEST_F(NtxTest, ReopenedIndexIsReadAndKeptRight) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name.ntx").c_str(), "UPPER(NAME)", 0, 0, ""), 0);
  xb_CloseAll();
  Open(path_, XB_OPEN_SHARED);
  EXPECT_EQ(xb_IndexOrd(), 0);
  ASSERT_EQ(xb_IndexOpen(dir_.File("NAME").c_str()), 0);  // no such file: clear error
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_OPEN);
  ASSERT_EQ(xb_IndexOpen(dir_.File("name").c_str()), 1) << xb_LastErrorText();
  EXPECT_EQ(Names(), "Anna Beppe carla luca mario ");
  ASSERT_EQ(xb_Rlock(3), 1);
  xb_Go(3);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "Aaron"), 1);
  xb_Commit();
  EXPECT_EQ(Names(), "Aaron Anna Beppe carla mario ");
  ExpectSound();
  EXPECT_EQ(xb_Reindex(), 1);
  ExpectSound();
}

// A page that names itself as a child (or an ancestor) would make every descent endless.
TEST_F(NtxTest, TreeThatLoopsIsReportedNotFollowed) {
  for (int i = 0; i < 200; ++i) Append({{"NAME", "n" + std::to_string(1000 + i)}});
  std::string ntx = dir_.File("loop.ntx");
  ASSERT_GT(xb_Index(ntx.c_str(), "NAME", 0, 0, ""), 0);
  xb_CloseAll();
  std::string bytes = ReadFile(ntx);
  auto u32 = [&](size_t at) {
    return uint32_t(uint8_t(bytes[at])) | uint32_t(uint8_t(bytes[at + 1])) << 8 |
           uint32_t(uint8_t(bytes[at + 2])) << 16 | uint32_t(uint8_t(bytes[at + 3])) << 24;
  };
  const uint32_t root = u32(4);
  const size_t first_item = root + (uint8_t(bytes[root + 2]) | uint8_t(bytes[root + 3]) << 8);
  ASSERT_NE(u32(first_item), 0u) << "the root must be a branch";
  bytes.replace(first_item, 4, std::string(reinterpret_cast<const char*>(&root), 4));
  WriteFile(ntx, bytes);
  Open(path_, XB_OPEN_READ_ONLY);
  EXPECT_EQ(xb_IndexOpen(ntx.c_str()), 0);  // the first order opened goes to its top
  EXPECT_NE(std::string(xb_LastErrorText()).find("the tree loops"), std::string::npos);
  xb_CloseAll();
  Open(path_, XB_OPEN_EXCLUSIVE);
  ASSERT_GT(xb_Index(dir_.File("good").c_str(), "NAME", 0, 0, ""), 0);
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 2) << xb_LastErrorText();
  xb_SetOrder(2);
  EXPECT_EQ(xb_Seek("n1000"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_CORRUPT);
  EXPECT_EQ(xb_IndexCheck(0), 0);
  EXPECT_NE(std::string(xb_LastErrorText()).find("loops"), std::string::npos) << xb_LastErrorText();
}

TEST_F(NtxTest, DamagedIndexIsReportedAndReindexRepairsIt) {
  AddSample();
  std::string ntx = dir_.File("name.ntx");
  ASSERT_GT(xb_Index(ntx.c_str(), "NAME", 0, 0, ""), 0);
  xb_CloseAll();
  std::string bytes = ReadFile(ntx);
  size_t at = bytes.find("mario");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 5, "Xmari");  // a key that no longer matches its record
  WriteFile(ntx, bytes);
  Open(path_);
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1);
  EXPECT_EQ(xb_IndexCheck(0), 0);
  EXPECT_NE(std::string(xb_LastErrorText()).find("record 1"), std::string::npos)
      << xb_LastErrorText();
  ASSERT_EQ(xb_Reindex(), 1);
  ExpectSound();

  WriteFile(ntx, bytes.substr(0, 1500));  // cut inside the first page
  xb_CloseAll();
  Open(path_);
  EXPECT_EQ(xb_IndexOpen(ntx.c_str()), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_CORRUPT);
}

// Files copied while a writer has uncommitted changes are what a crash leaves behind: the
// copied index carries the pending mark and no live writer stands behind it.
TEST_F(NtxTest, IndexLeftByAStoppedWriterIsNeverUsedStale) {
  AddSample();
  ASSERT_GT(xb_Index(dir_.File("name").c_str(), "NAME", 0, 0, ""), 0);
  xb_Go(1);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "zorro"), 1);
  std::string copy = dir_.File("copy.dbf"), copy_ntx = dir_.File("copy.ntx");
  WriteFile(copy, ReadFile(path_));
  const std::string stale = ReadFile(dir_.File("name.ntx"));
  WriteFile(copy_ntx, stale);
  xb_CloseAll();
  Open(copy, XB_OPEN_READ_ONLY);
  EXPECT_EQ(xb_IndexOpen(copy_ntx.c_str()), 0);
  EXPECT_EQ(std::string(xb_LastErrorText()), "index needs rebuilding: " + copy_ntx);
  xb_CloseAll();
  for (int mode : {XB_OPEN_EXCLUSIVE, XB_OPEN_SHARED}) {
    WriteFile(copy_ntx, stale);
    Open(copy, mode);
    ASSERT_EQ(xb_IndexOpen(copy_ntx.c_str()), 1) << xb_LastErrorText();
    ExpectSound();
    EXPECT_EQ(xb_Seek("zorro"), 0);
    EXPECT_EQ(xb_Seek("mario"), 1);
    xb_CloseAll();
    Open(copy, XB_OPEN_READ_ONLY);  // the rebuild cleared the mark
    ASSERT_EQ(xb_IndexOpen(copy_ntx.c_str()), 1) << xb_LastErrorText();
    ExpectSound();
    xb_CloseAll();
  }
}

// Two work areas share the table as two programs would (their locks exclude each other).
// Each writer is counted in the mark from its first write until it closes.
TEST_F(NtxTest, MarkOfALiveWriterIsNotMistakenForAStoppedOne) {
  AddSample();
  std::string ntx = dir_.File("name.ntx");
  ASSERT_GT(xb_Index(ntx.c_str(), "NAME", 0, 0, ""), 0);
  xb_CloseAll();
  int writer = Open(path_, XB_OPEN_SHARED);
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1);
  xb_Go(2);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "zita"), 1);
  ASSERT_EQ(xb_Commit(), 1);
  int reader = Open(path_, XB_OPEN_READ_ONLY, "READER");
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1) << xb_LastErrorText();
  Open(path_, XB_OPEN_SHARED, "OTHER");
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1) << xb_LastErrorText();
  xb_Go(4);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "aldo"), 1);
  EXPECT_EQ(ReadFile(ntx)[1023], 2);
  xb_Close();
  EXPECT_EQ(ReadFile(ntx)[1023], 1);
  xb_Select(int16_t(reader));
  EXPECT_EQ(xb_Seek("zita"), 1);
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_EQ(xb_Seek("aldo"), 1);
  ExpectSound();
  xb_Select(int16_t(writer));
  xb_Close();
  EXPECT_EQ(ReadFile(ntx)[1023], 0);
}

// Another program holding the index lock past the timeout: before the first write the mark
// cannot be set and the table is left alone; after it, the key update fails once the table
// was written, and the index is refused until rebuilt, its mark making the next open do so.
TEST_F(NtxTest, IndexBehindAFailedUpdateIsRefusedUntilRebuilt) {
  AddSample();
  std::string ntx = dir_.File("name.ntx");
  ASSERT_GT(xb_Index(ntx.c_str(), "NAME", 0, 0, ""), 0);
  xb_CloseAll();
  Open(path_, XB_OPEN_SHARED);
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1);
  int previous_timeout = xb_SetLockTimeout(0);
  int holder = open(ntx.c_str(), O_RDWR);
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_start = 1000000000;
  lock.l_len = 1;
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
  xb_Go(3);
  EXPECT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "ugo"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_LOCKED);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "luca");
  lock.l_type = F_UNLCK;
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
  xb_Go(2);
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "bruno"), 1) << xb_LastErrorText();
  lock.l_type = F_WRLCK;
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
  xb_Go(1);
  EXPECT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "zorro"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_LOCKED);
  close(holder);
  xb_SetLockTimeout(int16_t(previous_timeout));
  EXPECT_EQ(xb_GoTop(), 0);
  EXPECT_EQ(std::string(xb_LastErrorText()), "index needs rebuilding: " + ntx);
  EXPECT_EQ(xb_Seek("mario"), 0);
  ASSERT_EQ(xb_Commit(), 1) << xb_LastErrorText();
  xb_CloseAll();
  EXPECT_EQ(ReadFile(ntx)[1023], 1);  // closing keeps the mark of a broken index
  Open(path_, XB_OPEN_SHARED);
  ASSERT_EQ(xb_IndexOpen(ntx.c_str()), 1) << xb_LastErrorText();
  ExpectSound();
  EXPECT_EQ(xb_Seek("zorro"), 1);

  xb_Go(3);  // broken again, in the same session a reindex repairs it
  ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "ugo"), 1);
  xb_SetLockTimeout(0);
  holder = open(ntx.c_str(), O_RDWR);
  ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &lock), 0);
  xb_Go(4);
  EXPECT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, "anna"), 0);
  close(holder);
  xb_SetLockTimeout(int16_t(previous_timeout));
  EXPECT_EQ(xb_Seek("ugo"), 0);
  ASSERT_EQ(xb_Reindex(), 1) << xb_LastErrorText();
  ExpectSound();
  EXPECT_EQ(xb_Seek("anna"), 1);
}

TEST_F(NtxTest, BadKeysAreRefusedClearly) {
  AddSample();
  EXPECT_EQ(xb_Index(dir_.File("x").c_str(), "NOSUCH", 0, 0, ""), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_EXPRESSION);
  EXPECT_EQ(xb_Index(dir_.File("x").c_str(), "TRIM(NAME)", 0, 0, ""), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_EXPRESSION);
  EXPECT_EQ(xb_Index(dir_.File("x").c_str(), "NAME", 0, 0, "AMOUNT"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_EXPRESSION);
  EXPECT_EQ(xb_SetOrder(1), -1);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_NO_INDEX);
}

// Many writes, appends and deletions over small pages (long keys) so that pages split,
// borrow and merge often; the index must stay sound and agree with a plain sort.
TEST_F(NtxTest, RandomWritesKeepTheIndexSound) {
  xb_CloseAll();
  std::string wide = dir_.File("wide.dbf");
  CreateTable(wide, {{"CODE", "C", 90, 0}, {"N", "N", 6, 0}});
  Open(wide);
  std::mt19937 random(8);
  auto code = [&] { return std::string(1, char('A' + random() % 26)) + std::to_string(random() % 500); };
  for (int i = 0; i < 300; ++i) Append({{"CODE", code()}, {"N", std::to_string(i)}});
  ASSERT_GT(xb_Index(dir_.File("code").c_str(), "CODE", 0, 0, "!DELETED()"), 0);
  ASSERT_GT(xb_Index(dir_.File("num").c_str(), "N", 0, 1, ""), 0);
  for (int step = 0; step < 10000; ++step) {
    int count = xb_RecCount();
    int action = int(random() % 10);
    if (action < 3) {
      ASSERT_EQ(xb_AppendBlank(), 1);
    } else {
      xb_Go(int32_t(1 + random() % uint32_t(count)));
    }
    if (action < 7) {
      ASSERT_EQ(xb_Replace("CODE", XB_REPLACE_TEXT, code().c_str()), 1) << xb_LastErrorText();
      int32_t n = int32_t(random() % 100000);
      ASSERT_EQ(xb_Replace("N", XB_REPLACE_INT32, &n), 1);
    } else if (action < 9) {
      xb_Delete();
    } else {
      xb_Recall();
    }
    if (step % 2500 == 0) {
      ASSERT_EQ(xb_IndexCheck(1), 1) << "step " << step << ": " << xb_LastErrorText();
      ASSERT_EQ(xb_IndexCheck(2), 1) << "step " << step << ": " << xb_LastErrorText();
    }
  }
  xb_Commit();
  ASSERT_EQ(xb_IndexCheck(1), 1) << xb_LastErrorText();
  ASSERT_EQ(xb_IndexCheck(2), 1) << xb_LastErrorText();
  // The walk in order 2 (descending N) agrees with sorting the live records by N.
  xb_SetOrder(2);
  std::vector<int> walked;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) walked.push_back(xb_GetInteger("N"));
  EXPECT_EQ(int(walked.size()), xb_RecCount());
  EXPECT_TRUE(std::is_sorted(walked.rbegin(), walked.rend()));
}

}  // namespace

namespace {

// Clipper writes index keys qualified with the table's alias ("ntx_char->v1"): the alias of
// the area or the file's base name, in any case, is the field itself.
TEST(NtxAliasKeys, KeysQualifiedWithTheTablesOwnAliasOpenSeekAndSurviveAReindex) {
  TempDir dir;
  std::string table = dir.File("ntx_char.dbf");
  xb_CloseAll();
  CreateTable(table, {{"V1", "C", 8, 0}});
  Open(table, XB_OPEN_EXCLUSIVE, "WORK");
  for (const char* v : {"pera", "mela", "fico"}) Append({{"V1", v}});
  std::string ntx = dir.File("byv1.ntx");
  ASSERT_GT(xb_Index(ntx.c_str(), "ntx_char->v1", 0, 0, ""), 0) << xb_LastErrorText();
  ASSERT_GT(xb_Index(dir.File("bywork.ntx").c_str(), "Work->V1", 0, 0, ""), 0)
      << xb_LastErrorText();
  EXPECT_EQ(0, xb_Index(dir.File("other.ntx").c_str(), "people->v1", 0, 0, ""));
  EXPECT_NE(std::string::npos, std::string(xb_LastErrorText()).find("another work area"));
  xb_CloseAll();

  Open(table, XB_OPEN_EXCLUSIVE, "ELSEWHERE");
  ASSERT_GT(xb_IndexOpen(ntx.c_str()), 0) << xb_LastErrorText();
  xb_SetOrder(1);
  EXPECT_EQ(1, xb_Seek("mela"));
  Append({{"V1", "banana"}});
  EXPECT_EQ(1, xb_Seek("banana"));
  EXPECT_EQ(1, xb_IndexCheck(0)) << xb_LastErrorText();
  ASSERT_EQ(1, xb_Reindex()) << xb_LastErrorText();
  EXPECT_STREQ("ntx_char->v1", xb_IndexKey()) << "the key text is kept as written";
  std::vector<std::string> walked;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) walked.push_back(xb_GetTrimString("V1"));
  EXPECT_EQ((std::vector<std::string>{"banana", "fico", "mela", "pera"}), walked);
  xb_CloseAll();
}

}  // namespace
