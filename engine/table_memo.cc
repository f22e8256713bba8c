// Table memos: reading a memo field's text, writing a new memo and checking every memo
// reference of the table.
#include <algorithm>

#include "base/byte_order.h"
#include "engine/table.h"

namespace xb {

using namespace velloria::bytes;
namespace {

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

}  // namespace xb
