// Memo file reading (three flavours) and dBase III appends: data first, then the header's
// next-free block, so a crash leaves at worst unused blocks.
#include "engine/memo_file.h"

#include <cstring>

#include "base/byte_order.h"
#include "engine/os.h"

namespace xb {

using namespace velloria::bytes;
namespace {

constexpr uint32_t kDbt3Block = 512;

Status Damaged(const std::string& why) {
  return Status::Error(XB_ERR_CORRUPT, "Memo file: " + why);
}

}  // namespace

std::string MemoFile::PathFor(const std::string& table_path, MemoKind kind) {
  size_t slash = table_path.find_last_of('/');
  size_t dot = table_path.find_last_of('.');
  std::string base = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                         ? table_path
                         : table_path.substr(0, dot);
  bool lower = dot != std::string::npos && dot + 1 < table_path.size() &&
               table_path[dot + 1] >= 'a' && table_path[dot + 1] <= 'z';
  const char* ext = kind == MemoKind::kFpt ? (lower ? ".fpt" : ".FPT") : (lower ? ".dbt" : ".DBT");
  return base + ext;
}

Status MemoFile::Open(const std::string& table_path, MemoKind kind, bool exclusive, bool want_write,
                      std::unique_ptr<MemoFile>* out) {
  std::string path = PathFor(table_path, kind);
  path = ResolvePath(path);
  if (!CurrentOs()->Exists(path)) {
    return Status::Error(XB_ERR_OPEN, "Memo file " + path + " is missing");
  }
  std::shared_ptr<SharedFile> file;
  bool read_only = false;
  XB_RETURN_IF_ERROR(SharedFile::Acquire(path, exclusive, want_write, &file, &read_only));
  uint8_t header[32] = {};
  size_t done = 0;
  XB_RETURN_IF_ERROR(file->Read(header, sizeof header, 0, &done));
  if (done < sizeof header) return Damaged("truncated header");
  uint32_t block_size = kDbt3Block;
  if (kind == MemoKind::kDbt4) {
    block_size = Le16(header + 20);
  } else if (kind == MemoKind::kFpt) {
    block_size = Be16(header + 6);
  }
  if (block_size == 0) block_size = kDbt3Block;
  out->reset(new MemoFile(std::move(file), kind, block_size));
  return Status::Ok();
}

Status MemoFile::Create(const std::string& table_path) {
  std::shared_ptr<SharedFile> file;
  XB_RETURN_IF_ERROR(SharedFile::Create(PathFor(table_path, MemoKind::kDbt3), &file));
  uint8_t header[kDbt3Block] = {};
  header[0] = 1;  // next free block
  header[16] = 0x03;
  return file->Write(header, sizeof header, 0);
}

Status MemoFile::Read(uint32_t block, std::string* text) {
  text->clear();
  if (block == 0) return Status::Ok();
  uint64_t offset = uint64_t(block) * block_size_;
  uint64_t size = 0;
  XB_RETURN_IF_ERROR(file_->Size(&size));
  if (offset >= size) return Damaged("memo block " + std::to_string(block) + " is past the end");
  return kind_ == MemoKind::kDbt3 ? ReadDbt3(offset, text) : ReadSized(offset, text);
}

Status MemoFile::ReadDbt3(uint64_t offset, std::string* text) {
  char chunk[kDbt3Block];
  for (;;) {
    size_t done = 0;
    XB_RETURN_IF_ERROR(file_->Read(chunk, sizeof chunk, offset, &done));
    const char* end = static_cast<const char*>(std::memchr(chunk, 0x1A, done));
    if (end != nullptr) {
      text->append(chunk, size_t(end - chunk));
      return Status::Ok();
    }
    text->append(chunk, done);
    if (done < sizeof chunk) return Status::Ok();  // no end marker: the file's end ends it
    if (text->size() > kMaxMemo) return Damaged("memo without end marker");
    offset += done;
  }
}

Status MemoFile::ReadSized(uint64_t offset, std::string* text) {
  uint8_t head[8];
  size_t done = 0;
  XB_RETURN_IF_ERROR(file_->Read(head, sizeof head, offset, &done));
  if (done < sizeof head) return Damaged("truncated memo block");
  uint32_t length;
  if (kind_ == MemoKind::kFpt) {
    length = Be32(head + 4);
  } else {
    if (!(head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00)) {
      return Damaged("bad memo block signature");
    }
    length = Le32(head + 4);
    length = length >= 8 ? length - 8 : 0;  // the stored length counts the block header
  }
  uint64_t size = 0;
  XB_RETURN_IF_ERROR(file_->Size(&size));
  if (length > kMaxMemo || offset + 8 + length > size) return Damaged("memo longer than the file");
  text->resize(length);
  XB_RETURN_IF_ERROR(file_->Read(text->data(), length, offset + 8, &done));
  text->resize(done);
  return Status::Ok();
}

Status MemoFile::BlocksOf(uint32_t block, uint32_t* count) {
  std::string text;
  XB_RETURN_IF_ERROR(Read(block, &text));
  size_t framing = kind_ == MemoKind::kDbt3 ? 2 : 8;  // end marker, or block header
  *count = uint32_t((text.size() + framing + block_size_ - 1) / block_size_);
  return Status::Ok();
}

Status MemoFile::NextFreeBlock(uint32_t* block) {
  uint8_t head[4] = {};
  size_t done = 0;
  XB_RETURN_IF_ERROR(file_->Read(head, sizeof head, 0, &done));
  if (done < sizeof head) return Damaged("truncated header");
  *block = kind_ == MemoKind::kFpt ? Be32(head) : Le32(head);
  return Status::Ok();
}

Status MemoFile::Append(const void* data, size_t size, int lock_timeout_ms, uint32_t* block) {
  *block = 0;
  if (size == 0) return Status::Ok();
  if (kind_ != MemoKind::kDbt3) {
    return Status::Error(XB_ERR_NOT_SUPPORTED, "Writing this memo file format is not supported");
  }
  if (std::memchr(data, 0x1A, size) != nullptr) {
    return Status::Error(XB_ERR_VALUE, "A dBase III memo cannot hold the byte 0x1A (its end mark)");
  }
  if (size > kMaxMemo) return Status::Error(XB_ERR_VALUE, "Memo longer than 16 MiB");
  bool granted = false;
  XB_RETURN_IF_ERROR(file_->LockHeader(lock_timeout_ms, &granted));
  if (!granted) return Status::Error(XB_ERR_LOCKED, "Memo file is locked by another user");
  uint8_t head[4];
  size_t done = 0;
  uint64_t file_size = 0;
  Status s = file_->Read(head, sizeof head, 0, &done);
  if (s.ok()) s = file_->Size(&file_size);
  if (s.ok()) {
    uint32_t next = done == 4 ? Le32(head) : 1;
    uint32_t by_size = uint32_t((file_size + kDbt3Block - 1) / kDbt3Block);
    if (next < by_size) next = by_size;  // never overwrite blocks another writer used
    if (next == 0) next = 1;
    std::string bytes(static_cast<const char*>(data), size);
    bytes.append("\x1A\x1A", 2);
    bytes.resize((bytes.size() + kDbt3Block - 1) / kDbt3Block * kDbt3Block, '\0');
    s = file_->Write(bytes.data(), bytes.size(), uint64_t(next) * kDbt3Block);
    uint32_t after = next + uint32_t(bytes.size() / kDbt3Block);
    uint8_t out[4];
    PutLe32(out, after);
    if (s.ok()) s = file_->Write(out, sizeof out, 0);
    if (s.ok()) *block = next;
  }
  Status unlock = file_->UnlockHeader();
  return s.ok() ? unlock : s;
}

Status MemoFile::Sync() { return CurrentOs()->Sync(file_->fd()); }

}  // namespace xb
