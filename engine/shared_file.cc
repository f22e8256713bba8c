// One descriptor per file per process, with per-area lock bookkeeping over OFD locks.
#include "engine/shared_file.h"

#include <algorithm>
#include <vector>

namespace xb {
namespace {

struct Entry {
  FileId id;
  std::weak_ptr<SharedFile> file;
};

std::vector<Entry>& Registry() {
  static std::vector<Entry> entries;
  return entries;
}

std::shared_ptr<SharedFile> Find(const FileId& id) {
  auto& entries = Registry();
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [](const Entry& e) { return e.file.expired(); }),
                entries.end());
  for (const Entry& e : entries) {
    if (e.id == id) return e.file.lock();
  }
  return nullptr;
}

// Why an open was refused: an exclusive open meets any other opener, a shared one an
// exclusive holder.
Status InUse(const std::string& path, bool exclusive, const char* by) {
  if (exclusive) {
    return Status::Error(XB_ERR_LOCKED, "Table " + path + " cannot be opened exclusively: it is open " +
                                            by + " (close it there first)");
  }
  return Status::Error(XB_ERR_LOCKED, "Table " + path + " is opened exclusively " + by);
}

}  // namespace

SharedFile::~SharedFile() { CurrentOs()->Close(fd_); }

Status SharedFile::Acquire(const std::string& path, bool exclusive, bool want_write,
                           std::shared_ptr<SharedFile>* out, bool* read_only,
                           std::string* write_refusal) {
  Os* os = CurrentOs();
  int fd = -1;
  bool writable = want_write;
  Status s = os->Open(path, !want_write, false, &fd);
  if (!s.ok() && want_write) {
    writable = false;
    if (!os->Open(path, true, false, &fd).ok()) return s;
    if (write_refusal != nullptr) *write_refusal = s.message();
  }
  if (!s.ok() && !want_write) return s;
  *read_only = !writable;
  FileId id;
  s = os->Identify(fd, &id);
  if (!s.ok()) {
    os->Close(fd);
    return s;
  }
  std::shared_ptr<SharedFile> existing = Find(id);
  if (existing) {
    os->Close(fd);  // OFD and flock locks belong to the other description: nothing is dropped
    if (exclusive || existing->exclusive_) return InUse(path, exclusive, "in another work area");
    *read_only = !existing->writable_ || !want_write;
    *out = existing;
    return Status::Ok();
  }
  bool granted = false;
  s = os->LockFile(fd, exclusive, &granted);
  if (!s.ok() || !granted) {
    os->Close(fd);
    return s.ok() ? InUse(path, exclusive, "by another program") : s;
  }
  out->reset(new SharedFile(path, fd, id, exclusive, writable));
  Registry().push_back({id, *out});
  return Status::Ok();
}

Status OpenSideFileAlone(const std::string& path, int* fd) {
  Os* os = CurrentOs();
  XB_RETURN_IF_ERROR(os->OpenSide(path, SideOpen::kOpenOrCreate, fd));
  bool granted = false;
  Status s = os->LockFile(*fd, true, &granted);
  if (s.ok() && !granted) s = Status::Error(XB_ERR_LOCKED, path + " is in use by another program");
  if (s.ok()) s = os->Truncate(*fd, 0);
  if (!s.ok()) {
    os->Close(*fd);
    *fd = -1;
  }
  return s;
}

Status SharedFile::Create(const std::string& path, std::shared_ptr<SharedFile>* out) {
  Os* os = CurrentOs();
  int fd = -1;
  XB_RETURN_IF_ERROR(OpenSideFileAlone(path, &fd));
  FileId id;
  Status s = os->Identify(fd, &id);
  if (!s.ok()) {
    os->Close(fd);
    return s;
  }
  out->reset(new SharedFile(path, fd, id, true, true));
  Registry().push_back({id, *out});
  return Status::Ok();
}

Status SharedFile::Read(void* buffer, size_t size, uint64_t offset, size_t* done) {
  return CurrentOs()->Read(fd_, buffer, size, offset, done);
}

Status SharedFile::ReadOnlyError() const {
  return Status::Error(XB_ERR_READ_ONLY, "File " + path_ + " is read-only");
}

Status SharedFile::Size(uint64_t* size) { return CurrentOs()->Size(fd_, size); }

Status RetryLock(int timeout_ms, bool* granted, const std::function<Status(bool*)>& attempt) {
  Os* os = CurrentOs();
  int64_t deadline = os->NowMillis() + std::max(timeout_ms, 0);
  for (;;) {
    XB_RETURN_IF_ERROR(attempt(granted));
    if (*granted || os->NowMillis() >= deadline) return Status::Ok();
    os->SleepMillis(kLockPollMillis);
  }
}

Status SharedFile::LockRecord(int area, uint32_t record, int timeout_ms, bool* granted) {
  *granted = true;
  if (exclusive_) return Status::Ok();
  auto it = record_locks_.find(record);
  if (it != record_locks_.end()) {
    *granted = it->second == area;
    return Status::Ok();
  }
  if (file_lock_area_ != 0) {
    *granted = file_lock_area_ == area;
    if (*granted) record_locks_[record] = area;  // covered by the file lock already
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(RetryLock(timeout_ms, granted, [&](bool* g) {
    return CurrentOs()->LockRange(fd_, kLockBase + record, 1, g);
  }));
  if (*granted) record_locks_[record] = area;
  return Status::Ok();
}

Status SharedFile::UnlockRecord(int area, uint32_t record) {
  auto it = record_locks_.find(record);
  if (it == record_locks_.end() || it->second != area) return Status::Ok();
  record_locks_.erase(it);
  if (exclusive_ || file_lock_area_ != 0) return Status::Ok();
  return CurrentOs()->UnlockRange(fd_, kLockBase + record, 1);
}

Status SharedFile::LockWholeFile(int area, int timeout_ms, bool* granted) {
  *granted = true;
  if (exclusive_ || file_lock_area_ == area) return Status::Ok();
  for (const auto& [record, holder] : record_locks_) {
    if (holder != area) {
      *granted = false;
      return Status::Ok();
    }
  }
  if (file_lock_area_ != 0) {
    *granted = false;
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(RetryLock(timeout_ms, granted, [&](bool* g) {
    return CurrentOs()->LockRange(fd_, kLockBase + 1, kFileLockLength, g);
  }));
  if (*granted) file_lock_area_ = area;
  return Status::Ok();
}

Status SharedFile::UnlockAll(int area) {
  Status result;
  if (file_lock_area_ == area) {
    file_lock_area_ = 0;
    if (!exclusive_) result = CurrentOs()->UnlockRange(fd_, kLockBase + 1, kFileLockLength);
    std::erase_if(record_locks_, [area](const auto& e) { return e.second == area; });
    return result;
  }
  for (uint32_t record : RecordsHeldBy(area)) {
    Status s = UnlockRecord(area, record);
    if (!s.ok()) result = s;
  }
  return result;
}

bool SharedFile::HoldsRecord(int area, uint32_t record) const {
  if (exclusive_ || file_lock_area_ == area) return true;
  auto it = record_locks_.find(record);
  return it != record_locks_.end() && it->second == area;
}

std::vector<uint32_t> SharedFile::RecordsHeldBy(int area) const {
  std::vector<uint32_t> records;
  for (const auto& [record, holder] : record_locks_) {
    if (holder == area) records.push_back(record);
  }
  return records;
}

Status SharedFile::LockHeader(int timeout_ms, bool* granted) {
  *granted = true;
  if (exclusive_ || header_lock_depth_++ > 0) return Status::Ok();
  Status s = RetryLock(timeout_ms, granted,
                   [&](bool* g) { return CurrentOs()->LockRange(fd_, kLockBase, 1, g); });
  if (!s.ok() || !*granted) header_lock_depth_ = 0;
  return s;
}

Status SharedFile::UnlockHeader() {
  if (exclusive_ || header_lock_depth_ == 0 || --header_lock_depth_ > 0) return Status::Ok();
  return CurrentOs()->UnlockRange(fd_, kLockBase, 1);
}

void SharedFile::ReplaceDescriptor(int fd) {
  CurrentOs()->Close(fd_);
  fd_ = fd;
  ++generation_;
  FileId id;
  if (CurrentOs()->Identify(fd, &id).ok()) {
    for (Entry& e : Registry()) {
      if (e.id == id_) e.id = id;
    }
    id_ = id;
  }
}

}  // namespace xb
