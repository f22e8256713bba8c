// MemoFile: the memo file beside a table. Reads dBase III .DBT (512-byte blocks, text ended by
// 0x1A 0x1A), dBase IV .DBT (block header with length) and FoxPro .FPT; writes dBase III .DBT
// only, always appending (no free list: a rewritten memo takes new blocks). Single-threaded.
#ifndef VELLORIA_ENGINE_MEMO_FILE_H_
#define VELLORIA_ENGINE_MEMO_FILE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "engine/dbf_layout.h"
#include "engine/shared_file.h"

namespace xb {

class MemoFile {
 public:
  // Opens the memo file of kind beside table_path (its extension .DBT or .FPT, any case).
  static Status Open(const std::string& table_path, MemoKind kind, bool exclusive, bool want_write,
                     std::unique_ptr<MemoFile>* out);
  // Creates an empty dBase III memo file for the table at table_path.
  static Status Create(const std::string& table_path);
  // The memo file's path for a table path (the extension replaced, letter case kept).
  static std::string PathFor(const std::string& table_path, MemoKind kind);

  // Reads the memo starting at block (0 = none gives ""). Memos longer than the file or than
  // kMaxMemo are reported as damaged.
  Status Read(uint32_t block, std::string* text);
  // The number of blocks the memo at `block` occupies, its block header and end marker
  // included; fails as Read does.
  Status BlocksOf(uint32_t block, uint32_t* count);
  // The first block no memo uses yet, as the file's header states it.
  Status NextFreeBlock(uint32_t* block);
  // Appends a memo and returns its first block (0 for empty data, which needs no block).
  // A dBase III memo ends at the byte 0x1A, so data holding it is refused.
  Status Append(const void* data, size_t size, int lock_timeout_ms, uint32_t* block);
  Status Sync();

  static constexpr size_t kMaxMemo = 16u << 20;

 private:
  MemoFile(std::shared_ptr<SharedFile> file, MemoKind kind, uint32_t block_size)
      : file_(std::move(file)), kind_(kind), block_size_(block_size) {}
  Status ReadDbt3(uint64_t offset, std::string* text);
  Status ReadSized(uint64_t offset, std::string* text);

  std::shared_ptr<SharedFile> file_;
  MemoKind kind_;
  uint32_t block_size_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_MEMO_FILE_H_
