// ShareOs: an Os that forwards to another, counts the calls that would reach a file server
// and can add a fixed delay to each, to see how the engine behaves on a network share
// (a LAN round trip is about 0.2 ms). Clock and sleep calls stay local: neither counted nor
// delayed. For tests and benchmarks.
#ifndef VELLORIA_ENGINE_OS_SHARE_H_
#define VELLORIA_ENGINE_OS_SHARE_H_

#include <cstdint>

#include "engine/os.h"

namespace xb {

class ShareOs final : public Os {
 public:
  struct Counts {
    int64_t opens = 0;  // Open, OpenSide, Close, Exists, IsLink, Rename, Remove
    int64_t reads = 0;
    int64_t writes = 0;  // Write, Sync, Truncate
    int64_t sizes = 0;   // Size, Identify
    int64_t maps = 0;
    int64_t locks = 0;  // every lock, unlock and lock test
    int64_t Total() const { return opens + reads + writes + sizes + maps + locks; }
  };

  // delay_micros: added to every counted call.
  explicit ShareOs(Os* target, int delay_micros = 0) : target_(target), delay_(delay_micros) {}
  const Counts& counts() const { return counts_; }
  void ResetCounts() { counts_ = Counts(); }

  Status Open(const std::string& path, bool read_only, bool create, int* fd) override;
  Status OpenSide(const std::string& path, SideOpen how, int* fd) override;
  bool IsLink(const std::string& path) override;
  void Close(int fd) override;
  Status Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) override;
  Status Write(int fd, const void* buffer, size_t size, uint64_t offset) override;
  Status Sync(int fd) override;
  Status Truncate(int fd, uint64_t size) override;
  Status Size(int fd, uint64_t* size) override;
  Status Identify(int fd, FileId* id) override;
  bool Exists(const std::string& path) override;
  Status Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
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
  // Counts one call in *counter and waits the delay.
  void RoundTrip(int64_t* counter);
  Os* target_;
  int delay_;
  Counts counts_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_SHARE_H_
