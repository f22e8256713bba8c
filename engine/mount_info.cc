// mountinfo parsing and the mount options that break sharing a table between machines.
#include "engine/mount_info.h"

#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace xb {
namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes space, tab, newline and backslash of a path as \ooo.
std::string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && IsOctal(text[i + 1]) && IsOctal(text[i + 2]) &&
        IsOctal(text[i + 3])) {
      out += char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasOption(std::string_view options, std::string_view wanted) {
  size_t start = 0;
  while (start <= options.size()) {
    size_t end = options.find(',', start);
    if (end == std::string_view::npos) end = options.size();
    if (options.substr(start, end - start) == wanted) return true;
    start = end + 1;
  }
  return false;
}

// Whether `point` is `path` or one of its parent folders.
bool Contains(std::string_view point, std::string_view path) {
  if (point == "/") return !path.empty() && path[0] == '/';
  return path.substr(0, point.size()) == point && (path.size() == point.size() || path[point.size()] == '/');
}

bool IsCifs(const MountEntry& m) { return m.fs_type == "cifs" || m.fs_type == "smb3"; }
bool IsNfs(const MountEntry& m) { return m.fs_type == "nfs" || m.fs_type == "nfs4"; }

std::string Join(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
  return out;
}

// FUSE file systems name themselves "fuse.<program>"; plain "fuse" gives no program.
bool IsFuse(const MountEntry& m) { return m.fs_type == "fuse" || m.fs_type.starts_with("fuse."); }

std::string_view FuseProgram(const MountEntry& m) {
  return m.fs_type.size() > 5 ? std::string_view(m.fs_type).substr(5) : std::string_view();
}

// Network clients in user space that take POSIX and flock locks in the local kernel only and
// keep their own caches: two machines on one share never see each other's locks.
bool IsLocalLockingFuseClient(std::string_view program) {
  for (std::string_view known : {"smbnetfs", "gvfsd-fuse", "sshfs", "rclone", "kio-fuse", "curlftpfs",
                                 "s3fs", "davfs2"}) {
    if (program == known) return true;
  }
  return false;
}

// Cluster file systems whose FUSE clients pass locks on to their servers.
bool IsServerLockingFuseClient(std::string_view program) {
  for (std::string_view known : {"glusterfs", "ceph-fuse", "ceph", "lustre"}) {
    if (program == known) return true;
  }
  return false;
}

int FuseRisks(const MountEntry& m) {
  std::string_view program = FuseProgram(m);
  if (IsServerLockingFuseClient(program)) return 0;
  if (IsLocalLockingFuseClient(program)) return kMountLocksLocal | kMountCachesData;
  return kMountUnknown;
}

std::string OptionsAtFault(const MountEntry& m, int risks) {
  std::vector<std::string> options;
  for (const char* o : {"nobrl", "nolock", "local_lock=all", "local_lock=posix"}) {
    if ((risks & kMountLocksLocal) && HasOption(m.options, o)) options.push_back(o);
  }
  for (const char* o : {"cache=loose", "nocto"}) {
    if ((risks & kMountCachesData) && HasOption(m.options, o)) options.push_back(o);
  }
  return Join(options);
}

// What an administrator does instead, for the kind of mount at fault.
std::string Remedy(const MountEntry& m) {
  if (IsNfs(m)) return "mount it without these options (NFSv4, or NFSv3 with the lock manager)";
  if (IsCifs(m)) return "mount it without these options (the defaults cache=strict and byte-range locks)";
  return "mount the share with the kernel's CIFS client (mount -t cifs, default options) or NFS on every machine";
}

// The path with symbolic links resolved, as mountinfo names mount points; the path itself
// when it cannot be resolved.
std::string RealPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string out(resolved);
  std::free(resolved);
  return out;
}

}  // namespace

bool ParseMountInfoLine(std::string_view line, MountEntry* out) {
  std::vector<std::string_view> f = SplitFields(line);
  size_t dash = 6;
  while (dash < f.size() && f[dash] != "-") ++dash;
  if (f.size() < 6 || dash + 3 >= f.size() || f[4].empty() || f[4][0] != '/') return false;
  out->mount_point = Unescape(f[4]);
  out->fs_type = std::string(f[dash + 1]);
  out->options = std::string(f[5]) + "," + std::string(f[dash + 3]);
  return true;
}

bool FindMount(std::string_view mountinfo, std::string_view path, MountEntry* out) {
  bool found = false;
  size_t start = 0;
  while (start < mountinfo.size()) {
    size_t end = mountinfo.find('\n', start);
    if (end == std::string_view::npos) end = mountinfo.size();
    MountEntry entry;
    if (ParseMountInfoLine(mountinfo.substr(start, end - start), &entry) &&
        Contains(entry.mount_point, path) &&
        (!found || entry.mount_point.size() >= out->mount_point.size())) {
      *out = std::move(entry);
      found = true;
    }
    start = end + 1;
  }
  return found;
}

int MountRisks(const MountEntry& m) {
  int risks = 0;
  if (IsFuse(m)) return FuseRisks(m);
  if (IsCifs(m)) {
    if (HasOption(m.options, "nobrl")) risks |= kMountLocksLocal;
    if (HasOption(m.options, "cache=loose")) risks |= kMountCachesData;
  } else if (IsNfs(m)) {
    if (HasOption(m.options, "nolock") || HasOption(m.options, "local_lock=all") ||
        HasOption(m.options, "local_lock=posix")) {
      risks |= kMountLocksLocal;
    }
    if (HasOption(m.options, "nocto")) risks |= kMountCachesData;
  }
  return risks;
}

std::string DescribeMountRisks(const MountEntry& m, int risks) {
  if (risks == 0) return "";
  std::string text = "the " + m.fs_type + " mount " + m.mount_point;
  if (risks & kMountUnknown) {
    return text + " is a FUSE file system of a kind that cannot be told to pass record and file "
                  "locks on to a file server, so two machines sharing it may write over each other; " +
           Remedy(m);
  }
  std::vector<std::string> effects;
  if (risks & kMountLocksLocal) {
    effects.push_back("record and file locks stay on this machine, so two machines can write over each other");
  }
  if (risks & kMountCachesData) {
    effects.push_back("this machine may read data that another machine has changed");
  }
  text += IsFuse(m) ? " is a network client in user space (" + std::string(FuseProgram(m)) + ")"
                    : " has " + OptionsAtFault(m, risks);
  text += ": ";
  for (size_t i = 0; i < effects.size(); ++i) text += (i ? "; " : "") + effects[i];
  return text + "; " + Remedy(m);
}

// Read with plain system calls, not through the Os layer: it is no office file, and faults
// injected into a table's calls must not land on it.
static std::string& MountInfoForTesting() {
  static std::string text;
  return text;
}

void SetMountInfoForTesting(std::string mountinfo) { MountInfoForTesting() = std::move(mountinfo); }

static std::string ReadMountInfo() {
  if (!MountInfoForTesting().empty()) return MountInfoForTesting();
  std::string text;
  int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char chunk[8192];
  ssize_t done = 0;
  // A proc file has no size: it is read until a read returns nothing.
  while ((done = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, size_t(done));
  ::close(fd);
  return text;
}

MountOfFile FindMountOfPath(const std::string& path) {
  MountOfFile found;
  MountEntry mount;
  if (!FindMount(ReadMountInfo(), RealPath(path), &mount)) return found;
  found.risks = MountRisks(mount);
  found.described = DescribeMountRisks(mount, found.risks);
  found.named = "the " + mount.fs_type + " mount " + mount.mount_point;
  return found;
}

}  // namespace xb
