// The mount of a table read from mountinfo lines as the kernel writes them, and the
// options that keep locks on one machine or serve stale data.
#include "engine/mount_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/os_fault.h"
#include "tests/engine/test_util.h"

namespace xb {
namespace {

MountEntry Parsed(const std::string& line) {
  MountEntry m;
  EXPECT_TRUE(ParseMountInfoLine(line, &m)) << line;
  return m;
}

TEST(MountInfo, ALineGivesItsPointTypeAndBothOptionLists) {
  MountEntry m = Parsed(
      "36 35 98:0 /office /srv/uffici\\040centrali rw,noatime master:1 shared:7 - cifs "
      "//server/uffici rw,vers=3.1.1,cache=strict,nobrl,actimeo=1");
  EXPECT_EQ(m.mount_point, "/srv/uffici centrali");
  EXPECT_EQ(m.fs_type, "cifs");
  EXPECT_EQ(m.options, "rw,noatime,rw,vers=3.1.1,cache=strict,nobrl,actimeo=1");
  // No optional fields, a backslash and a tab escaped, a trailing backslash left alone.
  EXPECT_EQ(Parsed("1 0 8:1 / /a\\134b\\011c\\ rw - ext4 /dev/sda1 rw").mount_point, "/a\\b\tc\\");
  MountEntry m2;
  for (const char* bad : {"", "36 35 98:0 / /mnt rw", "36 35 98:0 / /mnt rw shared:1 - cifs",
                          "36 35 98:0 / relative rw - ext4 /dev/x rw", "- - - - - - - - -"}) {
    EXPECT_FALSE(ParseMountInfoLine(bad, &m2)) << bad;
  }
}

TEST(MountInfo, TheLongestContainingPointWinsAndALaterMountHidesAnEarlierOne) {
  const std::string info =
      "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
      "2 1 0:40 / /mnt/share rw - cifs //s/a rw,nobrl\n"
      "garbage line\n"
      "3 1 0:41 / /mnt/share2 rw - nfs4 s:/b rw,local_lock=none\n"
      "4 2 0:42 / /mnt/share rw - cifs //s/c rw,cache=strict\n";
  MountEntry m;
  ASSERT_TRUE(FindMount(info, "/mnt/share/Stampe/STAMPE.DBF", &m));
  EXPECT_EQ(m.options, "rw,rw,cache=strict");
  ASSERT_TRUE(FindMount(info, "/mnt/share2/STAMPE.DBF", &m));
  EXPECT_EQ(m.fs_type, "nfs4");
  ASSERT_TRUE(FindMount(info, "/mnt/sharex/STAMPE.DBF", &m));
  EXPECT_EQ(m.fs_type, "ext4");
  EXPECT_FALSE(FindMount("no mounts here\n", "/x", &m));
}

TEST(MountInfo, LocksKeptLocalAndLooseCachingAreRisksOfNetworkMountsOnly) {
  struct Case {
    const char* type;
    const char* options;
    int risks;
  } cases[] = {
      {"cifs", "rw,cache=strict,actimeo=1", 0},
      {"cifs", "rw,nobrl", kMountLocksLocal},
      {"smb3", "rw,cache=loose", kMountCachesData},
      {"cifs", "rw,nobrlx,cache=loosely", 0},
      {"nfs", "rw,vers=3,nolock,nocto", kMountLocksLocal | kMountCachesData},
      {"nfs4", "rw,local_lock=posix", kMountLocksLocal},
      {"nfs4", "rw,local_lock=all", kMountLocksLocal},
      {"nfs4", "rw,local_lock=none,lock", 0},
      {"ext4", "rw,nobrl,nolock", 0},
  };
  for (const Case& c : cases) {
    MountEntry m{"/srv", c.type, c.options};
    EXPECT_EQ(MountRisks(m), c.risks) << c.type << " " << c.options;
  }
  MountEntry nfs{"/srv", "nfs", "rw,nolock,nocto"};
  EXPECT_EQ(DescribeMountRisks(nfs, MountRisks(nfs)),
            "the nfs mount /srv has nolock, nocto: record and file locks stay on this machine, so "
            "two machines can write over each other; this machine may read data that another "
            "machine has changed; mount it without these options (NFSv4, or NFSv3 with the lock manager)");
  EXPECT_EQ(DescribeMountRisks(nfs, 0), "");
}

// FUSE network clients take locks in this machine's kernel only; cluster clients pass them
// on; a FUSE file system of another kind cannot be told, and a FUSE block device is a disk.
TEST(MountInfo, FuseClientsAreNamedByWhereTheirLocksGo) {
  struct Case {
    const char* type;
    int risks;
  } cases[] = {
      {"fuse.smbnetfs", kMountLocksLocal | kMountCachesData},
      {"fuse.gvfsd-fuse", kMountLocksLocal | kMountCachesData},
      {"fuse.sshfs", kMountLocksLocal | kMountCachesData},
      {"fuse.rclone", kMountLocksLocal | kMountCachesData},
      {"fuse.kio-fuse", kMountLocksLocal | kMountCachesData},
      {"fuse.glusterfs", 0},
      {"fuse.ceph-fuse", 0},
      {"fuse.mergerfs", kMountUnknown},
      {"fuse", kMountUnknown},
      {"fuseblk", 0},
      {"fusectl", 0},
  };
  for (const Case& c : cases) {
    MountEntry m{"/mnt/ufficio", c.type, "rw,nosuid,nodev,user_id=0"};
    EXPECT_EQ(MountRisks(m), c.risks) << c.type;
  }
  MountEntry smbnetfs{"/mnt/ufficio", "fuse.smbnetfs", "rw"};
  EXPECT_EQ(DescribeMountRisks(smbnetfs, MountRisks(smbnetfs)),
            "the fuse.smbnetfs mount /mnt/ufficio is a network client in user space (smbnetfs): record "
            "and file locks stay on this machine, so two machines can write over each other; this "
            "machine may read data that another machine has changed; mount the share with the kernel's "
            "CIFS client (mount -t cifs, default options) or NFS on every machine");
  MountEntry other{"/mnt/x", "fuse.mergerfs", "rw"};
  EXPECT_NE(DescribeMountRisks(other, kMountUnknown).find("cannot be told"), std::string::npos);
}

// A table on a mount whose locks stay on this machine, with the folder of a test table
// declared such a mount.
class LocalLocksMount : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("STAMPE.DBF");
    xbtest::CreateTable(path_, {{"DIR", "C", 10, 0}, {"N", "N", 5, 0}});
    xbtest::Open(path_);
    xbtest::Append({{"DIR", "CONTAB"}, {"N", "1"}});
    xb_CloseAll();
    SetMountInfoForTesting("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                           "2 1 0:50 / " + dir_.path() + " rw,nosuid - fuse.smbnetfs smbnetfs rw\n");
  }
  void TearDown() override {
    SetMountInfoForTesting("");
    xb_FinalizeSession();
  }
  xbtest::TempDir dir_;
  std::string path_;
};

// Nothing written there can be lost to another machine's write: a shared open reads only and
// says why, its writes and locks are refused before a byte changes, an exclusive open is
// refused, and the administrator's word that no other machine uses it lets both through.
TEST_F(LocalLocksMount, WritesAndExclusiveOpensWaitForTheWordThatNoOtherMachineUsesIt) {
  std::string before = xbtest::ReadFile(path_);
  ASSERT_GT(xbtest::Open(path_, XB_OPEN_SHARED), 0);
  EXPECT_EQ(xb_MountRisks(), XB_MOUNT_LOCKS_LOCAL | XB_MOUNT_CACHES_DATA);
  std::string refusal = xb_WriteRefusal();
  EXPECT_EQ(refusal.rfind("Writes are refused on this mount: the fuse.smbnetfs mount", 0), 0u) << refusal;
  EXPECT_EQ(std::string(xb_TableDamage()), refusal);
  EXPECT_EQ(xb_Rlock(1), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_NE(std::string(xb_LastErrorText()).find(refusal), std::string::npos) << xb_LastErrorText();
  EXPECT_EQ(xb_Flock(), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_EQ(xb_Replace("N", XB_REPLACE_TEXT, "2"), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_EQ(xb_AppendBlank(), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_STREQ(xb_GetTrimString("DIR"), "CONTAB");  // reading goes on
  xb_CloseAll();
  EXPECT_EQ(xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_LOCKED);
  EXPECT_NE(std::string(xb_LastErrorText()).find("cannot be opened exclusively: the fuse.smbnetfs mount"),
            std::string::npos) << xb_LastErrorText();
  EXPECT_EQ(xbtest::ReadFile(path_), before);

  EXPECT_EQ(xb_SetLocalLocksAccepted(1), 0);
  ASSERT_GT(xbtest::Open(path_, XB_OPEN_SHARED), 0);
  EXPECT_STREQ(xb_WriteRefusal(), "");
  ASSERT_EQ(xb_Rlock(1), 1) << xb_LastErrorText();
  ASSERT_EQ(xb_Replace("N", XB_REPLACE_TEXT, "2"), 1) << xb_LastErrorText();
  ASSERT_EQ(xb_Commit(), 1) << xb_LastErrorText();
  xb_CloseAll();
  EXPECT_GT(xbtest::Open(path_, XB_OPEN_EXCLUSIVE), 0);
}

// The mount is read once for an open table, at the open, and kept: a start that asks again for
// its warning reads the mount table no more, and the next open reads it afresh.
TEST_F(LocalLocksMount, AnOpenTableKeepsTheMountItWasOpenedOn) {
  ASSERT_GT(xbtest::Open(path_, XB_OPEN_SHARED), 0);
  SetMountInfoForTesting("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
  EXPECT_EQ(xb_MountRisks(), XB_MOUNT_LOCKS_LOCAL | XB_MOUNT_CACHES_DATA);
  EXPECT_NE(std::string(xb_MountRiskText()).find("fuse.smbnetfs"), std::string::npos) << xb_MountRiskText();
  xb_CloseAll();
  ASSERT_GT(xbtest::Open(path_, XB_OPEN_SHARED), 0);
  EXPECT_EQ(xb_MountRisks(), 0);
  EXPECT_STREQ(xb_WriteRefusal(), "");
}

// A read-only open anywhere: a lock is refused with its own code and reason, not the lock
// call's "Bad file descriptor".
TEST(ReadOnlyTable, LocksAreRefusedAsWritesAre) {
  xbtest::TempDir dir;
  std::string path = dir.File("T.DBF");
  xbtest::CreateTable(path, {{"N", "N", 5, 0}});
  xbtest::Open(path);
  xbtest::Append({{"N", "1"}});
  xb_CloseAll();
  ASSERT_GT(xbtest::Open(path, XB_OPEN_READ_ONLY), 0);
  EXPECT_EQ(xb_Rlock(1), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_READ_ONLY);
  EXPECT_NE(std::string(xb_LastErrorText()).find("cannot be locked for writing: it is open read-only"),
            std::string::npos) << xb_LastErrorText();
  EXPECT_STREQ(xb_WriteRefusal(), "");
  xb_FinalizeSession();
}

// A file that cannot be opened for writing (no rights, a client that cannot write in place):
// the shared open reads, and gives the refused open's own reason instead of a guess.
TEST(ReadOnlyTable, AFileThatCannotBeOpenedForWritingSaysWhy) {
  xbtest::TempDir dir;
  std::string path = dir.File("T.DBF");
  xbtest::CreateTable(path, {{"N", "N", 5, 0}});
  FaultyOs faulty(PosixOs());
  SetOsForTesting(&faulty);
  faulty.FailCall(1, false);  // the writable open
  int area = xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, 1, XB_COMMIT_NORMAL);
  SetOsForTesting(nullptr);
  ASSERT_GT(area, 0) << xb_LastErrorText();
  std::string refusal = xb_WriteRefusal();
  EXPECT_EQ(refusal.rfind("The file cannot be opened for writing on the ", 0), 0u) << refusal;
  EXPECT_NE(refusal.find(" mount /"), std::string::npos) << refusal;
  EXPECT_NE(refusal.find(": Injected I/O failure"), std::string::npos) << refusal;
  EXPECT_EQ(xb_AppendBlank(), 0);
  EXPECT_NE(std::string(xb_LastErrorText()).find("Injected I/O failure"), std::string::npos);
  xb_FinalizeSession();
}

}  // namespace
}  // namespace xb
