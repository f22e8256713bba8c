// Table record reads: the mapped window of an exclusive open, the read-ahead block of a
// sequential read and the fresh read of one record.
#include <algorithm>
#include <cstring>

#include "engine/os.h"
#include "engine/settings.h"
#include "engine/table.h"

namespace xb {
namespace {

constexpr size_t kBlockBytes = 128 * 1024;

}  // namespace

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

}  // namespace xb
