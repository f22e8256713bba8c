// File helpers for the document commands: delete, and a copy that is named only when whole
// and never replaces a file.
#include "platform/fileops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "base/paths.h"
#include "platform/officelock.h"

namespace velloria::fileops {
namespace {

// Closes a descriptor when it leaves scope.
class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }
  // Closes now and reports the error of close (write-back errors surface here).
  int Close() {
    int rc = close(m_fd);
    m_fd = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int m_fd;
};

int WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= written;
  }
  return 0;
}

int CopyBytes(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(from, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (int error = WriteAll(to, buffer, got)) return error;
  }
}

// Bytes, modification time, then a flush to disk: the copy is whole before it is named.
int FillCopy(int source, const struct stat& info, int out) {
  if (int error = CopyBytes(source, out)) return error;
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (futimens(out, times) != 0) return errno;
  return fsync(out) == 0 ? 0 : errno;
}

std::atomic<bool> g_unnamedFiles{true};

// The folder part of `path`, "." when it has none.
std::string FolderOf(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  return folder.empty() ? std::string(".") : folder;
}

// The file systems that have no unnamed files answer O_TMPFILE with one of these.
bool UnnamedFilesUnsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Copies into an unnamed file of the target's folder, then links it under the target's
// name (EEXIST when taken). ENOTSUP when the folder's file system has no unnamed files.
int CopyUnnamed(int source, const struct stat& info, const std::string& target) {
  if (!g_unnamedFiles) return ENOTSUP;
  Fd out(open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, info.st_mode & 0666));
  if (out.get() < 0) return UnnamedFilesUnsupported(errno) ? ENOTSUP : errno;
  if (int error = FillCopy(source, info, out.get())) return error;
  std::string self = "/proc/self/fd/" + std::to_string(out.get());
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    return errno == ENOENT ? ENOTSUP : errno;  // no /proc: take the named road
  }
  return out.Close();
}

// A new hidden file beside `target`, made exclusively and never through a link; its path
// goes to `path`.
int CreateHiddenTemporary(const std::string& target, mode_t mode, std::string& path) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned salt =
        static_cast<unsigned>(getpid()) * 2654435761u + counter++ * 40503u +
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", salt);
    path = paths::FolderPart(target) + ".~copia." + suffix;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Gives the finished temporary the target's name without replacing a file: a hard link,
// else (file systems without links) a rename that refuses an existing name.
int PublishTemporary(const std::string& temporary, const std::string& target) {
  if (link(temporary.c_str(), target.c_str()) == 0) return 0;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS && errno != EMLINK) return errno;
  if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  return errno;
}

// Copies into a hidden temporary beside the target, then publishes it; the temporary is
// removed on every path.
int CopyThroughTemporary(int source, const struct stat& info, const std::string& target) {
  std::string temporary;
  Fd out(CreateHiddenTemporary(target, info.st_mode & 0666, temporary));
  if (out.get() < 0) return errno;
  int error = FillCopy(source, info, out.get());
  int closeError = out.Close();
  if (!error) error = closeError;
  if (!error) error = PublishTemporary(temporary, target);
  unlink(temporary.c_str());
  return error;
}

}  // namespace

int DeleteRefusal(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (int reason = shell::DocumentHoldReason(paths::FolderPart(path), paths::NamePart(path)))
    return reason;
  if (access(FolderOf(path).c_str(), W_OK | X_OK) != 0) return errno;
  return 0;
}

int DeleteDocument(const std::string& path) {
  if (int reason = DeleteRefusal(path)) return reason;
  return unlink(path.c_str()) == 0 ? 0 : errno;
}

// Only a regular file is copied. The source is opened without blocking, so a named pipe or
// a device planted under a document's name cannot hang the window (nor a pipe's opening).
// A name already taken or too long is refused before any byte is copied.
int CopyDocument(const std::string& source, const std::string& target) {
  Fd in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat info;
  if (fstat(in.get(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  int error = CopyUnnamed(in.get(), info, target);
  if (error != ENOTSUP) return error;
  if (lseek(in.get(), 0, SEEK_SET) != 0) return errno;
  return CopyThroughTemporary(in.get(), info, target);
}

void SetUnnamedFilesForTesting(bool enabled) { g_unnamedFiles = enabled; }

}  // namespace velloria::fileops
