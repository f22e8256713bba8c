// The record journal: a rewrite that spans a page boundary is first written whole to
// "<table>-journal" (one write within its first page or checked by a checksum), then to the
// table, then the journal entry is cleared. A writer killed in between leaves a complete
// entry, which the next writable open replays and clears; only an exclusive open removes the
// file, since a live shared writer keeps it open. Shared writers serialise on the header lock.
// The journal is never reached through a symbolic link: the name is the engine's own, so a
// link found there holds no entry of ours and is removed unread.
#include <cstring>

#include "base/byte_order.h"
#include "engine/settings.h"
#include "engine/table.h"

namespace xb {

using namespace velloria::bytes;
namespace {

constexpr char kMagic[4] = {'X', 'B', 'J', '1'};
constexpr size_t kEntryHeader = 20;  // magic, offset (8), length (4), checksum (4)
constexpr uint8_t kCleared[4] = {0, 0, 0, 0};  // written over the magic once an entry is done

uint32_t Checksum(const uint8_t* bytes, size_t size, uint64_t offset) {
  uint32_t h = 2166136261u;
  for (int i = 0; i < 8; ++i) h = (h ^ uint8_t(offset >> (8 * i))) * 16777619u;
  for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

// Opens the journal for writing; a link at its name is removed first and a plain file made.
Status OpenJournalForWriting(const std::string& path, int* fd) {
  Os* os = CurrentOs();
  if (os->IsLink(path)) os->Remove(path);
  return os->OpenSide(path, SideOpen::kOpenOrCreate, fd);
}

}  // namespace

Status Table::JournaledWrite(const uint8_t* bytes, size_t size, uint64_t offset) {
  Os* os = CurrentOs();
  if (journal_fd_ < 0) XB_RETURN_IF_ERROR(OpenJournalForWriting(JournalPath(), &journal_fd_));
  bool granted = false;
  XB_RETURN_IF_ERROR(file_->LockHeader(LockTimeoutMs(), &granted));
  if (!granted) return Status::Error(XB_ERR_LOCKED, "The table header is locked by another user");
  std::vector<uint8_t> entry(kEntryHeader + size);
  std::memcpy(entry.data(), kMagic, 4);
  PutLe64(&entry[4], offset);
  PutLe32(&entry[12], uint32_t(size));
  PutLe32(&entry[16], Checksum(bytes, size, offset));
  std::memcpy(&entry[kEntryHeader], bytes, size);
  journal_pending_ = true;
  Status s = os->Write(journal_fd_, entry.data(), entry.size(), 0);
  // At full commit the entry must survive a power loss that tears the write below.
  if (s.ok() && commit_level_ == XB_COMMIT_FULL) s = os->Sync(journal_fd_);
  if (s.ok()) s = WriteKeepingBlock(bytes, size, offset);
  if (s.ok()) s = os->Write(journal_fd_, kCleared, sizeof kCleared, 0);
  if (s.ok()) journal_pending_ = false;
  Status unlock = file_->UnlockHeader();
  return s.ok() ? unlock : s;
}

Status Table::RecoverJournal() {
  Os* os = CurrentOs();
  std::string path = JournalPath();
  const bool link = os->IsLink(path);
  if (!link && !os->Exists(path)) return Status::Ok();
  bool granted = false;
  XB_RETURN_IF_ERROR(file_->LockHeader(0, &granted));
  if (!granted) return Status::Ok();  // a live writer holds it: its entry is not ours to replay
  int fd = -1;
  Status s;
  if (!link) s = os->OpenSide(path, SideOpen::kExisting, &fd);
  std::vector<uint8_t> entry(kEntryHeader + layout_.record_length);
  size_t done = 0;
  if (s.ok() && fd >= 0) s = os->Read(fd, entry.data(), entry.size(), 0, &done);
  if (s.ok() && done >= kEntryHeader && std::memcmp(entry.data(), kMagic, 4) == 0) {
    uint64_t offset = Le64(&entry[4]);
    size_t size = Le32(&entry[12]);
    bool whole = size == layout_.record_length && done == kEntryHeader + size &&
                 offset >= layout_.header_length &&
                 offset + size <= layout_.header_length + uint64_t(count_) * size &&
                 Le32(&entry[16]) == Checksum(&entry[kEntryHeader], size, offset);
    if (whole) s = file_->Write(&entry[kEntryHeader], size, offset);
    if (s.ok() && !file_->exclusive()) s = os->Write(fd, kCleared, sizeof kCleared, 0);
  }
  if (fd >= 0) os->Close(fd);
  // A shared opener leaves the file: a live writer of another area or program may hold it
  // open, and its next entry must be found at this name.
  if (s.ok() && (link || file_->exclusive())) os->Remove(path);
  Status unlock = file_->UnlockHeader();
  return s.ok() ? unlock : s;
}

Status Table::SettleJournal() {
  KeepCurrent();  // a replayed entry may rewrite the current record's bytes
  if (journal_fd_ >= 0) {
    CurrentOs()->Close(journal_fd_);
    journal_fd_ = -1;
  }
  journal_pending_ = false;
  return RecoverJournal();
}

}  // namespace xb
