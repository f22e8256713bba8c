// The mount of a table read from mountinfo lines as the kernel writes them, and the
// options that keep locks on one machine or serve stale data.
#include "engine/mount_info.h"

#include <gtest/gtest.h>

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
            "machine has changed");
  EXPECT_EQ(DescribeMountRisks(nfs, 0), "");
}

}  // namespace
}  // namespace xb
