// The open-document guard: office lock files (with stale ones told apart), file locks
// and the read-only test.
#include "platform/officelock.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "base/paths.h"

namespace velloria::shell {
namespace {

std::string ChildPath(const std::string& folder, std::string_view name) {
  return paths::WithTrailingSeparator(folder) + std::string(name);
}

bool EntryExists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The first `limit` bytes of the file at `path`; "" when it cannot be read.
std::string FileHead(const std::string& path, size_t limit) {
  std::ifstream file(path, std::ios::binary);
  std::string text(limit, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  return text;
}

std::vector<std::string> LockFileFields(const std::string& path) {
  return OfficeLockFields(FileHead(path, 4096));
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::string UserName() {
  const passwd* user = getpwuid(geteuid());
  return user ? user->pw_name : std::string();
}

// True when a process whose descriptors we may read has the file `target` open.
bool AnyProcessHasOpen(const struct stat& target) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return true;  // cannot tell: keep the lock
  while (dirent* process = readdir(proc.get())) {
    if (process->d_name[0] < '1' || process->d_name[0] > '9') continue;
    std::string fdFolder = std::string("/proc/") + process->d_name + "/fd";
    std::unique_ptr<DIR, int (*)(DIR*)> fds(opendir(fdFolder.c_str()), closedir);
    if (!fds) continue;
    while (dirent* fd = readdir(fds.get())) {
      struct stat st;
      if (fd->d_name[0] == '.' || stat((fdFolder + "/" + fd->d_name).c_str(), &st) != 0) continue;
      if (st.st_dev == target.st_dev && st.st_ino == target.st_ino) return true;
    }
  }
  return false;
}

// A ".~lock.NAME#" file left behind: written here, by us, and nobody has the document
// open. A lock from another host or user, or one we cannot read, stays live.
bool IsStaleOfficeLock(const std::string& lockPath, const std::string& documentPath) {
  std::vector<std::string> fields = LockFileFields(lockPath);
  if (fields.size() < 3 || fields[2].empty() || fields[2] != HostName() || fields[1] != UserName())
    return false;
  struct stat document;
  if (stat(documentPath.c_str(), &document) != 0) return true;
  return !AnyProcessHasOpen(document);
}

bool HasLiveOfficeLock(const std::string& folder, const std::string& name) {
  std::string lockPath = ChildPath(folder, ".~lock." + name + "#");
  return EntryExists(lockPath) && !IsStaleOfficeLock(lockPath, ChildPath(folder, name));
}

// The Word owner file of `name`: "~$" followed by NAME or by NAME less its first one or two
// characters; "" when there is none.
std::string WordOwnerFile(const std::string& folder, const std::string& name) {
  for (size_t drop = 0; drop <= 2 && (drop == 0 || drop < name.size()); ++drop) {
    std::string path = ChildPath(folder, "~$" + name.substr(drop));
    if (EntryExists(path)) return path;
  }
  return {};
}

bool HeldByRangeLock(int fd) {
  struct flock probe;
  std::memset(&probe, 0, sizeof probe);
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file
  return fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

bool HeldByFlock(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
    return false;
  }
  return errno == EWOULDBLOCK;
}

std::optional<LockFile> FoundLockFile(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  return LockFile{path, st.st_dev, st.st_ino, st.st_mtim};
}

bool StillTheSame(const LockFile& file) {
  std::optional<LockFile> now = FoundLockFile(file.path);
  return now && now->device == file.device && now->inode == file.inode &&
         now->modified.tv_sec == file.modified.tv_sec && now->modified.tv_nsec == file.modified.tv_nsec;
}

// The hidden name beside it under which a lock file waits while the user acts on its
// document; no lock file test and no listing takes it for a lock file.
std::string AsidePath(const LockFile& file) {
  return paths::FolderPart(file.path) + ".~aside" + paths::NamePart(file.path);
}

// Puts a set-aside lock file back under its name, unless a new lock file has taken it
// meanwhile (then ours goes).
void PutBack(const LockFile& file) {
  std::string aside = AsidePath(file);
  if (renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, file.path.c_str(), RENAME_NOREPLACE) == 0) return;
  // File systems without the no-replace rename answer EINVAL: look, then rename.
  if (errno != EEXIST && !EntryExists(file.path) && std::rename(aside.c_str(), file.path.c_str()) == 0) return;
  unlink(aside.c_str());
}

// True when a process of this computer has the document at `path` open or locked; true
// also when it cannot be told.
bool HeldHere(const std::string& path) {
  struct stat document;
  if (stat(path.c_str(), &document) != 0) return true;
  return IsFileLocked(path) || AnyProcessHasOpen(document);
}

}  // namespace

std::optional<time_t> LockFileTime(const std::string& folder, std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::string full(name);
  std::string path = HasLiveOfficeLock(folder, full) ? ChildPath(folder, ".~lock." + full + "#")
                                                     : WordOwnerFile(folder, full);
  std::optional<LockFile> file = path.empty() ? std::nullopt : FoundLockFile(path);
  if (!file) return std::nullopt;
  return file->modified.tv_sec;
}

std::optional<ForeignLock> ForeignLockOf(const std::string& folder, std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::string full(name);
  ForeignLock lock;
  if (HasLiveOfficeLock(folder, full)) {
    std::string path = ChildPath(folder, ".~lock." + full + "#");
    std::vector<std::string> fields = LockFileFields(path);
    // A lock file written here, or naming no computer, is no other computer's.
    if (fields.size() < 3 || fields[2].empty() || fields[2] == HostName()) return std::nullopt;
    if (std::optional<LockFile> file = FoundLockFile(path)) lock.files.push_back(*file);
  }
  std::string owner = WordOwnerFile(folder, full);
  if (std::optional<LockFile> file = owner.empty() ? std::nullopt : FoundLockFile(owner)) {
    lock.files.push_back(*file);
  }
  if (lock.files.empty() || HeldHere(ChildPath(folder, full))) return std::nullopt;
  std::sort(lock.files.begin(), lock.files.end(), [](const LockFile& a, const LockFile& b) {
    return a.modified.tv_sec != b.modified.tv_sec ? a.modified.tv_sec > b.modified.tv_sec
                                                  : a.modified.tv_nsec > b.modified.tv_nsec;
  });
  lock.since = lock.files.front().modified.tv_sec;
  lock.holder = DocumentHolderOf(folder, name).value_or(DocumentHolder{});
  return lock;
}

int SetLockFilesAside(const ForeignLock& lock) {
  for (size_t i = 0; i < lock.files.size(); ++i) {
    const LockFile& file = lock.files[i];
    int error = StillTheSame(file) ? 0 : EBUSY;
    if (!error && std::rename(file.path.c_str(), AsidePath(file).c_str()) != 0) error = errno;
    if (error) {
      std::for_each(lock.files.begin(), lock.files.begin() + static_cast<std::ptrdiff_t>(i), PutBack);
      return error;
    }
  }
  return 0;
}

// A set-aside file that cannot be removed stays, hidden and counting for nothing.
void DropLockFilesSetAside(const ForeignLock& lock) {
  for (const LockFile& file : lock.files) unlink(AsidePath(file).c_str());
}

void RestoreLockFilesSetAside(const ForeignLock& lock) {
  for (const LockFile& file : lock.files) PutBack(file);
}

std::vector<std::string> OfficeLockFields(std::string_view text) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      fields.back() += text[++i];
    } else if (text[i] == ',') {
      fields.emplace_back();
    } else if (text[i] == ';') {
      break;
    } else {
      fields.back() += text[i];
    }
  }
  return fields;
}

std::optional<DocumentHolder> DocumentHolderOf(const std::string& folder, std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::string full(name);
  if (HasLiveOfficeLock(folder, full)) {
    std::vector<std::string> fields = LockFileFields(ChildPath(folder, ".~lock." + full + "#"));
    fields.resize(std::max<size_t>(fields.size(), 3));
    DocumentHolder holder{fields[0].empty() ? fields[1] : fields[0], fields[2]};
    if (!holder.user.empty() || !holder.host.empty()) return holder;
  }
  std::string owner = WordOwnerFile(folder, full);
  std::string user = owner.empty() ? std::string() : OwnerFileUserName(FileHead(owner, 54));
  if (user.empty()) return std::nullopt;
  return DocumentHolder{user, {}};
}

std::string OwnerFileUserName(std::string_view text) {
  size_t length = text.empty() ? 0 : static_cast<unsigned char>(text[0]);
  if (length == 0 || length > 53 || text.size() < length + 1) return {};
  return std::string(text.substr(1, length));
}

bool IsOwnerFileName(std::string_view name) { return name.size() > 2 && name.substr(0, 2) == "~$"; }

bool IsDocumentOpen(const std::string& folder, std::string_view name) {
  if (name.empty()) return false;
  std::string full(name);
  return HasLiveOfficeLock(folder, full) || !WordOwnerFile(folder, full).empty();
}

bool IsFileLocked(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool locked = HeldByRangeLock(fd) || HeldByFlock(fd);
  close(fd);
  return locked;
}

int DocumentHoldReason(const std::string& folder, std::string_view name) {
  std::string path = ChildPath(folder, name);
  if (IsDocumentOpen(folder, name) || IsFileLocked(path)) return EBUSY;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  // No write bit at all counts too, so that a read-only document stays even for root.
  bool readOnly = (st.st_mode & 0222) == 0 || access(path.c_str(), W_OK) != 0;
  return readOnly ? EACCES : 0;
}

}  // namespace velloria::shell
