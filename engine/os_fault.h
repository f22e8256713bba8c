// FaultyOs: an Os that forwards to another and fails a chosen call, for the fault-injection
// tests (fail the Nth countable call, once or from then on). Countable calls are the ones that
// change or read data: Open, OpenSide, Read, Write, Sync, Truncate, Size, ReadFolder, Rename,
// Map and the lock calls. The calendar can be fixed to a chosen day.
#ifndef VELLORIA_ENGINE_OS_FAULT_H_
#define VELLORIA_ENGINE_OS_FAULT_H_

#include <cstdint>

#include "engine/os_forwarding.h"

namespace xb {

class FaultyOs final : public ForwardingOs {
 public:
  explicit FaultyOs(Os* target) : ForwardingOs(target) {}

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
  // Today() answers this day from now on.
  void FixToday(int year, int month, int day) {
    today_[0] = year;
    today_[1] = month;
    today_[2] = day;
  }

  // Write is its own: a failing write may tear.
  Status Write(int fd, const void* buffer, size_t size, uint64_t offset) override;
  void Today(int* year, int* month, int* day) override;

 private:
  Status Before(OsCall call) override;
  // True when this call is to fail (and counts it).
  bool ShouldFail();
  int64_t calls_ = 0;
  int64_t fail_at_ = 0;
  bool persistent_ = false;
  bool tear_ = false;
  int64_t failures_ = 0;
  int today_[3] = {0, 0, 0};  // year, month, day; year 0: the target's calendar
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_FAULT_H_
