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

Status FaultyOs::Open(const std::string& path, bool read_only, bool create, int* fd) {
  if (ShouldFail()) return Injected();
  return target_->Open(path, read_only, create, fd);
}

Status FaultyOs::OpenSide(const std::string& path, SideOpen how, int* fd) {
  if (ShouldFail()) return Injected();
  return target_->OpenSide(path, how, fd);
}

Status FaultyOs::Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) {
  if (ShouldFail()) return Injected();
  return target_->Read(fd, buffer, size, offset, done);
}

Status FaultyOs::Write(int fd, const void* buffer, size_t size, uint64_t offset) {
  if (ShouldFail()) {
    if (tear_ && size > 1) target_->Write(fd, buffer, size / 2, offset);
    return Injected();
  }
  return target_->Write(fd, buffer, size, offset);
}

Status FaultyOs::Sync(int fd) {
  if (ShouldFail()) return Injected();
  return target_->Sync(fd);
}

Status FaultyOs::Truncate(int fd, uint64_t size) {
  if (ShouldFail()) return Injected();
  return target_->Truncate(fd, size);
}

Status FaultyOs::Size(int fd, uint64_t* size) {
  if (ShouldFail()) return Injected();
  return target_->Size(fd, size);
}

Status FaultyOs::Rename(const std::string& from, const std::string& to) {
  if (ShouldFail()) return Injected();
  return target_->Rename(from, to);
}

Status FaultyOs::Map(int fd, uint64_t offset, size_t length, const uint8_t** data) {
  if (ShouldFail()) return Injected();
  return target_->Map(fd, offset, length, data);
}

Status FaultyOs::LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) {
  if (ShouldFail()) return Injected();
  return target_->LockRange(fd, offset, length, granted);
}

Status FaultyOs::UnlockRange(int fd, uint64_t offset, uint64_t length) {
  if (ShouldFail()) return Injected();
  return target_->UnlockRange(fd, offset, length);
}

Status FaultyOs::ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) {
  if (ShouldFail()) return Injected();
  return target_->ShareRange(fd, offset, length, granted);
}

Status FaultyOs::RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) {
  if (ShouldFail()) return Injected();
  return target_->RangeHeld(fd, offset, length, held);
}

Status FaultyOs::LockFile(int fd, bool exclusive, bool* granted) {
  if (ShouldFail()) return Injected();
  return target_->LockFile(fd, exclusive, granted);
}

}  // namespace xb
