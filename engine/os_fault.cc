// FaultyOs: forwards every call to the wrapped Os unless it is the call chosen to fail.
#include "engine/os_fault.h"

namespace xb {
namespace {
Status Injected() { return Status::Error(XB_ERR_IO, "Injected I/O failure"); }
}  // namespace

bool FaultyOs::ShouldFail() {
  ++calls_;
  bool fail = fail_at_ > 0 && (calls_ == fail_at_ || (persistent_ && calls_ > fail_at_));
  if (fail) ++failures_;
  return fail;
}

Status FaultyOs::Before(OsCall call) {
  switch (call) {
    case OsCall::kClose:
    case OsCall::kIdentify:
    case OsCall::kExists:
    case OsCall::kIsLink:
    case OsCall::kRemove:
    case OsCall::kUnmap:
    case OsCall::kWrite:  // counted by Write itself
      return Status::Ok();
    default:
      return ShouldFail() ? Injected() : Status::Ok();
  }
}

Status FaultyOs::Write(int fd, const void* buffer, size_t size, uint64_t offset) {
  if (ShouldFail()) {
    if (tear_ && size > 1) target_->Write(fd, buffer, size / 2, offset);
    return Injected();
  }
  return target_->Write(fd, buffer, size, offset);
}

void FaultyOs::Today(int* year, int* month, int* day) {
  if (today_[0] == 0) return target_->Today(year, month, day);
  *year = today_[0];
  *month = today_[1];
  *day = today_[2];
}

}  // namespace xb
