// POSIX implementation of the engine's Os: pread/pwrite, fsync, ftruncate, readdir, OFD fcntl
// locks, flock, the monotonic clock. Interrupted calls are retried; errors carry errno's text.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/os.h"

namespace xb {
namespace {

Status ErrnoStatus(const char* what, int err) {
  return Status::Error(XB_ERR_IO, std::string(what) + ": " + std::strerror(err));
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int OpenRetrying(const std::string& path, int flags) {
  int result;
  do {
    result = ::open(path.c_str(), flags, 0666);
  } while (result < 0 && errno == EINTR);
  return result;
}

// The failure of an open, saying plainly when a link or another file was in the way.
Status OpenError(const std::string& path, int err) {
  std::string why = std::strerror(err);
  if (err == ELOOP && IsSymbolicLink(path)) why = "it is a symbolic link, which is not followed";
  if (err == EEXIST) why = "a file or link of that name is in the way";
  if (err == EOPNOTSUPP) why = "the file system does not open files this way (" + why + ")";
  return Status::Error(XB_ERR_OPEN, "Cannot open " + path + ": " + why);
}

// Refuses what a side file must not be: anything but a regular file with one name.
Status CheckPlainFile(const std::string& path, int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return ErrnoStatus("Stat error", errno);
  const char* refusal = !S_ISREG(st.st_mode) ? "it is not a plain file"
                        : st.st_nlink > 1    ? "it has other hard links"
                                             : nullptr;
  if (refusal != nullptr) return Status::Error(XB_ERR_OPEN, "Cannot open " + path + ": " + refusal);
  return Status::Ok();
}

class PosixOsImpl final : public Os {
 public:
  Status Open(const std::string& path, bool read_only, bool create, int* fd) override {
    int flags = (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    if (create) flags |= O_CREAT | O_TRUNC | O_NOFOLLOW;
    int result = OpenRetrying(path, flags);
    if (result < 0) return OpenError(path, errno);
    *fd = result;
    return Status::Ok();
  }

  Status OpenSide(const std::string& path, SideOpen how, int* fd) override {
    // Non-blocking, so that a pipe put at the name cannot stall the open.
    int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    if (how != SideOpen::kExisting) flags |= O_CREAT;
    if (how == SideOpen::kNew) flags |= O_EXCL;
    int result = OpenRetrying(path, flags);
    if (result < 0) return OpenError(path, errno);
    Status s = CheckPlainFile(path, result);
    if (s.ok() && ::fcntl(result, F_SETFL, ::fcntl(result, F_GETFL) & ~O_NONBLOCK) != 0)
      s = ErrnoStatus("Open error", errno);
    if (!s.ok()) {
      ::close(result);
      return s;
    }
    *fd = result;
    return Status::Ok();
  }

  bool IsLink(const std::string& path) override { return IsSymbolicLink(path); }

  Status RealPath(const std::string& path, std::string* real) override {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return ErrnoStatus("Cannot follow the link", errno);
    real->assign(resolved);
    std::free(resolved);
    return Status::Ok();
  }

  void Close(int fd) override { ::close(fd); }

  Status Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) override {
    size_t total = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (total < size) {
      ssize_t n = ::pread(fd, bytes + total, size - total, static_cast<off_t>(offset + total));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ErrnoStatus("Read error", errno);
      if (n == 0) break;
      total += static_cast<size_t>(n);
    }
    *done = total;
    return Status::Ok();
  }

  Status Write(int fd, const void* buffer, size_t size, uint64_t offset) override {
    size_t total = 0;
    const auto* bytes = static_cast<const char*>(buffer);
    while (total < size) {
      ssize_t n = ::pwrite(fd, bytes + total, size - total, static_cast<off_t>(offset + total));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return ErrnoStatus("Write error", errno);
      total += static_cast<size_t>(n);
    }
    return Status::Ok();
  }

  Status Sync(int fd) override {
    if (::fsync(fd) != 0) return ErrnoStatus("Sync error", errno);
    return Status::Ok();
  }

  Status Truncate(int fd, uint64_t size) override {
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) return ErrnoStatus("Truncate error", errno);
    return Status::Ok();
  }

  Status Size(int fd, uint64_t* size) override {
    struct stat st;
    if (::fstat(fd, &st) != 0) return ErrnoStatus("Stat error", errno);
    *size = static_cast<uint64_t>(st.st_size);
    return Status::Ok();
  }

  Status Identify(int fd, FileId* id) override {
    struct stat st;
    if (::fstat(fd, &st) != 0) return ErrnoStatus("Stat error", errno);
    id->device = static_cast<uint64_t>(st.st_dev);
    id->inode = static_cast<uint64_t>(st.st_ino);
    return Status::Ok();
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  Status ReadFolder(const std::string& folder, std::vector<std::string>* names) override {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return ErrnoStatus("Folder read error", errno);
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
    }
    return Status::Ok();
  }

  Status Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return ErrnoStatus("Rename error", errno);
    return Status::Ok();
  }

  void Remove(const std::string& path) override { ::unlink(path.c_str()); }

  Status Map(int fd, uint64_t offset, size_t length, const uint8_t** data) override {
    void* p = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(offset));
    if (p == MAP_FAILED) return ErrnoStatus("Map error", errno);
    *data = static_cast<const uint8_t*>(p);
    return Status::Ok();
  }

  void Unmap(const uint8_t* data, size_t length) override {
    ::munmap(const_cast<uint8_t*>(data), length);
  }

  Status LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) override {
    return RangeLock(fd, F_WRLCK, offset, length, granted);
  }

  Status UnlockRange(int fd, uint64_t offset, uint64_t length) override {
    bool granted = false;
    return RangeLock(fd, F_UNLCK, offset, length, &granted);
  }

  Status ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) override {
    return RangeLock(fd, F_RDLCK, offset, length, granted);
  }

  Status RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) override {
    struct flock lock = RangeOf(F_WRLCK, offset, length);
    int result;
    do {
      result = ::fcntl(fd, F_OFD_GETLK, &lock);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return ErrnoStatus("Lock error", errno);
    *held = lock.l_type != F_UNLCK;
    return Status::Ok();
  }

  Status LockFile(int fd, bool exclusive, bool* granted) override {
    int result;
    do {
      result = ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    *granted = result == 0;
    if (result != 0 && errno != EWOULDBLOCK) return ErrnoStatus("Lock error", errno);
    return Status::Ok();
  }

  int64_t NowMillis() override {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  void SleepMillis(int millis) override {
    struct timespec ts {
      millis / 1000, (millis % 1000) * 1000000L
    };
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }

  void Today(int* year, int* month, int* day) override {
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    *year = local.tm_year + 1900;
    *month = local.tm_mon + 1;
    *day = local.tm_mday;
  }

 private:
  static struct flock RangeOf(short type, uint64_t offset, uint64_t length) {
    struct flock lock;
    std::memset(&lock, 0, sizeof lock);
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(offset);
    lock.l_len = static_cast<off_t>(length);
    return lock;
  }

  static Status RangeLock(int fd, short type, uint64_t offset, uint64_t length, bool* granted) {
    struct flock lock = RangeOf(type, offset, length);
    int result;
    do {
      result = ::fcntl(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    *granted = result == 0;
    if (result != 0 && errno != EAGAIN && errno != EACCES) return ErrnoStatus("Lock error", errno);
    return Status::Ok();
  }
};

constinit PosixOsImpl g_posix_os;

}  // namespace

constinit Os* g_current_os = &g_posix_os;

Os* PosixOs() { return &g_posix_os; }

void SetOsForTesting(Os* os) { g_current_os = os != nullptr ? os : &g_posix_os; }

}  // namespace xb
