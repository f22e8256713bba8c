// Where a table's file is mounted, read from /proc/self/mountinfo, and whether that mount
// keeps the promises several workstations rely on: locks that reach the file server and
// no cached data that another machine may have changed.
#pragma once

#include <string>
#include <string_view>

namespace xb {

struct MountEntry {
  std::string mount_point;  // unescaped
  std::string fs_type;      // "cifs", "nfs4", "fuse.sshfs", ...
  std::string options;      // the mount's own options, then the file system's, comma-joined
};

// One line of mountinfo: "ID PARENT MAJ:MIN ROOT POINT OPTIONS [OPTIONAL...] - TYPE SOURCE
// SUPER-OPTIONS". False when the line does not have that shape.
bool ParseMountInfoLine(std::string_view line, MountEntry* out);

// The mount holding `path` (absolute, symbolic links resolved): the entry whose mount point
// is the longest one containing it, the later line winning between equal points (a mount
// over another). False when no line parses or contains it.
bool FindMount(std::string_view mountinfo, std::string_view path, MountEntry* out);

enum MountRisk : int {
  kMountLocksLocal = 1,   // record and file locks stay on this machine (CIFS nobrl, NFS nolock,
                          // FUSE network clients such as smbnetfs, gvfs, sshfs)
  kMountCachesData = 2,   // the client serves data another machine changed (cache=loose, nocto)
  kMountUnknown = 4,      // a FUSE file system of a kind not known here: cannot tell
};

// The risks of a mount (an OR of MountRisk); 0 for local and sound network mounts.
int MountRisks(const MountEntry& mount);

// An English text naming the mount, its options or client at fault, what they cause and
// what to do instead; "" for 0.
std::string DescribeMountRisks(const MountEntry& mount, int risks);

// What a table needs to know of the mount holding its file.
struct MountOfFile {
  int risks = 0;          // MountRisks; 0 when mountinfo cannot tell
  std::string described;  // DescribeMountRisks
  std::string named;      // "the <type> mount <point>"; "" when mountinfo cannot tell
};

// The mount holding `path`, from one read of this process's mountinfo.
MountOfFile FindMountOfPath(const std::string& path);

// Test hook: FindMountOfPath reads `mountinfo` instead of the process's own while it is not
// empty, so that the tests can put a table on a network client they cannot mount.
void SetMountInfoForTesting(std::string mountinfo);

}  // namespace xb
