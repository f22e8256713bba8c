// ShareOs: counts and delays each call that would go to the file server, then forwards it.
#include "engine/os_share.h"

#include <chrono>
#include <thread>

namespace xb {

void ShareOs::RoundTrip(int64_t* counter) {
  ++*counter;
  if (delay_ > 0) std::this_thread::sleep_for(std::chrono::microseconds(delay_));
}

Status ShareOs::Open(const std::string& path, bool read_only, bool create, int* fd) {
  RoundTrip(&counts_.opens);
  return target_->Open(path, read_only, create, fd);
}

Status ShareOs::OpenSide(const std::string& path, SideOpen how, int* fd) {
  RoundTrip(&counts_.opens);
  return target_->OpenSide(path, how, fd);
}

bool ShareOs::IsLink(const std::string& path) {
  RoundTrip(&counts_.opens);
  return target_->IsLink(path);
}

void ShareOs::Close(int fd) {
  RoundTrip(&counts_.opens);
  target_->Close(fd);
}

Status ShareOs::Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) {
  RoundTrip(&counts_.reads);
  return target_->Read(fd, buffer, size, offset, done);
}

Status ShareOs::Write(int fd, const void* buffer, size_t size, uint64_t offset) {
  RoundTrip(&counts_.writes);
  return target_->Write(fd, buffer, size, offset);
}

Status ShareOs::Sync(int fd) {
  RoundTrip(&counts_.writes);
  return target_->Sync(fd);
}

Status ShareOs::Truncate(int fd, uint64_t size) {
  RoundTrip(&counts_.writes);
  return target_->Truncate(fd, size);
}

Status ShareOs::Size(int fd, uint64_t* size) {
  RoundTrip(&counts_.sizes);
  return target_->Size(fd, size);
}

Status ShareOs::Identify(int fd, FileId* id) {
  RoundTrip(&counts_.sizes);
  return target_->Identify(fd, id);
}

bool ShareOs::Exists(const std::string& path) {
  RoundTrip(&counts_.opens);
  return target_->Exists(path);
}

Status ShareOs::Rename(const std::string& from, const std::string& to) {
  RoundTrip(&counts_.opens);
  return target_->Rename(from, to);
}

void ShareOs::Remove(const std::string& path) {
  RoundTrip(&counts_.opens);
  target_->Remove(path);
}

Status ShareOs::Map(int fd, uint64_t offset, size_t length, const uint8_t** data) {
  RoundTrip(&counts_.maps);
  return target_->Map(fd, offset, length, data);
}

Status ShareOs::LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) {
  RoundTrip(&counts_.locks);
  return target_->LockRange(fd, offset, length, granted);
}

Status ShareOs::UnlockRange(int fd, uint64_t offset, uint64_t length) {
  RoundTrip(&counts_.locks);
  return target_->UnlockRange(fd, offset, length);
}

Status ShareOs::ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) {
  RoundTrip(&counts_.locks);
  return target_->ShareRange(fd, offset, length, granted);
}

Status ShareOs::RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) {
  RoundTrip(&counts_.locks);
  return target_->RangeHeld(fd, offset, length, held);
}

Status ShareOs::LockFile(int fd, bool exclusive, bool* granted) {
  RoundTrip(&counts_.locks);
  return target_->LockFile(fd, exclusive, granted);
}

}  // namespace xb
