// Table: opening with the header's checks, closing, field names and aliases, and the area's
// locks. Record reads, navigation, writes and memos are in the table_*.cc files beside it.
#include "engine/table.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#if __has_include(<valgrind/valgrind.h>)
#include <valgrind/valgrind.h>
#endif

#include "base/paths.h"
#include "base/byte_order.h"
#include "engine/mount_info.h"
#include "engine/os.h"
#include "engine/settings.h"

namespace xb {

using namespace velloria::bytes;

namespace {

// Why a table asked for writing could be opened for reading only: the refused open's own
// text (no permission, a read-only file system, a client that cannot write a file in place)
// and the file system it was refused on (`mount`, "" when unknown).
std::string WriteRefusalReason(const std::string& mount, const std::string& refusal) {
  if (refusal.empty()) return "The file is read-only";
  return "The file cannot be opened for writing" + (mount.empty() ? "" : " on " + mount) + ": " + refusal;
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
  if (want_write) XB_RETURN_IF_ERROR(t->HeedMountLocks(exclusive, &want_write));
  bool file_read_only = false;
  std::string write_refusal;
  XB_RETURN_IF_ERROR(SharedFile::Acquire(t->path_, exclusive, want_write, &t->file_, &file_read_only,
                                         &write_refusal));
  t->read_only_ = !want_write || file_read_only;
  if (want_write && file_read_only) t->refusal_ = WriteRefusalReason(t->mount().named, write_refusal);
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

// Where another machine's locks are never seen, writing shared loses records and an
// exclusive open cannot know who else has the table: unless the caller vouches that no other
// machine uses it, a shared open goes on read-only, saying why, and an exclusive one is refused.
Status Table::HeedMountLocks(bool exclusive, bool* want_write) {
  if (GlobalSettings().local_locks_accepted) return Status::Ok();
  if ((mount().risks & kMountLocksLocal) == 0) return Status::Ok();
  if (exclusive) {
    return Status::Error(XB_ERR_LOCKED, "Table " + path_ + " cannot be opened exclusively: " +
                                            mount().described +
                                            ". Another machine may have it open without this one seeing it");
  }
  *want_write = false;
  refusal_ = "Writes are refused on this mount: " + mount().described;
  return Status::Ok();
}

const MountOfFile& Table::mount() {
  if (!mount_) mount_ = FindMountOfPath(path_);
  return *mount_;
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

#if XB_NAMES_IN_ONE_LOAD
#if __has_include(<valgrind/valgrind.h>)
const bool g_names_in_one_load = [] { return !RUNNING_ON_VALGRIND; }();
#else
const bool g_names_in_one_load = true;
#endif
#endif

int Table::FieldIndexOfNameByText(const char* name) const {
  for (const NameSlot& slot : name_slots_) {
    if (slot.pointer == name && std::strcmp(name, slot.text) == 0) return slot.index;
  }
  return RememberFieldIndex(name);
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

int Table::LockTimeoutMs() const { return GlobalSettings().LockTimeoutMillis(); }

// Locks are taken to write: on a table open read-only they are refused at once, saying why,
// rather than failing in the lock call on a descriptor that cannot hold a write lock.
Status Table::CheckLockable() const {
  if (!read_only_) return Status::Ok();
  std::string why = damage().empty() ? "it is open read-only" : damage();
  return Status::Error(XB_ERR_READ_ONLY, "Table " + path_ + " cannot be locked for writing: " + why);
}

Status Table::LockRecord(uint32_t record, bool* granted) {
  *granted = false;
  XB_RETURN_IF_ERROR(CheckLockable());
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
  *granted = false;
  XB_RETURN_IF_ERROR(CheckLockable());
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
