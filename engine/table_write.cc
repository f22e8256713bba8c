// Table record writes: edits of the current record, crash-safe appends (record before header
// count), the header date and commit levels.
#include <algorithm>
#include <cstring>

#include "base/byte_order.h"
#include "engine/os.h"
#include "engine/settings.h"
#include "engine/table.h"

namespace xb {

using namespace velloria::bytes;
namespace {

Status NoRecord() { return Status::Error(XB_ERR_ARGUMENT, "No current record (end of file)"); }

}  // namespace

Status Table::CheckWritable() const {
  if (!read_only_) return Status::Ok();
  std::string why = damage().empty() ? "it is open read-only" : damage();
  return Status::Error(XB_ERR_READ_ONLY, "Table " + path_ + " cannot be written: " + why);
}

Status Table::CheckWritableRecord() const {
  XB_RETURN_IF_ERROR(CheckWritable());
  return eof_ || recno_ > count_ ? NoRecord() : Status::Ok();
}

// Before an edit of the current record: the table writable, the record read fresh when shared
// and held in record_, where the edit goes (an edit of the whole record needs no copy there).
Status Table::StartEdit(bool whole) {
  if (read_only_ || eof_ || recno_ > count_) return CheckWritableRecord();  // says why not
  if (!file_->exclusive()) XB_RETURN_IF_ERROR(ReadCurrentFresh());
  if (!whole) {
    KeepCurrent();
  } else if (current_ != record_.data()) {
    if (view_ == current_) view_ = record_.data();
    current_ = record_.data();
  }
  return Status::Ok();
}

Status Table::PutRecord(const uint8_t* image) {
  XB_RETURN_IF_ERROR(StartEdit(/*whole=*/true));
  std::memcpy(record_.data(), image, record_.size());
  if (record_[0] != '*') record_[0] = ' ';
  dirty_ = true;
  return Status::Ok();
}

Status Table::SetFieldBytes(int index, const std::string& bytes) {
  XB_RETURN_IF_ERROR(StartEdit());
  const FieldInfo& f = layout_.fields[size_t(index)];
  std::memcpy(record_.data() + f.offset, bytes.data(),
              std::min<size_t>(bytes.size(), size_t(f.width)));
  dirty_ = true;
  return Status::Ok();
}

Status Table::SetDeletedMark(bool deleted) {
  XB_RETURN_IF_ERROR(StartEdit());
  record_[0] = deleted ? '*' : ' ';
  dirty_ = true;
  return Status::Ok();
}

Status Table::WriteKeepingBlock(const void* bytes, size_t size, uint64_t offset) {
  KeepCurrent();  // its bytes may be in the block patched below, or in the mapped window
  bool block_current = block_generation_ == file_->generation();
  XB_RETURN_IF_ERROR(file_->Write(bytes, size, offset));
  if (!block_current) return Status::Ok();
  uint64_t block_start = layout_.header_length + uint64_t(block_first_ - 1) * layout_.record_length;
  uint64_t block_end = block_start + uint64_t(block_records_) * layout_.record_length;
  uint64_t from = std::max(offset, block_start), to = std::min(offset + size, block_end);
  if (block_records_ > 0 && from < to) {
    std::memcpy(block_.data() + (from - block_start),
                static_cast<const uint8_t*>(bytes) + (from - offset), to - from);
  }
  block_generation_ = file_->generation();
  return Status::Ok();
}

Status Table::WriteRecordAt(uint32_t r, const uint8_t* bytes, size_t size) {
  uint64_t at = layout_.header_length + uint64_t(r - 1) * layout_.record_length;
  // The kernel may stop a write killed between two pages: a rewrite that spans a page
  // boundary goes through the journal so that the record stays wholly old or new.
  constexpr uint64_t kPage = 4096;
  if (r <= count_ && at / kPage != (at + size - 1) / kPage) {
    XB_RETURN_IF_ERROR(JournaledWrite(bytes, size, at));
  } else {
    XB_RETURN_IF_ERROR(WriteKeepingBlock(bytes, size, at));
  }
  if (!header_date_written_) header_date_pending_ = true;
  return Status::Ok();
}

Status Table::WriteDirtyRecord() {
  XB_RETURN_IF_ERROR(WriteRecordAt(recno_, record_.data(), record_.size()));
  dirty_ = false;
  return Status::Ok();
}

Status Table::WriteHeaderDate() {
  if (!header_date_pending_ || read_only_) return Status::Ok();
  int y = 0, m = 0, d = 0;
  CurrentOs()->Today(&y, &m, &d);
  uint8_t bytes[7];
  EncodeDateAndCount(y, m, d, 0, bytes);
  XB_RETURN_IF_ERROR(WriteKeepingBlock(bytes, 3, 1));
  header_date_written_ = true;
  layout_.year = y;
  layout_.month = m;
  layout_.day = d;
  header_date_pending_ = false;
  return Status::Ok();
}

Status Table::AppendBlank(bool lock) {
  XB_RETURN_IF_ERROR(CheckWritable());
  XB_RETURN_IF_ERROR(FlushRecord());
  bool granted = false;
  XB_RETURN_IF_ERROR(file_->LockHeader(LockTimeoutMs(), &granted));
  if (!granted) return Status::Error(XB_ERR_LOCKED, "The table header is locked by another user");
  Status s = RefreshCount();
  uint32_t r = count_ + 1;
  if (s.ok()) {
    std::vector<uint8_t> bytes(layout_.record_length + 1, ' ');
    bytes.back() = kEndOfFile;
    s = WriteRecordAt(r, bytes.data(), bytes.size());  // the record first ...
  }
  // At full commit the record is on the disk before the header can count it.
  if (s.ok() && commit_level_ == XB_COMMIT_FULL) s = CurrentOs()->Sync(file_->fd());
  if (s.ok()) {
    int y = 0, m = 0, d = 0;
    CurrentOs()->Today(&y, &m, &d);
    uint8_t head[7];
    EncodeDateAndCount(y, m, d, r, head);
    s = WriteKeepingBlock(head, sizeof head, 1);  // ... then the header counts it
    if (s.ok()) header_date_pending_ = false, header_date_written_ = true;
  }
  Status unlock = file_->UnlockHeader();
  XB_RETURN_IF_ERROR(s);
  XB_RETURN_IF_ERROR(unlock);
  count_ = layout_.header_count = r;
  XB_RETURN_IF_ERROR(MoveTo(r));
  if (lock && !file_->exclusive()) {
    XB_RETURN_IF_ERROR(file_->LockRecord(area_, r, LockTimeoutMs(), &granted));
  }
  return Status::Ok();
}

Status Table::Sync() {
  XB_RETURN_IF_ERROR(CurrentOs()->Sync(file_->fd()));
  return memo_ ? memo_->Sync() : Status::Ok();
}

// Flattened: the record write and the calls under it are inlined, so that after the write's
// system call few returns are left, each mispredicted once the kernel has refilled the
// processor's return predictions.
[[gnu::flatten]] Status Table::Commit() {
  XB_RETURN_IF_ERROR(FlushRecord());
  if (commit_level_ == XB_COMMIT_NONE || read_only_) return Status::Ok();
  if (header_date_pending_) XB_RETURN_IF_ERROR(WriteHeaderDate());
  return commit_level_ == XB_COMMIT_FULL ? Sync() : Status::Ok();
}

}  // namespace xb
