// Table: open with checks, navigation with the deleted setting and the query, record
// writes, crash-safe appends (record before header count), commit levels and locks.
#include "engine/table.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "base/paths.h"
#include "engine/byte_order.h"
#include "engine/os.h"
#include "engine/settings.h"

namespace xb {
namespace {

constexpr size_t kBlockBytes = 128 * 1024;

Status NoRecord() { return Status::Error(XB_ERR_ARGUMENT, "No current record (end of file)"); }

uint32_t ParseMemoBlock(const uint8_t* bytes, int width) {
  if (width == 4)
    return Le32(bytes);
  uint32_t block = 0;
  for (int i = 0; i < width; ++i) {
    uint8_t c = bytes[i];
    if (c >= '0' && c <= '9') {
      if (block > 400000000u) return 0;
      block = block * 10 + (c - '0');
    } else if (c != ' ' && c != 0) {
      return 0;
    }
  }
  return block;
}

}  // namespace

Status Table::Open(const std::string& path, int mode, int commit_level, int area,
                   std::unique_ptr<Table>* out) {
  std::unique_ptr<Table> t(new Table());
  t->path_ = ResolvePath(path);
  t->mode_ = mode;
  t->commit_level_ = commit_level;
  t->area_ = area;
  bool exclusive = mode == XB_OPEN_EXCLUSIVE;
  bool want_write = mode != XB_OPEN_READ_ONLY;
  bool file_read_only = false;
  XB_RETURN_IF_ERROR(
      SharedFile::Acquire(t->path_, exclusive, want_write, &t->file_, &file_read_only));
  t->read_only_ = !want_write || file_read_only;
  if (want_write && file_read_only) t->damage_ = "The file is read-only";
  XB_RETURN_IF_ERROR(t->ReadHeader());
  if (!t->read_only_) XB_RETURN_IF_ERROR(t->RecoverJournal());
  MemoKind kind = t->layout_.Memo();
  if (kind != MemoKind::kNone) {
    Status s = MemoFile::Open(t->path_, kind, exclusive, want_write && !t->read_only_, &t->memo_);
    if (!s.ok()) {
      t->memo_problem_ = s.message();
      if (t->damage_.empty()) t->damage_ = s.message();
      t->read_only_ = true;
    }
  }
  std::string read_only_reason = t->layout_.ReadOnlyReason();
  if (!read_only_reason.empty() && want_write && !t->read_only_) {
    t->read_only_ = true;
    t->damage_ = read_only_reason;
  }
  t->record_.assign(t->layout_.record_length, ' ');
  t->probe_.resize(t->layout_.record_length);
  t->current_ = t->view_ = t->record_.data();
  t->MoveToPhantom();
  XB_RETURN_IF_ERROR(t->GoTop());
  *out = std::move(t);
  return Status::Ok();
}

Status Table::ReadHeader() {
  uint8_t fixed[kHeaderSize];
  size_t done = 0;
  XB_RETURN_IF_ERROR(file_->Read(fixed, sizeof fixed, 0, &done));
  XB_RETURN_IF_ERROR(ParseFixedHeader(fixed, done, &layout_));
  std::vector<uint8_t> header(layout_.header_length);
  XB_RETURN_IF_ERROR(file_->Read(header.data(), header.size(), 0, &done));
  XB_RETURN_IF_ERROR(ParseDescriptors(header.data(), done, &layout_));
  size_t descriptors_end = kHeaderSize + kDescriptorSize * layout_.fields.size();
  if (descriptors_end >= header.size() || header[descriptors_end] != kTerminator) {
    damage_ = "The field descriptors have no terminator";
  }
  uint64_t size = 0;
  XB_RETURN_IF_ERROR(file_->Size(&size));
  count_ = RecordsPresent(layout_, size);
  if (count_ < layout_.header_count) {
    damage_ = "The header counts " + std::to_string(layout_.header_count) +
              " records but the file holds " + std::to_string(count_);
  }
  if (!damage_.empty()) read_only_ = true;
  return Status::Ok();
}

Status Table::RefreshCount() {
  if (file_->exclusive()) return Status::Ok();
  uint8_t fixed[8];
  size_t done = 0;
  uint64_t size = 0;
  XB_RETURN_IF_ERROR(file_->Read(fixed, sizeof fixed, 0, &done));
  XB_RETURN_IF_ERROR(file_->Size(&size));
  if (done == sizeof fixed) {
    layout_.header_count = Le32(fixed + 4);
  }
  count_ = RecordsPresent(layout_, size);
  return Status::Ok();
}

Table::~Table() {
  if (file_) Close();
}

Status Table::Close() {
  if (!file_) return Status::Ok();
  Status s = FlushRecord();
  if (s.ok()) s = WriteHeaderDate();
  if (s.ok() && commit_level_ == XB_COMMIT_FULL && !read_only_) s = Sync();
  Status unlock = file_->UnlockAll(area_);
  Unmap();
  if (journal_fd_ >= 0) {
    CurrentOs()->Close(journal_fd_);
    journal_fd_ = -1;
    if (file_->exclusive() && !journal_pending_) CurrentOs()->Remove(JournalPath());
  }
  memo_.reset();
  file_.reset();
  return s.ok() ? unlock : s;
}

int Table::RememberFieldIndex(const char* name) const {
  int index = layout_.FieldIndex(name);
  size_t length = strnlen(name, sizeof(NameSlot::text));
  if (index >= 0 && length < sizeof(NameSlot::text)) {
    NameSlot& slot = name_slots_[next_name_slot_++ % name_slots_.size()];
    slot.pointer = name;
    std::memcpy(slot.text, name, length + 1);
    slot.length = length;
    slot.index = index;
  }
  return index;
}

bool Table::IsOwnAlias(std::string_view alias) const {
  auto same = [&](std::string_view name) {
    return name.size() == alias.size() && strncasecmp(name.data(), alias.data(), name.size()) == 0;
  };
  std::string base = velloria::paths::NamePart(path_);
  base.resize(std::min(base.find('.'), base.size()));
  return !alias.empty() && (same(alias_) || same(base));
}

bool Table::ReadMemo(int index, std::string* text) const { return ReadMemoOf(index, text).ok(); }

Status Table::ReadMemoOf(int index, std::string* text) const {
  text->clear();
  const FieldInfo& f = layout_.fields[size_t(index)];
  if (!IsMemoField(f)) return Status::Error(XB_ERR_ARGUMENT, "Field " + f.name + " is not a memo");
  uint32_t block = ParseMemoBlock(view_ + f.offset, f.width);
  if (block == 0) return Status::Ok();
  if (!memo_) return Status::Error(XB_ERR_OPEN, memo_problem_);
  return memo_->Read(block, text);
}

void Table::Unmap() {
  if (CurrentInWindow()) KeepCurrent();
  if (map_ != nullptr) CurrentOs()->Unmap(map_, map_length_);
  map_ = nullptr;
  map_length_ = 0;
}

// The window covers whole records up to the count, so it never reaches past the end of the
// file: the exclusive lock keeps cooperating programs from shortening it meanwhile.
Status Table::PeekMapped(uint32_t r, const uint8_t** bytes) {
  size_t len = layout_.record_length;
  uint64_t at = layout_.header_length + uint64_t(r - 1) * len;
  if (map_ == nullptr || at < map_offset_ || at + len > map_offset_ + map_length_) {
    bool backward = map_ != nullptr && at < map_offset_;
    Unmap();
    constexpr uint64_t kWindow = 1 << 20, kPage = 4096;
    uint64_t start = backward && at + len > kWindow ? at + len - kWindow : at;
    start &= ~(kPage - 1);
    uint64_t end =
        std::min<uint64_t>(start + kWindow, layout_.header_length + uint64_t(count_) * len);
    end = std::max(end, at + len);
    uint64_t size = 0;
    XB_RETURN_IF_ERROR(SizeReaching(at + len, &size));
    end = std::min(end, size);
    const uint8_t* data = nullptr;
    XB_RETURN_IF_ERROR(CurrentOs()->Map(file_->fd(), start, size_t(end - start), &data));
    map_ = data;
    map_offset_ = start;
    map_length_ = size_t(end - start);
  }
  *bytes = map_ + (at - map_offset_);
  return Status::Ok();
}

Status Table::Peek(uint32_t r, const uint8_t** bytes, ReadKind kind) {
  if (file_->exclusive()) return PeekMapped(r, bytes);
  if (kind == ReadKind::kFresh && !GlobalSettings().turbo_read && !HoldsFile()) {
    return ReadFresh(r, bytes);
  }
  if (!BlockHolds(r)) XB_RETURN_IF_ERROR(FillBlock(r));
  *bytes = block_.data() + size_t(r - block_first_) * layout_.record_length;
  return Status::Ok();
}

bool Table::BlockHolds(uint32_t r) const {
  return block_generation_ == file_->generation() && r >= block_first_ &&
         r < block_first_ + block_records_;
}

// Reads the block holding r: from r onwards, or ending at r when the read goes backwards.
Status Table::FillBlock(uint32_t r) {
  if (current_ >= block_.data() && current_ < block_.data() + block_.size()) {
    KeepCurrent();  // the block is about to be overwritten
  }
  size_t len = layout_.record_length;
  uint32_t per_block = uint32_t(std::max<size_t>(1, kBlockBytes / len));
  uint32_t first = r;
  if (r < block_first_ && r + 1 == block_first_) first = r > per_block ? r - per_block + 1 : 1;
  uint32_t n = std::min(per_block, count_ - first + 1);
  block_.resize(size_t(n) * len);
  size_t done = 0;
  XB_RETURN_IF_ERROR(file_->Read(block_.data(), block_.size(),
                                 layout_.header_length + uint64_t(first - 1) * len, &done));
  block_first_ = first;
  block_records_ = uint32_t(done / len);
  block_generation_ = file_->generation();
  if (r >= first + block_records_) {
    return Status::Error(XB_ERR_IO, "Record " + std::to_string(r) + " is cut short");
  }
  return Status::Ok();
}

// The block keeps the fresh bytes too, so a sequential read after it agrees with them.
Status Table::ReadFresh(uint32_t r, const uint8_t** bytes) {
  if (current_ != record_.data()) KeepCurrent();  // in probe_ or the block, both rewritten
  size_t len = layout_.record_length;
  size_t done = 0;
  XB_RETURN_IF_ERROR(
      file_->Read(probe_.data(), len, layout_.header_length + uint64_t(r - 1) * len, &done));
  if (done < len) return Status::Error(XB_ERR_IO, "Record " + std::to_string(r) + " is cut short");
  if (BlockHolds(r))
    std::memcpy(block_.data() + size_t(r - block_first_) * len, probe_.data(), len);
  *bytes = probe_.data();
  return Status::Ok();
}

Status Table::ReadCurrentFresh() {
  if (file_->exclusive() || fresh_ || dirty_ || eof_ || recno_ > count_) return Status::Ok();
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(recno_, &bytes, ReadKind::kFresh));
  std::memcpy(record_.data(), bytes, record_.size());
  current_ = view_ = record_.data();
  fresh_ = true;
  return Status::Ok();
}

Status Table::Visible(uint32_t r, const uint8_t* bytes, bool* visible) {
  *visible = !(GlobalSettings().deleted && bytes[0] == '*');
  if (!*visible || !query_) return Status::Ok();
  if (plan_) {
    *visible = plan_->Matches(bytes);
    return Status::Ok();
  }
  *visible = EvalOn(query_.get(), r, bytes);
  return Status::Ok();
}

bool Table::EvalOn(CompiledExpr* expr, uint32_t r, const uint8_t* bytes) {
  view_ = bytes;
  view_recno_ = r;
  bool result = expr->EvalLogical(*this, GlobalSettings().ForExpressions());
  view_ = current_;
  view_recno_ = recno_;
  return result;
}

Status Table::ScanForward(uint32_t from, uint32_t* found, const uint8_t** found_bytes) {
  *found = 0;
  for (uint32_t r = std::max<uint32_t>(from, 1); r <= count_; ++r) {
    const uint8_t* bytes = nullptr;
    bool visible = false;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    XB_RETURN_IF_ERROR(Visible(r, bytes, &visible));
    if (visible) {
      *found = r;
      if (found_bytes != nullptr) *found_bytes = bytes;
      return Status::Ok();
    }
  }
  return Status::Ok();
}

Status Table::ScanBackward(uint32_t from, uint32_t* found, const uint8_t** found_bytes) {
  *found = 0;
  for (uint32_t r = std::min(from, count_); r >= 1; --r) {
    const uint8_t* bytes = nullptr;
    bool visible = false;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    XB_RETURN_IF_ERROR(Visible(r, bytes, &visible));
    if (visible) {
      *found = r;
      if (found_bytes != nullptr) *found_bytes = bytes;
      return Status::Ok();
    }
  }
  return Status::Ok();
}

Status Table::MoveTo(uint32_t r) {
  XB_RETURN_IF_ERROR(FlushRecord());
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(r, &bytes, ReadKind::kFresh));
  MoveToBytes(r, bytes);
  fresh_ = bytes == probe_.data();
  // A record positioned to on its own is copied at once: no later read of it touches the
  // mapped window, which another program that ignores the lock could have cut short.
  KeepCurrent();
  return Status::Ok();
}

void Table::MoveToPhantom() {
  fresh_ = false;
  std::fill(record_.begin(), record_.end(), ' ');
  current_ = view_ = record_.data();
  recno_ = view_recno_ = count_ + 1;
  eof_ = true;
  bof_ = false;
}

Status Table::GoTop() {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  uint32_t r = 0;
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(ScanForward(1, &r, &bytes));
  if (r != 0) return MoveToBytes(r, bytes), Status::Ok();
  MoveToPhantom();
  bof_ = true;
  return Status::Ok();
}

Status Table::GoBottom() {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  uint32_t r = 0;
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(ScanBackward(count_, &r, &bytes));
  if (r != 0) return MoveToBytes(r, bytes), Status::Ok();
  MoveToPhantom();
  bof_ = true;
  return Status::Ok();
}

Status Table::Skip(int64_t count) {
  if (count == 1 && SkipToNextInMemory()) return Status::Ok();
  XB_RETURN_IF_ERROR(FlushRecord());
  if (count == 0) {
    if (eof_) return Status::Ok();
    bool bof = bof_;
    XB_RETURN_IF_ERROR(MoveTo(recno_));
    bof_ = bof;
    return Status::Ok();
  }
  if (eof_ || recno_ > count_) XB_RETURN_IF_ERROR(RefreshCount());
  for (; count > 0; --count) {
    if (eof_) return Status::Ok();
    uint32_t r = 0;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(ScanForward(recno_ + 1, &r, &bytes));
    if (r == 0) {
      MoveToPhantom();
      return Status::Ok();
    }
    MoveToBytes(r, bytes);
  }
  for (; count < 0; ++count) {
    uint32_t r = 0;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(ScanBackward(recno_ - 1, &r, &bytes));
    if (r != 0) {
      MoveToBytes(r, bytes);
      continue;
    }
    bool was_eof = eof_;
    XB_RETURN_IF_ERROR(ScanForward(1, &r));
    if (r != 0) XB_RETURN_IF_ERROR(MoveTo(r));
    eof_ = r == 0 && was_eof;
    bof_ = true;
    return Status::Ok();
  }
  return Status::Ok();
}

Status Table::SizeReaching(uint64_t end, uint64_t* size) {
  XB_RETURN_IF_ERROR(file_->Size(size));
  if (*size >= end) return Status::Ok();
  if (CurrentInWindow() && map_offset_ + uint64_t(current_ - map_) + record_.size() > *size) {
    std::fill(record_.begin(), record_.end(), ' ');  // its bytes are no longer in the file
    current_ = view_ = record_.data();
  }
  Unmap();
  return Status::Error(XB_ERR_IO, "Table " + path_ +
                                      " was shortened by another program while open exclusively");
}

Status Table::Go(int64_t record) {
  XB_RETURN_IF_ERROR(FlushRecord());
  // The current record is at hand when nobody can have changed it since it was read: read
  // fresh under this area's lock, or read or written by the one area of an exclusive open.
  if (record == recno_ && !eof_ && (fresh_ || file_->exclusive()) && HoldsRecord(recno_)) {
    bof_ = false;
    return Status::Ok();
  }
  if (record < 1 || record > count_) XB_RETURN_IF_ERROR(RefreshCount());
  if (map_ != nullptr && record >= 1 && record <= count_) {  // the window may outlive the bytes
    uint64_t size = 0;
    XB_RETURN_IF_ERROR(
        SizeReaching(layout_.header_length + uint64_t(record) * layout_.record_length, &size));
  }
  if (record >= 1 && record <= count_) return MoveTo(uint32_t(record));
  MoveToPhantom();
  bof_ = count_ == 0;
  return Status::Ok();
}

Status Table::RecCount(uint32_t* count) {
  XB_RETURN_IF_ERROR(RefreshCount());
  *count = count_;
  return Status::Ok();
}

Status Table::CountVisible(uint32_t* count) {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  *count = 0;
  for (uint32_t r = 1; r <= count_;) {
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    // Walk the rest of the mapped window or the block without peeking again.
    uint32_t in_block = BlockHolds(r) ? block_first_ + block_records_ - r : 1;
    if (map_ != nullptr) {
      uint64_t at = layout_.header_length + uint64_t(r - 1) * layout_.record_length;
      in_block = uint32_t((map_offset_ + map_length_ - at) / layout_.record_length);
    }
    in_block = std::min(in_block, count_ - r + 1);
    if (plan_ && !GlobalSettings().deleted) {  // the optimiser's plan alone decides
      for (uint32_t i = 0; i < in_block; ++i, ++r, bytes += layout_.record_length)
        *count += plan_->Matches(bytes);
      continue;
    }
    for (uint32_t i = 0; i < in_block; ++i, ++r, bytes += layout_.record_length) {
      bool visible = false;
      XB_RETURN_IF_ERROR(Visible(r, bytes, &visible));
      if (visible) ++*count;
    }
  }
  return Status::Ok();
}

Status Table::MatchesQuery(uint32_t record, bool* match) {
  *match = true;
  if (!query_ || record < 1 || record > count_) {
    *match = query_ == nullptr;
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(FlushRecord());
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(record, &bytes));
  if (plan_) {
    *match = plan_->Matches(bytes);
    return Status::Ok();
  }
  *match = EvalOn(query_.get(), record, bytes);
  return Status::Ok();
}

Status Table::CheckWritable() const {
  if (!read_only_) return Status::Ok();
  std::string why = damage_.empty() ? "it is open read-only" : damage_;
  return Status::Error(XB_ERR_READ_ONLY, "Table " + path_ + " cannot be written: " + why);
}

Status Table::CheckWritableRecord() const {
  XB_RETURN_IF_ERROR(CheckWritable());
  return eof_ || recno_ > count_ ? NoRecord() : Status::Ok();
}

// Before an edit of the current record: the table writable, the record read fresh when shared
// and held in record_, where the edit goes.
Status Table::StartEdit() {
  XB_RETURN_IF_ERROR(CheckWritableRecord());
  XB_RETURN_IF_ERROR(ReadCurrentFresh());
  KeepCurrent();
  return Status::Ok();
}

Status Table::PutRecord(const uint8_t* image) {
  XB_RETURN_IF_ERROR(StartEdit());
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

Status Table::FlushRecord() {
  if (!dirty_) return Status::Ok();
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

Status Table::CheckMemos(std::string* fault) {
  fault->clear();
  if (!memo_) {
    if (layout_.HasMemoFields()) *fault = memo_problem_;
    return Status::Ok();
  }
  uint32_t next_free = 0;
  XB_RETURN_IF_ERROR(memo_->NextFreeBlock(&next_free));
  struct Chain {
    uint32_t first, blocks, record;
    const std::string* field;
  };
  std::vector<Chain> chains;
  XB_RETURN_IF_ERROR(FlushRecord());
  for (uint32_t r = 1; r <= count_ && fault->empty(); ++r) {
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    for (const FieldInfo& f : layout_.fields) {
      uint32_t first = IsMemoField(f) ? ParseMemoBlock(bytes + f.offset, f.width) : 0;
      if (first == 0) continue;
      auto where = [&] { return "record " + std::to_string(r) + ", field " + f.name + ": "; };
      uint32_t blocks = 0;
      Status s = memo_->BlocksOf(first, &blocks);
      if (!s.ok()) {
        *fault = where() + s.message();
      } else if (next_free > 0 && uint64_t(first) + blocks > next_free) {
        *fault = where() + "the memo runs past the memo file's next free block " +
                 std::to_string(next_free);
      }
      if (!fault->empty()) break;
      chains.push_back({first, blocks, r, &f.name});
    }
  }
  std::sort(chains.begin(), chains.end(),
            [](const Chain& a, const Chain& b) { return a.first < b.first; });
  for (size_t i = 1; i < chains.size() && fault->empty(); ++i) {
    const Chain &a = chains[i - 1], &b = chains[i];
    if (b.first != a.first && b.first < a.first + a.blocks) {
      *fault = "record " + std::to_string(b.record) + ", field " + *b.field +
               ": the memo starts inside the memo of record " + std::to_string(a.record);
    }
  }
  return Status::Ok();
}

Status Table::WriteMemo(int index, const void* data, size_t size) {
  XB_RETURN_IF_ERROR(CheckWritableRecord());
  const FieldInfo& f = layout_.fields[size_t(index)];
  if (f.type != 'M') return Status::Error(XB_ERR_ARGUMENT, "Field " + f.name + " is not a memo");
  if (!memo_) return Status::Error(XB_ERR_OPEN, memo_problem_);
  uint32_t block = 0;
  XB_RETURN_IF_ERROR(memo_->Append(data, size, LockTimeoutMs(), &block));
  // At full commit the text is on the disk before any record can point to it.
  if (commit_level_ == XB_COMMIT_FULL) XB_RETURN_IF_ERROR(memo_->Sync());
  std::string ref(size_t(f.width), ' ');
  if (block != 0) {
    std::string digits = std::to_string(block);
    ref.replace(ref.size() - digits.size(), digits.size(), digits);
  }
  return SetFieldBytes(index, ref);
}

Status Table::Sync() {
  XB_RETURN_IF_ERROR(CurrentOs()->Sync(file_->fd()));
  return memo_ ? memo_->Sync() : Status::Ok();
}

Status Table::Commit() {
  XB_RETURN_IF_ERROR(FlushRecord());
  if (commit_level_ == XB_COMMIT_NONE || read_only_) return Status::Ok();
  XB_RETURN_IF_ERROR(WriteHeaderDate());
  return commit_level_ == XB_COMMIT_FULL ? Sync() : Status::Ok();
}

Status Table::SetQuery(std::string_view text) {
  XB_RETURN_IF_ERROR(FlushRecord());
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    query_.reset();
    plan_.reset();
    query_text_.clear();
    return GoTop();
  }
  std::unique_ptr<CompiledExpr> compiled;
  std::string error;
  if (!CompiledExpr::Compile(text, *this, &compiled, &error)) {
    return Status::Error(XB_ERR_EXPRESSION, "Invalid query expression: " + error);
  }
  if (compiled->ResultType() != kExprLogical) {
    return Status::Error(XB_ERR_EXPRESSION, "The query expression is not logical");
  }
  query_ = std::move(compiled);
  plan_ = QueryPlan::Build(*query_);
  query_text_ = std::string(text);
  return GoTop();
}

Status Table::Locate(CompiledExpr* expr, bool forward, bool from_current, bool* found) {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  *found = false;
  uint32_t r = from_current ? (forward ? recno_ + 1 : recno_ - 1) : (forward ? 1 : count_);
  while (r >= 1 && r <= count_) {
    XB_RETURN_IF_ERROR(forward ? ScanForward(r, &r) : ScanBackward(r, &r));
    if (r == 0) break;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    if (EvalOn(expr, r, bytes)) {
      *found = true;
      return MoveTo(r);
    }
    r = forward ? r + 1 : r - 1;
  }
  if (forward) {
    MoveToPhantom();
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(GoTop());
  bof_ = true;
  return Status::Ok();
}

int Table::LockTimeoutMs() const { return GlobalSettings().LockTimeoutMillis(); }

Status Table::LockRecord(uint32_t record, bool* granted) {
  if (record == 0) record = recno_;
  if (record < 1 || record > count_) XB_RETURN_IF_ERROR(RefreshCount());
  if (record < 1 || record > count_) {
    *granted = false;
    return Status::Error(XB_ERR_ARGUMENT, "Record " + std::to_string(record) + " does not exist");
  }
  XB_RETURN_IF_ERROR(file_->LockRecord(area_, record, LockTimeoutMs(), granted));
  // The current record, once locked, is read again: another program may have changed it
  // before the lock. Locking another record leaves the current one as it is.
  if (!*granted || record != recno_) return Status::Ok();
  if (!dirty_) fresh_ = false;
  return ReadCurrentFresh();
}

Status Table::UnlockRecord(uint32_t record) {
  if (record == recno_) fresh_ = false;
  return file_->UnlockRecord(area_, record);
}

Status Table::LockFile(bool* granted) {
  bool held = HoldsFile();
  XB_RETURN_IF_ERROR(file_->LockWholeFile(area_, LockTimeoutMs(), granted));
  if (!*granted || held) return Status::Ok();
  // Records read before the lock may have been changed by another program since: the block
  // and the current record are read again, and from then on reads come from the block.
  DropBlock();
  if (dirty_ || eof_ || recno_ > count_) return Status::Ok();
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(recno_, &bytes));
  std::memcpy(record_.data(), bytes, record_.size());
  current_ = view_ = record_.data();
  fresh_ = true;
  return Status::Ok();
}

Status Table::UnlockAll() {
  XB_RETURN_IF_ERROR(FlushRecord());
  fresh_ = false;
  return file_->UnlockAll(area_);
}

}  // namespace xb
