// ForwardingOs: an Os that passes every call on to another, giving the wrapper a look before
// each call that reaches the file system. Tests fail a chosen call (FaultyOs); benchmarks
// count and delay them as a file server would (ShareOs). Clock and sleep calls pass straight on.
#ifndef VELLORIA_ENGINE_OS_FORWARDING_H_
#define VELLORIA_ENGINE_OS_FORWARDING_H_

#include "engine/os.h"

namespace xb {

enum class OsCall {
  kOpen,  // Open and OpenSide
  kClose,
  kRead,
  kWrite,
  kSync,
  kTruncate,
  kSize,
  kIdentify,
  kExists,
  kReadFolder,
  kIsLink,
  kRealPath,
  kRename,
  kRemove,
  kMap,
  kUnmap,
  kLock,  // LockRange, UnlockRange, ShareRange, RangeHeld, LockFile
};

class ForwardingOs : public Os {
 public:
  explicit ForwardingOs(Os* target) : target_(target) {}

  Status Open(const std::string& path, bool read_only, bool create, int* fd) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kOpen));
    return target_->Open(path, read_only, create, fd);
  }
  Status OpenSide(const std::string& path, SideOpen how, int* fd) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kOpen));
    return target_->OpenSide(path, how, fd);
  }
  bool IsLink(const std::string& path) override {
    Before(OsCall::kIsLink);
    return target_->IsLink(path);
  }
  Status RealPath(const std::string& path, std::string* real) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kRealPath));
    return target_->RealPath(path, real);
  }
  void Close(int fd) override {
    Before(OsCall::kClose);
    target_->Close(fd);
  }
  Status Read(int fd, void* buffer, size_t size, uint64_t offset, size_t* done) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kRead));
    return target_->Read(fd, buffer, size, offset, done);
  }
  Status Write(int fd, const void* buffer, size_t size, uint64_t offset) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kWrite));
    return target_->Write(fd, buffer, size, offset);
  }
  Status Sync(int fd) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kSync));
    return target_->Sync(fd);
  }
  Status Truncate(int fd, uint64_t size) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kTruncate));
    return target_->Truncate(fd, size);
  }
  Status Size(int fd, uint64_t* size) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kSize));
    return target_->Size(fd, size);
  }
  Status Identify(int fd, FileId* id) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kIdentify));
    return target_->Identify(fd, id);
  }
  bool Exists(const std::string& path) override {
    Before(OsCall::kExists);
    return target_->Exists(path);
  }
  Status ReadFolder(const std::string& folder, std::vector<std::string>* names) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kReadFolder));
    return target_->ReadFolder(folder, names);
  }
  Status Rename(const std::string& from, const std::string& to) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kRename));
    return target_->Rename(from, to);
  }
  void Remove(const std::string& path) override {
    Before(OsCall::kRemove);
    target_->Remove(path);
  }
  Status Map(int fd, uint64_t offset, size_t length, const uint8_t** data) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kMap));
    return target_->Map(fd, offset, length, data);
  }
  void Unmap(const uint8_t* data, size_t length) override {
    Before(OsCall::kUnmap);
    target_->Unmap(data, length);
  }
  Status LockRange(int fd, uint64_t offset, uint64_t length, bool* granted) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kLock));
    return target_->LockRange(fd, offset, length, granted);
  }
  Status UnlockRange(int fd, uint64_t offset, uint64_t length) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kLock));
    return target_->UnlockRange(fd, offset, length);
  }
  Status ShareRange(int fd, uint64_t offset, uint64_t length, bool* granted) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kLock));
    return target_->ShareRange(fd, offset, length, granted);
  }
  Status RangeHeld(int fd, uint64_t offset, uint64_t length, bool* held) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kLock));
    return target_->RangeHeld(fd, offset, length, held);
  }
  Status LockFile(int fd, bool exclusive, bool* granted) override {
    XB_RETURN_IF_ERROR(Before(OsCall::kLock));
    return target_->LockFile(fd, exclusive, granted);
  }
  int64_t NowMillis() override { return target_->NowMillis(); }
  void SleepMillis(int millis) override { target_->SleepMillis(millis); }
  void Today(int* year, int* month, int* day) override { target_->Today(year, month, day); }

 protected:
  // Called before each file-system call: a failure is answered instead of making the call
  // (calls without a result, and IsLink and Exists, are made whatever it answers).
  virtual Status Before(OsCall call) = 0;
  Os* target_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_OS_FORWARDING_H_
