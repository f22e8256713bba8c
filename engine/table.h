// Table: one open dBase table in one work area — its layout, current record, navigation
// (deleted setting and query applied), record writes with crash-safe appends, memos, locks
// and commit levels. Records are read on demand, never the table whole: a 1 MiB mapped window
// of the file when opened exclusively; otherwise sequential reads (scans, queries, counts)
// fetch 128 KiB blocks, while a record positioned to on its own, locked or about to be
// edited is read fresh from the file, so another program's change is never missed there.
// Single-threaded.
#ifndef VELLORIA_ENGINE_TABLE_H_
#define VELLORIA_ENGINE_TABLE_H_

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/dbf_layout.h"
#include "engine/expr.h"
#include "engine/memo_file.h"
#include "engine/mount_info.h"
#include "engine/query_plan.h"
#include "engine/settings.h"
#include "engine/shared_file.h"

// The remembered field names are compared in one 16-byte load (SSE2) on x86-64, except
// under AddressSanitizer, which would take the bytes read past a name's end for a fault.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XB_ASAN 1
#endif
#endif
#if defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && !defined(XB_ASAN)
#define XB_NAMES_IN_ONE_LOAD 1
#include <emmintrin.h>
#else
#define XB_NAMES_IN_ONE_LOAD 0
#endif

namespace xb {

#if XB_NAMES_IN_ONE_LOAD
// False under valgrind, which would report those bytes too.
extern const bool g_names_in_one_load;
#endif

// Copies in 8-byte words (the last one overlapping). A caller that reads single bytes of
// the copy at once gets them forwarded from these stores; after a wide vector copy (the C
// library's memcpy) each such read waits for the stores to complete. Record images and
// returned field texts are copied this way.
inline void CopyInWords(void* to, const void* from, size_t size) {
  auto* out = static_cast<uint8_t*>(to);
  auto* in = static_cast<const uint8_t*>(from);
  if (size < 8) {
    if (size >= 4) {  // two overlapping 4-byte words
      uint32_t half;
      __builtin_memcpy(&half, in, 4);
      __builtin_memcpy(out, &half, 4);
      __builtin_memcpy(&half, in + size - 4, 4);
      __builtin_memcpy(out + size - 4, &half, 4);
      return;
    }
    for (size_t k = 0; k < size; ++k) out[k] = in[k];
    return;
  }
  uint64_t word;
  for (size_t k = 0; k + 8 <= size; k += 8) {
    __builtin_memcpy(&word, in + k, 8);
    __builtin_memcpy(out + k, &word, 8);
  }
  __builtin_memcpy(&word, in + size - 8, 8);
  __builtin_memcpy(out + size - 8, &word, 8);
}

class Table final : public RecordView {
 public:
  // Opens path (resolved case-insensitively) for work area `area`. mode: XB_OPEN_*;
  // commit_level: XB_COMMIT_*. A table with a recoverable fault (see damage()) opens
  // read-only; one that fails the checks does not open.
  static Status Open(const std::string& path, int mode, int commit_level, int area,
                     std::unique_ptr<Table>* out);
  // Writes a new empty table (and its memo file when it has memo fields).
  static Status Create(const std::string& path, TableLayout layout);
  ~Table() override;
  // Flushes, releases the area's locks and closes; the table is unusable afterwards.
  Status Close();

  const TableLayout& layout() const { return layout_; }
  const std::string& path() const { return path_; }
  int mode() const { return mode_; }
  int commit_level() const { return commit_level_; }
  void set_commit_level(int level) { commit_level_ = level; }
  bool read_only() const { return read_only_; }
  // Why the table is read-only although opened for writing ("" when it is not).
  const std::string& damage() const { return damage_.empty() ? refusal_ : damage_; }
  // Why a sound table asked for writing may only be read by this open: no rights, a file
  // system that cannot write it in place, a mount whose locks stay on this machine; "" else.
  const std::string& write_refusal() const { return refusal_; }
  // The mount holding the file, read at the first question and kept: an open file stays on
  // its mount, and a start asks several times (the open, the refusal, the warning).
  const MountOfFile& mount();

  // RecordView over the current record (or the record a scan is testing).
  int FieldCount() const override { return int(layout_.fields.size()); }
  int FieldIndex(std::string_view name) const override { return layout_.FieldIndex(name); }
  // FieldIndex for a name the caller passes at every record (the typed readers): remembered
  // by the caller's pointer together with the text it held, so a changed text is looked up.
  int FieldIndexOfName(const char* name) const {
#if XB_NAMES_IN_ONE_LOAD
    // 16 bytes from name within its page can be read, as the C library's string functions
    // read them: one load for the compare with the remembered text.
    if ((reinterpret_cast<uintptr_t>(name) & 4095) <= 4096 - 16 && g_names_in_one_load) {
      const __m128i given = _mm_loadu_si128(reinterpret_cast<const __m128i*>(name));
      for (const NameSlot& slot : name_slots_) {
        if (slot.pointer == name && slot.HoldsLoaded(given)) return slot.index;
      }
      return RememberFieldIndex(name);
    }
#endif
    return FieldIndexOfNameByText(name);
  }
  const FieldInfo& Field(int index) const override { return layout_.fields[size_t(index)]; }
  const uint8_t* Record() const override { return view_; }
  int RecordSize() const override { return int(layout_.record_length); }
  uint32_t RecNo() const override { return view_recno_; }
  bool ReadMemo(int index, std::string* text) const override;
  bool IsOwnAlias(std::string_view alias) const override;
  // The work area's alias, for IsOwnAlias.
  void set_alias(std::string alias) { alias_ = std::move(alias); }

  // Navigation. Each leaves eof()/bof() as xBase does.
  Status GoTop();
  Status GoBottom();
  Status Skip(int64_t count);
  // The sequential scan's common step, taken inline: moves to the next record when its
  // bytes are already in memory and nothing (query, deleted setting, pending write) needs a
  // look; false, having done nothing, when Skip(1) must do the work.
  bool SkipToNextInMemory() {
    if (dirty_ || eof_ || query_ || recno_ >= count_ || GlobalSettings().deleted) return false;
    const uint8_t* next = nullptr;
    uint64_t at = layout_.header_length + uint64_t(recno_) * layout_.record_length;
    if (map_ != nullptr) {
      if (at < map_offset_ || at + layout_.record_length > map_offset_ + map_length_) return false;
      next = map_ + (at - map_offset_);
    } else if (BlockHolds(recno_ + 1)) {
      next = block_.data() + size_t(recno_ + 1 - block_first_) * layout_.record_length;
    } else {
      return false;
    }
    MoveToBytes(recno_ + 1, next);
    return true;
  }
  Status Go(int64_t record);
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  uint32_t recno() const { return recno_; }
  // Records in the file (re-read from the file in shared mode).
  Status RecCount(uint32_t* count);
  // Records shown (deleted setting and query); the position is kept.
  Status CountVisible(uint32_t* count);
  // Whether record (1-based) passes the query (true without one).
  Status MatchesQuery(uint32_t record, bool* match);

  // Records. All writes need a writable table and a current (not phantom) record.
  const uint8_t* record() const { return current_; }
  // In shared mode, re-reads the current record from the file unless it was read fresh
  // since it became current or holds changes not yet written. Writers call it before the
  // record's old index keys are taken; the record writes below call it too.
  Status ReadCurrentFresh();
  Status PutRecord(const uint8_t* image);
  Status SetFieldBytes(int index, const std::string& bytes);
  Status SetDeletedMark(bool deleted);
  // Appends a blank record and makes it current; lock also locks it in shared mode.
  Status AppendBlank(bool lock);
  Status ReadMemoOf(int index, std::string* text) const;
  // Follows every memo reference: each memo must read whole, end before the memo file's next
  // free block and not start inside another memo's blocks. *fault names the first problem
  // ("" when sound).
  Status CheckMemos(std::string* fault);
  Status WriteMemo(int index, const void* data, size_t size);
  Status Commit();
  Status Pack();
  Status Zap();

  // Query (empty text removes it); after it the table stands on the first match.
  Status SetQuery(std::string_view text);
  // Type of `text` against this table's fields. The text compiled last is kept, beside the
  // query's own, so that a client that checks a text and then sets it as the query, or
  // checks the query's text again, parses it once; so is a query that another replaced or
  // that was removed, should it be set again.
  ExprType TypeOf(std::string_view text);
  const std::string& query_text() const { return query_text_; }
  // Moves to the next shown record satisfying expr; *found false leaves Eof (forward) or the
  // first record with Bof (backward).
  Status Locate(CompiledExpr* expr, bool forward, bool from_current, bool* found);

  // Locks (area bookkeeping in the shared file).
  Status LockRecord(uint32_t record, bool* granted);
  Status UnlockRecord(uint32_t record);
  Status LockFile(bool* granted);
  Status UnlockAll();
  bool HoldsRecord(uint32_t record) const { return file_->HoldsRecord(area_, record); }
  bool HoldsFile() const { return file_->HoldsFile(area_); }
  std::vector<uint32_t> LockedRecords() const { return file_->RecordsHeldBy(area_); }

 private:
  Table() = default;
  Status HeedMountLocks(bool exclusive, bool* want_write);
  Status CheckLockable() const;
  Status ReadHeader();
  Status RefreshCount();
  // How a shared open reads a record: from the block a sequential read fetches, or fresh
  // from the file on its own (turbo read takes blocks for both, and so does an area holding
  // the file lock, whose block was read after the lock and which nobody else may change).
  enum class ReadKind { kSequential, kFresh };
  // Bytes of record r (1..count_), valid until the next Peek.
  Status Peek(uint32_t r, const uint8_t** bytes, ReadKind kind = ReadKind::kSequential);
  bool BlockHolds(uint32_t r) const;
  Status FillBlock(uint32_t r);
  // Forgets the block, so the next sequential read starts from the file as it is now.
  void DropBlock() { block_records_ = 0; }
  Status ReadFresh(uint32_t r, const uint8_t** bytes);
  Status Visible(uint32_t r, const uint8_t* bytes, bool* visible);
  // First shown record at or after from / at or before from; 0 when none.
  // *bytes (optional) gets the found record's bytes, valid until the next Peek.
  Status ScanForward(uint32_t from, uint32_t* found, const uint8_t** bytes = nullptr) {
    return Scan(from, 1, found, bytes);
  }
  Status ScanBackward(uint32_t from, uint32_t* found, const uint8_t** bytes = nullptr) {
    return Scan(from, -1, found, bytes);
  }
  // The walk of both: from `from` by step (1 or -1) through the records.
  Status Scan(uint32_t from, int step, uint32_t* found, const uint8_t** bytes);
  // GoTop (step 1) and GoBottom (step -1): the first shown record from that end.
  Status GoToEnd(int step);
  // Makes record r current, read fresh (see ReadKind).
  Status MoveTo(uint32_t r);
  // As MoveTo when the record's bytes were just peeked by a sequential read; they stay where
  // they were read until KeepCurrent.
  void MoveToBytes(uint32_t r, const uint8_t* bytes) {
    current_ = view_ = bytes;
    recno_ = view_recno_ = r;
    eof_ = bof_ = false;
    fresh_ = false;
  }
  // Copies the current record into record_ unless it is there: before the memory it was
  // read from changes, and before an edit.
  void KeepCurrent() {
    if (current_ == record_.data()) return;
    CopyInWords(record_.data(), current_, record_.size());
    if (view_ == current_) view_ = record_.data();
    current_ = record_.data();
  }
  // Evaluates expr on record r's bytes instead of the current record's.
  bool EvalOn(CompiledExpr* expr, uint32_t r, const uint8_t* bytes);
  void MoveToPhantom();
  // Writes the current record when it holds changes not yet written.
  Status FlushRecord() { return dirty_ ? WriteDirtyRecord() : Status::Ok(); }
  Status WriteDirtyRecord();
  // Writes to the table file, keeping the read-ahead block current (patched where the write
  // overlaps it).
  Status WriteKeepingBlock(const void* bytes, size_t size, uint64_t offset);
  Status WriteRecordAt(uint32_t r, const uint8_t* bytes, size_t size);
  // Rewrites bytes at offset through the journal (see table_journal.cc).
  Status JournaledWrite(const uint8_t* bytes, size_t size, uint64_t offset);
  // Replays a complete journal entry left by a writer that was killed mid-write.
  Status RecoverJournal();
  // Replays or drops what the journal holds and closes it: pack and zap give record offsets
  // a new meaning, and an old entry must never be replayed over them.
  Status SettleJournal();
  std::string JournalPath() const { return path_ + "-journal"; }
  Status WriteHeaderDate();
  Status CheckWritable() const;
  Status CheckWritableRecord() const;
  Status StartEdit(bool whole = false);
  Status Sync();
  int LockTimeoutMs() const;
  Status RewritePacked();

  std::string path_;
  std::string alias_;
  int mode_ = 0;
  int commit_level_ = 1;
  int area_ = 0;
  bool read_only_ = false;
  std::string damage_;
  std::string refusal_;
  std::optional<MountOfFile> mount_;
  TableLayout layout_;
  std::shared_ptr<SharedFile> file_;
  std::unique_ptr<MemoFile> memo_;
  std::string memo_problem_;

  uint32_t count_ = 0;
  uint32_t recno_ = 1;
  bool eof_ = true;
  bool bof_ = true;
  // The current record's bytes: where they were read (the mapped window, the block or the
  // fresh read) until that memory is about to change, then record_, which also takes edits.
  const uint8_t* current_ = nullptr;
  std::vector<uint8_t> record_;
  bool dirty_ = false;
  bool fresh_ = false;  // the current bytes were read from the file itself since then
  bool header_date_pending_ = false;  // a write happened and the header date is not yet today's
  bool header_date_written_ = false;  // the date was written in this session

  const uint8_t* view_ = nullptr;
  uint32_t view_recno_ = 0;

  struct NameSlot {
    const char* pointer = nullptr;
    alignas(16) char text[16] = {};  // zero-terminated
    size_t length = 0;
    int index = -1;
#if XB_NAMES_IN_ONE_LOAD
    // Whether the 16 bytes read from a name start with this text and its terminator; the
    // bytes past a shorter name's terminator are masked off, as that terminator differs.
    bool HoldsLoaded(__m128i given) const {
      const __m128i held = _mm_load_si128(reinterpret_cast<const __m128i*>(text));
      const unsigned same = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(given, held)));
      const unsigned wanted = (2u << length) - 1;
      return (same & wanted) == wanted;
    }
#endif
  };
  int RememberFieldIndex(const char* name) const;
  // FieldIndexOfName comparing the remembered texts with strcmp, which reads no byte past
  // the name's terminator.
  int FieldIndexOfNameByText(const char* name) const;
  mutable std::array<NameSlot, 8> name_slots_;
  mutable size_t next_name_slot_ = 0;

  // Bytes of record r from the mapped window (exclusive opens).
  Status PeekMapped(uint32_t r, const uint8_t** bytes);
  void Unmap();
  bool CurrentInWindow() const {
    return map_ != nullptr && current_ >= map_ && current_ < map_ + map_length_;
  }
  // The size of the file, failing when it ends before `end`: another program that ignored
  // the exclusive lock shortened it, and a read of the mapping there would fault.
  Status SizeReaching(uint64_t end, uint64_t* size);

  const uint8_t* map_ = nullptr;  // mapped window of the file (exclusive opens)
  uint64_t map_offset_ = 0;
  size_t map_length_ = 0;
  std::vector<uint8_t> probe_;  // one record read fresh
  std::vector<uint8_t> block_;  // block of a sequential read
  uint32_t block_first_ = 0;
  uint32_t block_records_ = 0;
  uint64_t block_generation_ = ~0ULL;

  int journal_fd_ = -1;           // open while this area has used the journal
  bool journal_pending_ = false;  // an entry was written and not yet cleared

  std::unique_ptr<CompiledExpr> query_;
  std::unique_ptr<QueryPlan> plan_;  // the optimiser's fast form of query_, when it has one
  std::string query_text_;
  // The text TypeOf compiled last, or the query set before the current one.
  std::unique_ptr<CompiledExpr> checked_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_TABLE_H_
