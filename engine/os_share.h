// ShareOs: an Os that forwards to another, counts the calls that would reach a file server
// and can add a fixed delay to each, to see how the engine behaves on a network share
// (a LAN round trip is about 0.2 ms). Clock and sleep calls stay local: neither counted nor
// delayed; unmapping is local too. For tests and benchmarks.
#ifndef VELLORIA_ENGINE_OS_SHARE_H_
#define VELLORIA_ENGINE_OS_SHARE_H_

#include <cstdint>

#include "engine/os_forwarding.h"

namespace xb {

class ShareOs final : public ForwardingOs {
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
  explicit ShareOs(Os* target, int delay_micros = 0)
      : ForwardingOs(target), delay_(delay_micros) {}
  const Counts& counts() const { return counts_; }
  void ResetCounts() { counts_ = Counts(); }

 private:
  Status Before(OsCall call) override;
  int delay_;
  Counts counts_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_SHARE_H_
