// NtxFile's pending mark: a count of the handles that may have table changes the index does
// not match yet, in a byte of the header. An exclusive handle sets and clears it alone; a
// sharing handle adds itself under the index lock and holds a read lock on the writer byte
// while counted, so that a mark no live handle stands behind is known to be left by a writer
// that stopped, and the index is rebuilt.
#include <algorithm>

#include "engine/ntx_file.h"
#include "engine/ntx_file_internal.h"
#include "engine/os.h"

namespace xb {
using namespace ntx;

Status NtxFile::WritePendingByte(uint8_t pending) {
  XB_RETURN_IF_ERROR(CurrentOs()->Write(fd_, &pending, 1, kPendingOffset));
  header_.pending = pending;
  return Status::Ok();
}

Status NtxFile::CountWriter(int delta) {
  XB_RETURN_IF_ERROR(WaitForLock(fd_, kIndexLockByte, /*shared=*/false, path_));
  uint8_t count = 0;
  size_t done = 0;
  Status s = CurrentOs()->Read(fd_, &count, 1, kPendingOffset, &done);
  if (s.ok()) s = WritePendingByte(uint8_t(std::clamp(int(count) + delta, 0, 255)));
  CurrentOs()->UnlockRange(fd_, kIndexLockByte, 1);
  return s;
}

Status NtxFile::MarkPending(bool sync) {
  if (marked_ || read_only_) return Status::Ok();
  if (!exclusive_) XB_RETURN_IF_ERROR(WaitForLock(fd_, kWriterLockByte, /*shared=*/true, path_));
  Status s = exclusive_ ? WritePendingByte(1) : CountWriter(+1);
  if (s.ok() && sync) s = CurrentOs()->Sync(fd_);
  if (!s.ok()) {
    if (!exclusive_) CurrentOs()->UnlockRange(fd_, kWriterLockByte, 1);
    return s;
  }
  marked_ = true;
  return Status::Ok();
}

Status NtxFile::ClearPending(bool sync) {
  if (!marked_ || broken_) return Status::Ok();
  Status s = sync ? CurrentOs()->Sync(fd_) : Status::Ok();
  if (s.ok()) s = exclusive_ ? WritePendingByte(0) : CountWriter(-1);
  if (!exclusive_) CurrentOs()->UnlockRange(fd_, kWriterLockByte, 1);
  marked_ = false;
  return s;
}

Status NtxFile::WriterAlive(bool* alive) {
  *alive = false;
  if (exclusive_) return Status::Ok();
  if (read_only_) return CurrentOs()->RangeHeld(fd_, kWriterLockByte, 1, alive);
  bool granted = false;
  XB_RETURN_IF_ERROR(CurrentOs()->LockRange(fd_, kWriterLockByte, 1, &granted));
  *alive = !granted;
  claimed_ = granted;
  return Status::Ok();
}

}  // namespace xb
