// File helpers for the document commands: delete and copy-without-overwrite.
#include "platform/fileops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/officelock.h"
#include "base/paths.h"

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

// The target is made new (O_EXCL) and never through a symbolic link: a link in a folder all
// staff can write to must not make the copy land elsewhere.
int CopyInto(int source, const struct stat& info, const std::string& target) {
  Fd out(open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
              info.st_mode & 0666));
  if (out.get() < 0) return errno;
  int error = CopyBytes(source, out.get());
  if (!error) {
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (futimens(out.get(), times) != 0) error = errno;
  }
  int closeError = out.Close();
  if (!error) error = closeError;
  if (error) unlink(target.c_str());
  return error;
}

}  // namespace

int DeleteDocument(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (int reason = shell::DocumentHoldReason(paths::FolderPart(path), paths::NamePart(path)))
    return reason;
  return unlink(path.c_str()) == 0 ? 0 : errno;
}

// Only a regular file is copied. The source is opened without blocking, so a named pipe or
// a device planted under a document's name cannot hang the window (nor a pipe's opening).
int CopyDocument(const std::string& source, const std::string& target) {
  Fd in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat info;
  if (fstat(in.get(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  return CopyInto(in.get(), info, target);
}

}  // namespace velloria::fileops
