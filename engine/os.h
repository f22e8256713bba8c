// The engine's window on the operating system: files, folders, byte-range and whole-file
// locks, the clock and the calendar. Every system call the engine makes passes through an
// Os, so tests can wrap the real one to fail or observe a chosen call. The process-wide
// instance is read on each call.
#ifndef VELLORIA_ENGINE_OS_H_
#define VELLORIA_ENGINE_OS_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace xb {

struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// How Os::OpenSide treats the name it is given.
enum class SideOpen {
  kExisting,      // the file must be there
  kOpenOrCreate,  // created when missing
  kNew,           // created; fails when anything has that name (O_EXCL)
};

class Os {
 public:
  virtual ~Os() = default;
  // Opens path; create makes a new file (truncating an existing one), never through a
  // symbolic link at path. Read-write unless read_only. Without create, links are followed:
  // a table or index may be a link the administrator made. On success *fd is a descriptor
  // the caller closes with Close.
  virtual Status Open(const std::string& path, bool read_only, bool create, int* fd) = 0;
  // Opens, read-write, a file the engine keeps beside a table (the record journal, a
  // temporary file, a table, memo or index being created) without following a symbolic
  // link: a link at path, anything but a regular file, or a file with other hard links is
  // refused with a text that says so. On success *fd is a descriptor the caller closes.
  virtual Status OpenSide(const std::string& path, SideOpen how, int* fd) = 0;
  // True when path itself is a symbolic link (it is not followed).
  virtual bool IsLink(const std::string& path) = 0;
  // The absolute path of the file path names, every symbolic link followed.
  virtual Status RealPath(const std::string& path, std::string* real) = 0;
  virtual void Close(int fd) = 0;
  // Reads up to size bytes at offset; *done gets the bytes read (short only at end of file).
  virtual Status Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) = 0;
  // Writes all size bytes at offset.
  virtual Status Write(int fd, const void* buffer, size_t size, uint64_t offset) = 0;
  virtual Status Sync(int fd) = 0;
  virtual Status Truncate(int fd, uint64_t size) = 0;
  virtual Status Size(int fd, uint64_t* size) = 0;
  virtual Status Identify(int fd, FileId* id) = 0;
  // True when path names an existing file or folder (symbolic links followed).
  virtual bool Exists(const std::string& path) = 0;
  // Appends the names in folder to *names ("." and ".." left out).
  virtual Status ReadFolder(const std::string& folder, std::vector<std::string>* names) = 0;
  // Renames from over to (atomic replace on one file system).
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
  // Maps length bytes of fd from offset (a multiple of the page size) for reading.
  virtual Status Map(int fd, uint64_t offset, size_t length, const uint8_t** data) = 0;
  virtual void Unmap(const uint8_t* data, size_t length) = 0;
  // Open-file-description write lock on [offset, offset + length); *granted is false when
  // another holder has a conflicting lock (not an error).
  virtual Status LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) = 0;
  virtual Status UnlockRange(int fd, uint64_t offset, uint64_t length) = 0;
  // Open-file-description read lock on the range: any number of holders, none with a write
  // lock; *granted as above. A write lock of the same description over it converts it.
  virtual Status ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) = 0;
  // *held is true when another open file description has a lock on a byte of the range.
  // Works on descriptors opened read-only.
  virtual Status RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) = 0;
  // Non-blocking whole-file lock (flock): exclusive or shared; *granted as above.
  virtual Status LockFile(int fd, bool exclusive, bool* granted) = 0;
  // Monotonic milliseconds, for lock timeouts.
  virtual int64_t NowMillis() = 0;
  virtual void SleepMillis(int millis) = 0;
  // Calendar date today (local time).
  virtual void Today(int* year, int* month, int* day) = 0;
};

// The POSIX implementation.
Os* PosixOs();
// The Os the engine uses now (PosixOs unless replaced); inline, as every file call asks it.
extern Os* g_current_os;
inline Os* CurrentOs() { return g_current_os; }
// path with each component missing as spelled found ignoring letter case, asking
// CurrentOs() (see velloria::paths::ResolveCaseInsensitive).
std::string ResolvePath(const std::string& path);
// Replaces the process-wide Os (nullptr restores PosixOs). The caller keeps ownership and
// must keep it alive while the engine uses it. REQUIRES: no table open.
void SetOsForTesting(Os* os);

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_H_
