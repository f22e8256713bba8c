// SharedFile: the one descriptor this process keeps per table or memo file, shared by every
// work area that opens it, with the bookkeeping of which area holds which lock. Closing one
// area never drops another area's locks, and two areas of the process exclude each other as
// two processes do. Locks are open-file-description byte-range locks at the Clipper offsets.
// Single-threaded, like the whole engine.
#ifndef VELLORIA_ENGINE_SHARED_FILE_H_
#define VELLORIA_ENGINE_SHARED_FILE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/os.h"
#include "engine/status.h"

namespace xb {

// The lock offset of the Clipper convention: a table's header lock byte, and the byte an
// index's writer locks while it updates the tree.
inline constexpr uint64_t kLockBase = 1000000000ULL;
inline constexpr uint64_t kFileLockLength = 1000000000ULL;  // file lock from kLockBase + 1
// How often a lock held elsewhere is asked for again while waiting.
inline constexpr int kLockPollMillis = 20;

// Calls attempt until it sets *granted or timeout_ms have passed, asking every
// kLockPollMillis. Errors of attempt end the wait.
Status RetryLock(int timeout_ms, bool* granted, const std::function<Status(bool*)>& attempt);

// Opens path to write it anew: created when missing, never through a symbolic link (refused
// with a text saying so), held with an exclusive whole-file lock, then emptied. A file that
// another opener holds is refused before anything is changed. *fd is the caller's to close.
Status OpenSideFileAlone(const std::string& path, int* fd);

class SharedFile {
 public:
  ~SharedFile();
  // Opens path for a work area: exclusive takes the whole file (flock LOCK_EX; refused while
  // any other opener, in this process or another, has it); otherwise shared (LOCK_SH).
  // *read_only is set when the file could only be opened for reading; *write_refusal then
  // gets the refused writable open's text when there was one.
  static Status Acquire(const std::string& path, bool exclusive, bool want_write,
                        std::shared_ptr<SharedFile>* out, bool* read_only,
                        std::string* write_refusal = nullptr);
  // Creates path, or empties the file there, and holds it exclusively (see
  // OpenSideFileAlone).
  static Status Create(const std::string& path, std::shared_ptr<SharedFile>* out);

  int fd() const { return fd_; }
  bool exclusive() const { return exclusive_; }
  bool writable() const { return writable_; }
  const std::string& path() const { return path_; }
  // Bumped at every write through this descriptor, so read-ahead copies know they are stale.
  uint64_t generation() const { return generation_; }

  Status Read(void* buffer, size_t size, uint64_t offset, size_t* done);
  // Inline: the record writes' common step.
  Status Write(const void* buffer, size_t size, uint64_t offset) {
    if (!writable_) return ReadOnlyError();
    ++generation_;
    return CurrentOs()->Write(fd_, buffer, size, offset);
  }
  Status Size(uint64_t* size);

  // Record lock for area (retrying for timeout_ms); *granted false when another holds it.
  Status LockRecord(int area, uint32_t record, int timeout_ms, bool* granted);
  Status UnlockRecord(int area, uint32_t record);
  Status LockWholeFile(int area, int timeout_ms, bool* granted);
  // Releases every lock area holds.
  Status UnlockAll(int area);
  bool HoldsRecord(int area, uint32_t record) const;
  bool HoldsFile(int area) const { return exclusive_ || file_lock_area_ == area; }
  // Record numbers area holds, ascending.
  std::vector<uint32_t> RecordsHeldBy(int area) const;
  // The header lock that serialises appends between processes.
  Status LockHeader(int timeout_ms, bool* granted);
  Status UnlockHeader();

  // Swaps in a new descriptor for the same path (after the file was replaced by a rename).
  void ReplaceDescriptor(int fd);

 private:
  Status ReadOnlyError() const;
  SharedFile(std::string path, int fd, FileId id, bool exclusive, bool writable)
      : path_(std::move(path)), fd_(fd), id_(id), exclusive_(exclusive), writable_(writable) {}

  std::string path_;
  int fd_;
  FileId id_;
  bool exclusive_;
  bool writable_;
  uint64_t generation_ = 0;
  std::map<uint32_t, int> record_locks_;  // record -> area
  int file_lock_area_ = 0;
  int header_lock_depth_ = 0;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_SHARED_FILE_H_
