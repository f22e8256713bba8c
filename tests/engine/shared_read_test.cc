// Shared and read-only opens: sequential reads fetch blocks (counted through the Os layer),
// while a record positioned to, locked or edited is read fresh, so a change another program
// made meanwhile is never lost.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "engine/os_share.h"
#include "tests/engine/test_util.h"

namespace {

using xbtest::CreateTable;
using xbtest::Open;
using xbtest::TempDir;

constexpr int kRecordLength = 1 + 40 + 20 + 1 + 1;
constexpr size_t kHeaderLength = 32 + 4 * 32 + 1;
constexpr int kSweptRecords = 300;

class SharedReadTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.File("STAMPE.DBF"); }
  void TearDown() override {
    xb_FinalizeSession();
    xb::SetOsForTesting(nullptr);
  }

  // DESCRIZIO C40, DIR C20, VISUALIZZA L, TIPO N1; record r has TIPO r % 4 and VISUALIZZA
  // false when r % 3 == 0. Written by hand, as another program would.
  void MakeTable(int records) {
    CreateTable(path_, {{"DESCRIZIO", "C", 40, 0},
                        {"DIR", "C", 20, 0},
                        {"VISUALIZZA", "L", 1, 0},
                        {"TIPO", "N", 1, 0}});
    std::string bytes = xbtest::ReadFile(path_).substr(0, kHeaderLength);
    for (int r = 1; r <= records; ++r) bytes += Record("Categoria " + std::to_string(r), r);
    bytes += '\x1A';
    for (int i = 0; i < 4; ++i) bytes[size_t(4 + i)] = char(uint32_t(records) >> (8 * i));
    xbtest::WriteFile(path_, bytes);
  }
  static std::string Record(const std::string& description, int r) {
    std::string record = " " + description;
    record.resize(41, ' ');
    record += "DIR" + std::to_string(r % 100);
    record.resize(61, ' ');
    record += r % 3 == 0 ? 'F' : 'T';
    record += char('0' + r % 4);
    return record;
  }
  // Rewrites bytes of record r from another descriptor, as another program does.
  void WriteBehind(int r, size_t offset, const std::string& bytes) {
    int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    off_t at = off_t(kHeaderLength + size_t(r - 1) * kRecordLength + offset);
    ASSERT_EQ(ssize_t(bytes.size()), ::pwrite(fd, bytes.data(), bytes.size(), at));
    ::close(fd);
  }

  // Edits every record as the table component does (lock, go, read, put, commit, unlock),
  // setting VISUALIZZA false, with the calls counted from the first record on; goBack goes
  // to the record again after the post, as the component's resynchronisation does.
  void Sweep(bool goBack) {
    share_.ResetCounts();
    char record[kRecordLength];
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      int32_t r = xb_RecNo();
      ASSERT_EQ(1, xb_Rlock(r));
      ASSERT_EQ(1, xb_Go(r));
      xb_GetRecord(record);
      record[61] = 'F';
      ASSERT_EQ(1, xb_PutRecord(record));
      xb_Commit();
      xb_Unlock(0);
      if (goBack) {
        ASSERT_EQ(1, xb_Go(r));
      }
    }
  }

  TempDir dir_;
  std::string path_;
  xb::ShareOs share_{xb::PosixOs()};  // alive until TearDown has closed every table
};

TEST_F(SharedReadTest, ScansQueriesAndCountsOfSharedOpensReadInBlocks) {
  constexpr int kRecords = 20000;  // about 1.2 MiB: ten 128 KiB blocks
  MakeTable(kRecords);
  xb::SetOsForTesting(&share_);
  const int64_t blocks = (int64_t(kRecords) * kRecordLength + 128 * 1024 - 1) / (128 * 1024);
  int matching = 0;
  for (int r = 1; r <= kRecords; ++r) matching += r % 4 == 1 && r % 3 != 0;
  for (int mode : {XB_OPEN_READ_ONLY, XB_OPEN_SHARED}) {
    Open(path_, mode);
    share_.ResetCounts();
    ASSERT_EQ(1, xb_Query("TIPO=1 AND VISUALIZZA=TRUE"));
    EXPECT_EQ(matching, xb_QueryRecCount());
    EXPECT_LE(share_.counts().reads, 2 * blocks + 4) << "mode " << mode;
    share_.ResetCounts();
    int walked = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) ++walked;
    EXPECT_EQ(matching, walked);
    for (xb_Query(""), xb_GoBottom(); !xb_Bof(); xb_Skip(-1)) ++walked;
    EXPECT_EQ(matching + kRecords, walked);
    EXPECT_LE(share_.counts().reads, 2 * blocks + 6) << "mode " << mode;
    xb_CloseAll();
  }
}

TEST_F(SharedReadTest, LockedPositionedAndEditedRecordsAreReadFresh) {
  MakeTable(50);
  Open(path_, XB_OPEN_SHARED);
  xb_GoTop();
  xb_Skip(1);  // records 1 to 50 are now in memory
  WriteBehind(3, 41, "CHANGED");
  WriteBehind(4, 1, "Renamed elsewhere");
  WriteBehind(5, 61, "F");

  xb_Skip(1);
  ASSERT_EQ(3, xb_RecNo());
  ASSERT_EQ(1, xb_Rlock(0)) << xb_LastErrorText();
  EXPECT_STREQ("CHANGED", xb_GetTrimString("DIR")) << "a locked record is read again";
  xb_Unlock(0);

  xb_Skip(1);
  ASSERT_EQ(4, xb_RecNo());
  ASSERT_EQ(1, xb_Replace("TIPO", XB_REPLACE_TEXT, "9")) << xb_LastErrorText();
  ASSERT_EQ(1, xb_Commit());
  std::string stored =
      xbtest::ReadFile(path_).substr(kHeaderLength + 3 * kRecordLength, kRecordLength);
  EXPECT_EQ("Renamed elsewhere", stored.substr(1, 17)) << "the edit kept the other change";
  EXPECT_EQ('9', stored.back());

  ASSERT_EQ(1, xb_Go(5));
  EXPECT_EQ(0, xb_GetLogical("VISUALIZZA")) << "a record gone to is read fresh";
}

TEST_F(SharedReadTest, ASweepOfLockedEditsReadsEachRecordOnceAfterItsLock) {
  MakeTable(kSweptRecords);
  xb::SetOsForTesting(&share_);
  Open(path_, XB_OPEN_SHARED);
  Sweep(false);
  // Per record: the lock, one fresh read, the write, the unlock; a few more for the blocks
  // and the writes that cross a page (journaled).
  EXPECT_LE(share_.counts().reads, kSweptRecords + 10);
  EXPECT_LE(share_.counts().Total(), 4 * kSweptRecords + 60);
  xb_Query("VISUALIZZA");
  EXPECT_EQ(0, xb_QueryRecCount()) << "every record was written";
}

// On an exclusive open nobody else changes a record, so going back to the one just locked
// or written asks the file nothing: per record only the write remains.
TEST_F(SharedReadTest, AnExclusiveSweepOnlyWritesEachRecord) {
  MakeTable(kSweptRecords);
  xb::SetOsForTesting(&share_);
  Open(path_, XB_OPEN_EXCLUSIVE);
  Sweep(true);
  EXPECT_EQ(0, share_.counts().reads);
  EXPECT_LE(share_.counts().sizes, 2);
  EXPECT_LE(share_.counts().Total(), kSweptRecords + 40);
  ASSERT_EQ(1, xb_Go(7));
  EXPECT_STREQ("F", xb_GetString("VISUALIZZA")) << "going back shows the record as written";
  xb_CloseAll();
  std::string bytes = xbtest::ReadFile(path_);
  for (int r = 1; r <= kSweptRecords; ++r) {
    ASSERT_EQ('F', bytes[kHeaderLength + size_t(r - 1) * kRecordLength + 61]) << r;
  }
}

}  // namespace
