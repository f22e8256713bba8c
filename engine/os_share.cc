// ShareOs: counts and delays each call that would go to the file server.
#include "engine/os_share.h"

#include <chrono>
#include <thread>

namespace xb {

Status ShareOs::Before(OsCall call) {
  switch (call) {
    case OsCall::kRead:
      ++counts_.reads;
      break;
    case OsCall::kWrite:
    case OsCall::kSync:
    case OsCall::kTruncate:
      ++counts_.writes;
      break;
    case OsCall::kSize:
    case OsCall::kIdentify:
      ++counts_.sizes;
      break;
    case OsCall::kMap:
      ++counts_.maps;
      break;
    case OsCall::kLock:
      ++counts_.locks;
      break;
    case OsCall::kUnmap:
      return Status::Ok();  // the mapping is local
    default:
      ++counts_.opens;
      break;
  }
  if (delay_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(delay_));
  return Status::Ok();
}

}  // namespace xb
