// FaultyOs: an Os that forwards to another and fails a chosen call, for the fault-injection
// tests (fail the Nth countable call, once or from then on). Countable calls are the ones that
// change or read data: Open, OpenSide, Read, Write, Sync, Truncate, Size, Rename, Map and the
// lock calls.
#ifndef VELLORIA_ENGINE_OS_FAULT_H_
#define VELLORIA_ENGINE_OS_FAULT_H_

#include <cstdint>

#include "engine/os.h"

namespace xb {

class FaultyOs final : public Os {
 public:
  explicit FaultyOs(Os* target) : target_(target) {}

  // Fails call number n (1-based, counted from now); persistent fails every later call too.
  // n = 0 disables failures. With tear, a failing Write first writes the first half of its
  // bytes, as a write interrupted between two pages does.
  void FailCall(int64_t n, bool persistent, bool tear = false) {
    calls_ = 0;
    fail_at_ = n;
    persistent_ = persistent;
    tear_ = tear;
    failures_ = 0;
  }
  int64_t calls() const { return calls_; }
  int64_t failures() const { return failures_; }

  Status Open(const std::string& path, bool read_only, bool create, int* fd) override;
  Status OpenSide(const std::string& path, SideOpen how, int* fd) override;
  bool IsLink(const std::string& path) override { return target_->IsLink(path); }
  void Close(int fd) override { target_->Close(fd); }
  Status Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) override;
  Status Write(int fd, const void* buffer, size_t size, uint64_t offset) override;
  Status Sync(int fd) override;
  Status Truncate(int fd, uint64_t size) override;
  Status Size(int fd, uint64_t* size) override;
  Status Identify(int fd, FileId* id) override { return target_->Identify(fd, id); }
  bool Exists(const std::string& path) override { return target_->Exists(path); }
  Status Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override { target_->Remove(path); }
  Status Map(int fd, uint64_t offset, size_t length, const uint8_t** data) override;
  void Unmap(const uint8_t* data, size_t length) override { target_->Unmap(data, length); }
  Status LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) override;
  Status UnlockRange(int fd, uint64_t offset, uint64_t length) override;
  Status ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) override;
  Status RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) override;
  Status LockFile(int fd, bool exclusive, bool* granted) override;
  int64_t NowMillis() override { return target_->NowMillis(); }
  void SleepMillis(int millis) override { target_->SleepMillis(millis); }
  void Today(int* year, int* month, int* day) override { target_->Today(year, month, day); }

 private:
  // True when this call is to fail (and counts it).
  bool ShouldFail();
  Os* target_;
  int64_t calls_ = 0;
  int64_t fail_at_ = 0;
  bool persistent_ = false;
  bool tear_ = false;
  int64_t failures_ = 0;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_FAULT_H_
