// NtxFile: the NTX B-tree. Pages are decoded into item lists, changed in memory and written
// back at the end of each update together with a header whose version is incremented, under
// the index lock at byte 1,000,000,000. Entries are ordered by key, then record number.
#include "engine/ntx_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/os.h"
#include "engine/settings.h"
#include "engine/shared_file.h"

namespace xb {
namespace {

constexpr uint64_t kIndexLockByte = 1000000000ULL;
// Read-locked by every sharing handle counted in the pending mark: a mark nobody holds this
// byte for was left by a writer that stopped.
constexpr uint64_t kWriterLockByte = kIndexLockByte + 1;
constexpr int kKeyExprOffset = 22;
constexpr int kUniqueOffset = 278;
constexpr int kDescendOffset = 280;
constexpr int kForExprOffset = 282;
constexpr int kTagOffset = 538;
constexpr size_t kExprBytes = 256;
constexpr int kPendingOffset = 1023;
// Deeper than any real tree (a 4-byte page offset cannot address more levels of pages
// holding two items or more): a path longer than this one loops.
constexpr uint32_t kMaxDepth = 64;
// How many entries ahead the page writer asks for their key and record number.
constexpr size_t kPrefetchAhead = 64;  // a byte of the header's unused tail

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
std::string CString(const uint8_t* p, size_t max) {
  size_t n = 0;
  while (n < max && p[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(p), n);
}
void PutCString(uint8_t* p, const std::string& s, size_t max) {
  std::memcpy(p, s.data(), std::min(s.size(), max - 1));
}
Status Corrupt(const std::string& path, const std::string& what) {
  return Status::Error(XB_ERR_CORRUPT, "Index " + path + " is damaged: " + what);
}

std::vector<uint8_t> EncodeHeader(const NtxHeader& h) {
  std::vector<uint8_t> b(kNtxPageSize, 0);
  Put16(&b[0], h.signature);
  Put16(&b[2], h.version);
  Put32(&b[4], h.root);
  Put32(&b[8], h.free_page);
  Put16(&b[12], uint32_t(h.key_size) + 8);
  Put16(&b[14], h.key_size);
  Put16(&b[16], h.key_decimals);
  Put16(&b[18], h.max_items);
  Put16(&b[20], h.half_page);
  PutCString(&b[kKeyExprOffset], h.key_expr, kExprBytes);
  b[kUniqueOffset] = h.unique ? 1 : 0;
  b[kDescendOffset] = h.descending ? 1 : 0;
  PutCString(&b[kForExprOffset], h.for_expr, kExprBytes);
  PutCString(&b[kTagOffset], h.tag_name, 12);
  b[kPendingOffset] = h.pending;
  return b;
}

// The keys' first eight bytes as one number keeping only the bits that differ between keys
// (a bit the same in every key cannot order them), so that they shrink to few radix passes.
class RankedPrefix {
 public:
  RankedPrefix(const std::vector<char>& keys, size_t ks, size_t count)
      : head_(std::min<size_t>(8, ks)) {
    uint64_t first = 0, differ = 0;  // byte b of a key at bits 8b
    if (count > 0) first = Bytes(keys.data());
    for (size_t i = 1; i < count; ++i) differ |= Bytes(&keys[i * ks]) ^ first;
    int below = 0;  // bits taken by the positions after b
    for (size_t b = head_; b-- > 0;) {
      const unsigned mask = unsigned(differ >> (8 * b)) & 0xFF;
      for (unsigned v = 0; v < 256; ++v) {  // v's differing bits, packed low
        uint64_t packed = 0;
        for (int bit = 7; bit >= 0; --bit)
          if (mask & (1u << bit)) packed = (packed << 1) | ((v >> bit) & 1);
        placed_[b][v] = packed << below;
      }
      below += __builtin_popcount(mask);
    }
    bits_ = below;
  }
  int bits() const { return bits_; }
  uint64_t Of(const char* key) const {
    uint64_t value = 0;
    for (size_t b = 0; b < head_; ++b) value |= placed_[b][uint8_t(key[b])];
    return value;
  }

 private:
  uint64_t Bytes(const char* key) const {
    uint64_t bytes = 0;
    if (head_ == 8) std::memcpy(&bytes, key, 8);
    else std::memcpy(&bytes, key, head_);
    return bytes;
  }

  size_t head_;
  uint64_t placed_[8][256] = {};  // a byte's differing bits at their place in the number
  int bits_ = 0;
};

// The order of count keys of ks bytes each (indexes into keys): by key bytes, reversed when
// descending, equal keys in record order. A stable radix sort on the ranked first eight
// bytes (as few 11-bit passes as their bits need, on 32-bit numbers when they fit), then
// each run of equal first bytes sorted on the rest of the key.
template <typename Prefix>
std::vector<uint32_t> SortOnRanks(const std::vector<char>& keys, size_t ks, bool desc,
                                  const RankedPrefix& ranked) {
  struct Sortable {
    Prefix prefix;
    uint32_t index;
  };
  // Digits of at most 14 bits, as few passes as the bits need, the bits spread evenly.
  constexpr int kMaxDigitBits = 14;
  const int passes = (ranked.bits() + kMaxDigitBits - 1) / kMaxDigitBits;
  const int digit_bits = passes == 0 ? 1 : (ranked.bits() + passes - 1) / passes;
  const size_t buckets = size_t(1) << digit_bits;
  const size_t count = keys.size() / ks;
  const uint64_t all = ranked.bits() == 64 ? ~uint64_t(0) : (uint64_t(1) << ranked.bits()) - 1;
  // Left uninitialised: every element is written before it is read.
  std::unique_ptr<Sortable[]> sortable(new Sortable[count]), scratch(new Sortable[count]);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t prefix = ranked.Of(&keys[size_t(i) * ks]);
    sortable[i] = Sortable{Prefix(desc ? all - prefix : prefix), i};
  }
  for (int shift = 0; shift < ranked.bits(); shift += digit_bits) {
    std::vector<size_t> starts(buckets + 1, 0);
    for (size_t i = 0; i < count; ++i) ++starts[((sortable[i].prefix >> shift) & (buckets - 1)) + 1];
    for (size_t d = 0; d < buckets; ++d) starts[d + 1] += starts[d];
    for (size_t i = 0; i < count; ++i)
      scratch[starts[(sortable[i].prefix >> shift) & (buckets - 1)]++] = sortable[i];
    sortable.swap(scratch);
  }
  scratch.reset();
  if (ks > 8) {
    auto by_rest = [&](const Sortable& a, const Sortable& b) {
      int c = std::memcmp(&keys[size_t(a.index) * ks + 8], &keys[size_t(b.index) * ks + 8], ks - 8);
      if (c != 0) return desc ? c > 0 : c < 0;
      return a.index < b.index;
    };
    for (size_t from = 0; from < count;) {
      size_t to = from + 1;
      while (to < count && sortable[to].prefix == sortable[from].prefix) ++to;
      if (to - from > 1)
        std::sort(&sortable[from], &sortable[from] + (to - from), by_rest);
      from = to;
    }
  }
  std::vector<uint32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = sortable[i].index;
  return order;
}

std::vector<uint32_t> SortedOrder(const std::vector<char>& keys, size_t ks, bool desc) {
  const RankedPrefix ranked(keys, ks, keys.size() / ks);
  return ranked.bits() <= 32 ? SortOnRanks<uint32_t>(keys, ks, desc, ranked)
                             : SortOnRanks<uint64_t>(keys, ks, desc, ranked);
}

}  // namespace

int NtxMaxItems(int key_size) {
  int max = (kNtxPageSize - 2) / (key_size + 10) - 1;
  if (max % 2 == 1 && max > 2) --max;
  return max;
}

NtxFile::~NtxFile() {
  if (fd_ >= 0) CurrentOs()->Close(fd_);
}

std::vector<uint8_t> NtxFile::Encode(const Page& page) const {
  std::vector<uint8_t> b(kNtxPageSize, 0);
  const size_t n = page.items.size();
  const size_t item_size = size_t(header_.key_size) + 8;
  const size_t base = 2 + 2 * (size_t(header_.max_items) + 1);
  Put16(&b[0], uint32_t(n));
  for (size_t i = 0; i <= header_.max_items; ++i) Put16(&b[2 + 2 * i], uint32_t(base + i * item_size));
  for (size_t i = 0; i <= n; ++i) {
    uint8_t* p = &b[base + i * item_size];
    if (i == n) {
      Put32(p, page.right);
      break;
    }
    Put32(p, page.items[i].child);
    Put32(p + 4, page.items[i].recno);
    std::memcpy(p + 8, page.items[i].key.data(), header_.key_size);
  }
  return b;
}

Status NtxFile::Decode(const uint8_t* b, uint32_t offset, Page* page) const {
  const size_t n = U16(b);
  const size_t item_size = size_t(header_.key_size) + 8;
  if (n > header_.max_items) return Corrupt(path_, "page " + std::to_string(offset) + " overfull");
  page->items.resize(n);
  for (size_t i = 0; i <= n; ++i) {
    size_t at = U16(b + 2 + 2 * i);
    if (at + item_size > kNtxPageSize)
      return Corrupt(path_, "item outside page " + std::to_string(offset));
    const uint8_t* p = b + at;
    uint32_t child = U32(p);
    if (child % kNtxPageSize != 0 || child >= file_size_)
      return Corrupt(path_, "bad child reference in page " + std::to_string(offset));
    if (i == n) {
      page->right = child;
      break;
    }
    page->items[i].child = child;
    page->items[i].recno = U32(p + 4);
    page->items[i].key.assign(reinterpret_cast<const char*>(p + 8), header_.key_size);
  }
  bool any_child = page->right != 0;
  for (const Item& it : page->items)
    if ((it.child != 0) != any_child)
      return Corrupt(path_, "page " + std::to_string(offset) + " mixes leaf and branch items");
  return Status::Ok();
}

Status NtxFile::ReadHeader() {
  uint8_t b[kNtxPageSize];
  size_t done = 0;
  XB_RETURN_IF_ERROR(CurrentOs()->Read(fd_, b, sizeof b, 0, &done));
  XB_RETURN_IF_ERROR(CurrentOs()->Size(fd_, &file_size_));
  if (done < sizeof b) return Corrupt(path_, "the header is incomplete");
  NtxHeader h;
  h.signature = U16(b);
  h.version = U16(b + 2);
  h.root = U32(b + 4);
  h.free_page = U32(b + 8);
  h.key_size = U16(b + 14);
  h.key_decimals = U16(b + 16);
  h.max_items = U16(b + 18);
  h.half_page = U16(b + 20);
  h.key_expr = CString(b + kKeyExprOffset, kExprBytes);
  h.unique = b[kUniqueOffset] != 0;
  h.descending = b[kDescendOffset] != 0;
  h.for_expr = CString(b + kForExprOffset, kExprBytes);
  h.tag_name = CString(b + kTagOffset, 12);
  h.pending = b[kPendingOffset];
  if (h.signature != 6 && h.signature != 3) return Corrupt(path_, "not an NTX signature");
  if (h.key_size == 0 || h.key_size > kNtxMaxKeySize || U16(b + 12) != h.key_size + 8)
    return Corrupt(path_, "bad key size");
  if (h.max_items < 2 || 2 + (h.max_items + 1) * (h.key_size + 10) > kNtxPageSize)
    return Corrupt(path_, "bad page capacity");
  if (h.root == 0 || h.root % kNtxPageSize != 0 || h.root >= file_size_)
    return Corrupt(path_, "bad root page");
  header_ = h;
  return Status::Ok();
}

Status NtxFile::WriteHeader() {
  std::vector<uint8_t> b = EncodeHeader(header_);
  return CurrentOs()->Write(fd_, b.data(), b.size(), 0);
}

// The image goes out marked pending and the mark is cleared after it, so a build cut short
// leaves an index that is rebuilt rather than trusted. The file is never reached through a
// link, and one that another program has open is refused rather than emptied under it.
Status NtxFile::Build(const std::string& path, NtxHeader header, const std::vector<char>& keys,
                      const std::vector<uint32_t>& recnos) {
  header.pending = true;
  std::vector<uint8_t> out;
  BuildImage(&header, keys, recnos, &out);
  int fd = -1;
  XB_RETURN_IF_ERROR(OpenSideFileAlone(path, &fd));
  Status s = CurrentOs()->Write(fd, out.data(), out.size(), 0);
  const uint8_t cleared = 0;
  if (s.ok()) s = CurrentOs()->Write(fd, &cleared, 1, kPendingOffset);
  CurrentOs()->Close(fd);
  return s;
}

// Alone on the index (exclusive, or claimed from a stopped writer) the rebuild clears the
// mark after it; sharing it, the rebuild is one more write of a counted writer.
Status NtxFile::Rebuild(const std::vector<char>& keys, const std::vector<uint32_t>& recnos) {
  broken_ = false;
  const bool alone = exclusive_ || claimed_;
  if (!alone) XB_RETURN_IF_ERROR(Broken(MarkPending(/*sync=*/true)));
  XB_RETURN_IF_ERROR(Broken(BeginUpdate()));
  NtxHeader header = header_;
  header.free_page = 0;
  header.pending = std::max<uint8_t>(header_.pending, 1);
  std::vector<uint8_t> out;
  BuildImage(&header, keys, recnos, &out);
  cache_.clear();
  dirty_.clear();
  freed_.clear();
  Status s = CurrentOs()->Write(fd_, out.data(), out.size(), 0);
  if (s.ok()) s = CurrentOs()->Truncate(fd_, out.size());
  header_ = header;
  file_size_ = out.size();
  XB_RETURN_IF_ERROR(EndUpdate(s));
  if (!alone) return Status::Ok();
  s = CurrentOs()->Sync(fd_);
  if (s.ok()) s = WritePendingByte(0);
  if (claimed_) CurrentOs()->UnlockRange(fd_, kWriterLockByte, 1);
  claimed_ = false;
  marked_ = false;
  return s;
}

void NtxFile::BuildImage(NtxHeader* header_io, const std::vector<char>& keys,
                         const std::vector<uint32_t>& recnos, std::vector<uint8_t>* image) {
  NtxHeader& header = *header_io;
  NtxFile f;
  const size_t ks = header.key_size;
  header.max_items = uint16_t(NtxMaxItems(int(ks)));
  header.half_page = uint16_t(header.max_items / 2);
  f.header_ = header;
  std::vector<uint32_t> order = SortedOrder(keys, ks, header.descending);
  if (header.unique) {
    auto same = [&](uint32_t x, uint32_t y) { return std::memcmp(&keys[x * ks], &keys[y * ks], ks) == 0; };
    order.erase(std::unique(order.begin(), order.end(), same), order.end());
  }
  // The keys and record numbers gathered in sorted order, so that the pages are written from
  // sequential memory.
  std::unique_ptr<char[]> sorted_keys(new char[order.size() * ks]);
  std::unique_ptr<uint32_t[]> sorted_recnos(new uint32_t[order.size()]);
  // Keys of every record in record order (no condition left any out) need no look-up of
  // their record numbers.
  bool numbered = true;
  for (size_t i = 0; i < recnos.size() && numbered; ++i) numbered = recnos[i] == i + 1;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i + kPrefetchAhead < order.size()) {
      __builtin_prefetch(&keys[size_t(order[i + kPrefetchAhead]) * ks]);
      if (!numbered) __builtin_prefetch(&recnos[order[i + kPrefetchAhead]]);
    }
    std::memcpy(&sorted_keys[i * ks], &keys[size_t(order[i]) * ks], ks);
    sorted_recnos[i] = numbered ? order[i] + 1 : recnos[order[i]];
  }
  const size_t total = order.size();
  order = std::vector<uint32_t>();
  // Level by level: each level's entries (indexes into the sorted keys; the leaves take them
  // all) and children are cut into evenly filled pages, written straight into the image; the
  // entry between two pages goes up to the next level.
  const size_t max = header.max_items;
  const size_t base = 2 + 2 * (max + 1), item_size = ks + 8;
  std::vector<uint32_t> entries, children;
  std::vector<uint8_t> out;
  out.reserve((total / std::max<size_t>(1, max / 2) + 2) * kNtxPageSize);
  out.resize(kNtxPageSize, 0);
  for (bool leaves = true;; leaves = false) {
    const size_t n = leaves ? total : entries.size();
    auto entry = [&](size_t at) { return leaves ? at : size_t(entries[at]); };
    auto child = [&](size_t at) { return leaves ? 0u : children[at]; };
    const size_t pages = (n + 1 + max) / (max + 1);
    const size_t per_page = (n - (pages - 1)) / pages;
    size_t extra = (n - (pages - 1)) % pages;
    std::vector<uint32_t> up, up_children;
    size_t at = 0;
    for (size_t p = 0; p < pages; ++p) {
      const size_t take = per_page + (p < extra ? 1 : 0);
      const uint32_t offset = uint32_t(out.size());
      out.resize(out.size() + kNtxPageSize, 0);
      uint8_t* page = &out[offset];
      Put16(page, uint32_t(take));
      for (size_t i = 0; i <= max; ++i) Put16(page + 2 + 2 * i, uint32_t(base + i * item_size));
      for (size_t i = 0; i < take; ++i, ++at) {
        uint8_t* item = page + base + i * item_size;
        Put32(item, child(at));
        Put32(item + 4, sorted_recnos[entry(at)]);
        std::memcpy(item + 8, &sorted_keys[entry(at) * ks], ks);
      }
      Put32(page + base + take * item_size, child(at));
      up_children.push_back(offset);
      if (p + 1 < pages) up.push_back(uint32_t(entry(at++)));
    }
    if (pages == 1) {
      f.header_.root = up_children[0];
      break;
    }
    entries = std::move(up);
    children = std::move(up_children);
  }
  header = f.header_;
  std::vector<uint8_t> head = EncodeHeader(header);
  std::copy(head.begin(), head.end(), out.begin());
  *image = std::move(out);
}

Status NtxFile::Open(const std::string& path, bool read_only, bool exclusive,
                     std::unique_ptr<NtxFile>* out) {
  std::unique_ptr<NtxFile> f(new NtxFile());
  f->path_ = path;
  f->read_only_ = read_only;
  f->exclusive_ = exclusive;
  XB_RETURN_IF_ERROR(CurrentOs()->Open(path, read_only, false, &f->fd_));
  bool granted = false;
  XB_RETURN_IF_ERROR(CurrentOs()->LockFile(f->fd_, exclusive, &granted));
  if (!granted)
    return Status::Error(XB_ERR_LOCKED, "Index " + path + (exclusive ? " is in use by another user"
                                                                     : " is opened exclusively"));
  XB_RETURN_IF_ERROR(f->ReadHeader());
  *out = std::move(f);
  return Status::Ok();
}

Status NtxFile::Refresh() {
  if (broken_) return Status::Error(XB_ERR_CORRUPT, "index needs rebuilding: " + path_);
  uint8_t b[4];
  size_t done = 0;
  XB_RETURN_IF_ERROR(CurrentOs()->Read(fd_, b, sizeof b, 0, &done));
  if (done == sizeof b && U16(b + 2) == header_.version) return Status::Ok();
  cache_.clear();
  return ReadHeader();
}

Status NtxFile::Load(uint32_t offset, Page** page) {
  auto it = cache_.find(offset);
  if (it == cache_.end()) {
    if (offset == 0 || offset % kNtxPageSize != 0 || offset >= file_size_)
      return Corrupt(path_, "reference to page " + std::to_string(offset));
    uint8_t b[kNtxPageSize];
    size_t done = 0;
    XB_RETURN_IF_ERROR(CurrentOs()->Read(fd_, b, sizeof b, offset, &done));
    if (done < sizeof b) return Corrupt(path_, "page " + std::to_string(offset) + " cut short");
    Page decoded;
    XB_RETURN_IF_ERROR(Decode(b, offset, &decoded));
    if (cache_.size() > 4096 && dirty_.empty()) cache_.clear();
    it = cache_.emplace(offset, std::move(decoded)).first;
  }
  *page = &it->second;
  return Status::Ok();
}

Status NtxFile::LoadAt(uint32_t offset, uint32_t depth, Page** page) {
  if (depth > kMaxDepth) return Corrupt(path_, "the tree loops");
  return Load(offset, page);
}

void NtxFile::Store(uint32_t offset, const Page& page) {
  cache_[offset] = page;
  dirty_.insert(offset);
}

Status NtxFile::Allocate(uint32_t* offset) {
  if (header_.free_page != 0) {
    *offset = header_.free_page;
    uint8_t b[4] = {0, 0, 0, 0};
    size_t done = 0;
    XB_RETURN_IF_ERROR(CurrentOs()->Read(fd_, b, sizeof b, *offset, &done));
    header_.free_page = U32(b);
    if (header_.free_page % kNtxPageSize != 0 || header_.free_page >= file_size_)
      return Corrupt(path_, "bad free-page chain");
  } else {
    *offset = uint32_t((file_size_ + kNtxPageSize - 1) / kNtxPageSize * kNtxPageSize);
    file_size_ = uint64_t(*offset) + kNtxPageSize;
  }
  return Status::Ok();
}

void NtxFile::Free(uint32_t offset) {
  cache_.erase(offset);
  dirty_.erase(offset);
  freed_.push_back(offset);
}

// Takes a one-byte lock of fd (shared or not), retrying until the lock timeout.
Status WaitForLock(int fd, uint64_t byte, bool shared, const std::string& path) {
  const int64_t deadline =
      CurrentOs()->NowMillis() + int64_t(GlobalSettings().lock_timeout_seconds) * 1000;
  for (;;) {
    bool granted = false;
    XB_RETURN_IF_ERROR(shared ? CurrentOs()->ShareRange(fd, byte, 1, &granted)
                              : CurrentOs()->LockRange(fd, byte, 1, &granted));
    if (granted) return Status::Ok();
    if (CurrentOs()->NowMillis() >= deadline)
      return Status::Error(XB_ERR_LOCKED, "Index " + path + " is locked by another user");
    CurrentOs()->SleepMillis(10);
  }
}

Status NtxFile::BeginUpdate() {
  if (read_only_) return Status::Error(XB_ERR_READ_ONLY, "Index " + path_ + " is read-only");
  XB_RETURN_IF_ERROR(WaitForLock(fd_, kIndexLockByte, /*shared=*/false, path_));
  Status s = Refresh();
  if (!s.ok()) CurrentOs()->UnlockRange(fd_, kIndexLockByte, 1);
  return s;
}

Status NtxFile::EndUpdate(Status result) {
  Status s = result;
  for (uint32_t offset : dirty_) {
    std::vector<uint8_t> b = Encode(cache_[offset]);
    if (s.ok()) s = CurrentOs()->Write(fd_, b.data(), b.size(), offset);
  }
  for (uint32_t offset : freed_) {
    std::vector<uint8_t> b(kNtxPageSize, 0);
    Put32(b.data(), header_.free_page);
    header_.free_page = offset;
    if (s.ok()) s = CurrentOs()->Write(fd_, b.data(), b.size(), offset);
  }
  dirty_.clear();
  freed_.clear();
  header_.version = uint16_t(header_.version + 1);
  if (s.ok()) s = WriteHeader();
  if (!s.ok()) cache_.clear();
  CurrentOs()->UnlockRange(fd_, kIndexLockByte, 1);
  return Broken(s);
}

Status NtxFile::Broken(Status s) {
  if (!s.ok()) broken_ = true;
  return s;
}

int NtxFile::Compare(const std::string& key, uint32_t recno, const Item& item) const {
  int c = std::memcmp(key.data(), item.key.data(), header_.key_size);
  if (header_.descending) c = -c;
  if (c != 0) return c;
  return recno < item.recno ? -1 : recno > item.recno ? 1 : 0;
}

int NtxFile::ComparePrefix(const std::string& key, const std::string& prefix) const {
  size_t n = std::min<size_t>(prefix.size(), header_.key_size);
  int c = std::memcmp(prefix.data(), key.data(), n);
  return header_.descending ? -c : c;
}

Status NtxFile::WritePendingByte(uint8_t pending) {
  XB_RETURN_IF_ERROR(CurrentOs()->Write(fd_, &pending, 1, kPendingOffset));
  header_.pending = pending;
  return Status::Ok();
}

Status NtxFile::CountWriter(int delta) {
  XB_RETURN_IF_ERROR(WaitForLock(fd_, kIndexLockByte, /*shared=*/false, path_));
  uint8_t count = 0;
  size_t done = 0;
  Status s = CurrentOs()->Read(fd_, &count, 1, kPendingOffset, &done);
  if (s.ok()) s = WritePendingByte(uint8_t(std::clamp(int(count) + delta, 0, 255)));
  CurrentOs()->UnlockRange(fd_, kIndexLockByte, 1);
  return s;
}

Status NtxFile::MarkPending(bool sync) {
  if (marked_ || read_only_) return Status::Ok();
  if (!exclusive_) XB_RETURN_IF_ERROR(WaitForLock(fd_, kWriterLockByte, /*shared=*/true, path_));
  Status s = exclusive_ ? WritePendingByte(1) : CountWriter(+1);
  if (s.ok() && sync) s = CurrentOs()->Sync(fd_);
  if (!s.ok()) {
    if (!exclusive_) CurrentOs()->UnlockRange(fd_, kWriterLockByte, 1);
    return s;
  }
  marked_ = true;
  return Status::Ok();
}

Status NtxFile::ClearPending(bool sync) {
  if (!marked_ || broken_) return Status::Ok();
  Status s = sync ? CurrentOs()->Sync(fd_) : Status::Ok();
  if (s.ok()) s = exclusive_ ? WritePendingByte(0) : CountWriter(-1);
  if (!exclusive_) CurrentOs()->UnlockRange(fd_, kWriterLockByte, 1);
  marked_ = false;
  return s;
}

Status NtxFile::WriterAlive(bool* alive) {
  *alive = false;
  if (exclusive_) return Status::Ok();
  if (read_only_) return CurrentOs()->RangeHeld(fd_, kWriterLockByte, 1, alive);
  bool granted = false;
  XB_RETURN_IF_ERROR(CurrentOs()->LockRange(fd_, kWriterLockByte, 1, &granted));
  *alive = !granted;
  claimed_ = granted;
  return Status::Ok();
}

Status NtxFile::Insert(const std::string& key, uint32_t recno) {
  XB_RETURN_IF_ERROR(Broken(BeginUpdate()));
  Item item{0, recno, key};
  item.key.resize(header_.key_size, ' ');
  if (header_.unique) {  // a unique order keeps the first record of equal keys only
    NtxEntry same;
    Status s = SeekFirst(item.key, &same);
    if (!s.ok() || (same.valid() && same.key == item.key)) return EndUpdate(s);
  }
  bool split = false;
  Item promoted;
  Status s = InsertInto(header_.root, 0, item, &split, &promoted);
  if (s.ok() && split) {
    uint32_t root = 0;
    s = Allocate(&root);
    if (s.ok()) {
      Page page;
      page.items.push_back(promoted);
      page.right = header_.root;
      Store(root, page);
      header_.root = root;
    }
  }
  return EndUpdate(s);
}

Status NtxFile::InsertInto(uint32_t offset, uint32_t depth, Item item, bool* split,
                           Item* promoted) {
  Page* page = nullptr;
  XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
  size_t pos = 0;
  while (pos < page->items.size() && Compare(item.key, item.recno, page->items[pos]) > 0) ++pos;
  if (pos < page->items.size() && Compare(item.key, item.recno, page->items[pos]) == 0)
    return Status::Ok();  // already there
  Page copy = *page;
  if (!copy.leaf()) {
    uint32_t child = pos < copy.items.size() ? copy.items[pos].child : copy.right;
    bool child_split = false;
    Item up;
    XB_RETURN_IF_ERROR(InsertInto(child, depth + 1, std::move(item), &child_split, &up));
    if (!child_split) return Status::Ok();
    XB_RETURN_IF_ERROR(Load(offset, &page));  // the cache may have been trimmed
    copy = *page;
    item = std::move(up);
  }
  copy.items.insert(copy.items.begin() + std::ptrdiff_t(pos), std::move(item));
  *split = copy.items.size() > header_.max_items;
  if (!*split) {
    Store(offset, copy);
    return Status::Ok();
  }
  // The left half moves to a new page; this page keeps the right half, so the parent's
  // reference to it stays right and the promoted item points left.
  const size_t mid = copy.items.size() / 2;
  Page left;
  left.items.assign(copy.items.begin(), copy.items.begin() + std::ptrdiff_t(mid));
  left.right = copy.items[mid].child;
  *promoted = copy.items[mid];
  copy.items.erase(copy.items.begin(), copy.items.begin() + std::ptrdiff_t(mid) + 1);
  uint32_t left_offset = 0;
  XB_RETURN_IF_ERROR(Allocate(&left_offset));
  promoted->child = left_offset;
  Store(left_offset, left);
  Store(offset, copy);
  return Status::Ok();
}

Status NtxFile::Remove(const std::string& key, uint32_t recno) {
  XB_RETURN_IF_ERROR(Broken(BeginUpdate()));
  std::string padded = key;
  padded.resize(header_.key_size, ' ');
  bool found = false;
  Status s = RemoveFrom(header_.root, 0, padded, recno, &found);
  Page* root = nullptr;
  if (s.ok()) s = Load(header_.root, &root);
  if (s.ok() && root->items.empty() && !root->leaf()) {
    uint32_t old = header_.root;
    header_.root = root->right;
    Free(old);
  }
  return EndUpdate(s);
}

Status NtxFile::Rightmost(uint32_t offset, Item* out) {
  for (uint32_t depth = 0;; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    if (page->leaf()) {
      if (page->items.empty()) return Corrupt(path_, "empty leaf below a branch");
      *out = page->items.back();
      return Status::Ok();
    }
    offset = page->right;
  }
}

Status NtxFile::Leftmost(uint32_t offset, Item* out) {
  for (uint32_t depth = 0;; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    if (page->leaf()) {
      if (page->items.empty()) return Corrupt(path_, "empty leaf below a branch");
      *out = page->items.front();
      return Status::Ok();
    }
    offset = page->items.empty() ? page->right : page->items.front().child;
  }
}

Status NtxFile::RemoveFrom(uint32_t offset, uint32_t depth, const std::string& key, uint32_t recno,
                           bool* found) {
  Page* page = nullptr;
  XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
  size_t pos = 0;
  while (pos < page->items.size() && Compare(key, recno, page->items[pos]) > 0) ++pos;
  const bool here = pos < page->items.size() && Compare(key, recno, page->items[pos]) == 0;
  if (page->leaf()) {
    if (!here) return Status::Ok();
    Page copy = *page;
    copy.items.erase(copy.items.begin() + std::ptrdiff_t(pos));
    Store(offset, copy);
    *found = true;
    return Status::Ok();
  }
  if (here) {
    // Replace the item by its predecessor, the last item of its left subtree, then remove
    // that predecessor from the subtree.
    Item pred;
    uint32_t child = page->items[pos].child;
    XB_RETURN_IF_ERROR(Rightmost(child, &pred));
    XB_RETURN_IF_ERROR(Load(offset, &page));
    Page copy = *page;
    copy.items[pos].key = pred.key;
    copy.items[pos].recno = pred.recno;
    Store(offset, copy);
    XB_RETURN_IF_ERROR(RemoveFrom(child, depth + 1, pred.key, pred.recno, found));
  } else {
    uint32_t child = pos < page->items.size() ? page->items[pos].child : page->right;
    XB_RETURN_IF_ERROR(RemoveFrom(child, depth + 1, key, recno, found));
  }
  return FixChild(offset, pos);
}

Status NtxFile::FixChild(uint32_t parent_offset, size_t i) {
  Page* p = nullptr;
  XB_RETURN_IF_ERROR(Load(parent_offset, &p));
  Page parent = *p;
  auto child_at = [&](size_t k) { return k < parent.items.size() ? parent.items[k].child : parent.right; };
  auto set_child = [&](size_t k, uint32_t v) {
    if (k < parent.items.size()) parent.items[k].child = v;
    else parent.right = v;
  };
  const uint32_t c_off = child_at(i);
  Page* cp = nullptr;
  XB_RETURN_IF_ERROR(Load(c_off, &cp));
  if (cp->items.size() >= header_.half_page) return Status::Ok();
  Page c = *cp;
  const size_t half = header_.half_page;
  if (i > 0) {
    const uint32_t l_off = child_at(i - 1);
    Page* lp = nullptr;
    XB_RETURN_IF_ERROR(Load(l_off, &lp));
    Page left = *lp;
    Item& sep = parent.items[i - 1];
    if (left.items.size() > half) {  // borrow the left sibling's last item
      c.items.insert(c.items.begin(), Item{left.right, sep.recno, sep.key});
      sep.key = left.items.back().key;
      sep.recno = left.items.back().recno;
      left.right = left.items.back().child;
      left.items.pop_back();
      Store(l_off, left);
      Store(c_off, c);
      Store(parent_offset, parent);
      return Status::Ok();
    }
    // Merge left + separator + child into the child's page.
    left.items.push_back(Item{left.right, sep.recno, sep.key});
    left.items.insert(left.items.end(), c.items.begin(), c.items.end());
    left.right = c.right;
    parent.items.erase(parent.items.begin() + std::ptrdiff_t(i - 1));
    Store(c_off, left);
    Free(l_off);
    Store(parent_offset, parent);
    return Status::Ok();
  }
  if (parent.items.empty()) return Status::Ok();  // an only child: the root collapse handles it
  const uint32_t r_off = child_at(i + 1);
  Page* rp = nullptr;
  XB_RETURN_IF_ERROR(Load(r_off, &rp));
  Page right = *rp;
  Item& sep = parent.items[i];
  if (right.items.size() > half) {  // borrow the right sibling's first item
    c.items.push_back(Item{c.right, sep.recno, sep.key});
    c.right = right.items.front().child;
    sep.key = right.items.front().key;
    sep.recno = right.items.front().recno;
    right.items.erase(right.items.begin());
    Store(r_off, right);
    Store(c_off, c);
    Store(parent_offset, parent);
    return Status::Ok();
  }
  c.items.push_back(Item{c.right, sep.recno, sep.key});
  c.items.insert(c.items.end(), right.items.begin(), right.items.end());
  c.right = right.right;
  parent.items.erase(parent.items.begin() + std::ptrdiff_t(i));
  set_child(i, r_off);
  Store(r_off, c);
  Free(c_off);
  Store(parent_offset, parent);
  return Status::Ok();
}

Status NtxFile::First(NtxEntry* out) { return Edge(/*last=*/false, out); }

Status NtxFile::Last(NtxEntry* out) { return Edge(/*last=*/true, out); }

Status NtxFile::Edge(bool last, NtxEntry* out) {
  XB_RETURN_IF_ERROR(Refresh());
  *out = NtxEntry();
  Page* root = nullptr;
  XB_RETURN_IF_ERROR(Load(header_.root, &root));
  if (root->items.empty() && root->leaf()) return Status::Ok();
  Item it;
  XB_RETURN_IF_ERROR(last ? Rightmost(header_.root, &it) : Leftmost(header_.root, &it));
  *out = NtxEntry{it.key, it.recno};
  return Status::Ok();
}

Status NtxFile::Next(const NtxEntry& from, NtxEntry* out) { return Beside(from, /*after=*/true, out); }

Status NtxFile::Prev(const NtxEntry& from, NtxEntry* out) { return Beside(from, /*after=*/false, out); }

// The entry just after (or before) `from` in key order: the walk down from the root keeps
// the nearest one it passes.
Status NtxFile::Beside(const NtxEntry& from, bool after, NtxEntry* out) {
  XB_RETURN_IF_ERROR(Refresh());
  *out = NtxEntry();
  std::string key = from.key;
  key.resize(header_.key_size, ' ');
  const int past = after ? 0 : 1;  // the first item past `from`: >= it going on, > it going back
  for (uint32_t offset = header_.root, depth = 0; offset != 0; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    const std::vector<Item>& items = page->items;
    size_t pos = 0;
    while (pos < items.size() && Compare(key, from.recno, items[pos]) >= past) ++pos;
    if (after && pos < items.size()) *out = NtxEntry{items[pos].key, items[pos].recno};
    if (!after && pos > 0) *out = NtxEntry{items[pos - 1].key, items[pos - 1].recno};
    offset = pos < items.size() ? items[pos].child : page->right;
  }
  return Status::Ok();
}

Status NtxFile::SeekFirst(const std::string& prefix, NtxEntry* out) {
  XB_RETURN_IF_ERROR(Refresh());
  *out = NtxEntry();
  for (uint32_t offset = header_.root, depth = 0; offset != 0; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    size_t pos = 0;
    while (pos < page->items.size() && ComparePrefix(page->items[pos].key, prefix) > 0) ++pos;
    if (pos < page->items.size()) *out = NtxEntry{page->items[pos].key, page->items[pos].recno};
    offset = pos < page->items.size() ? page->items[pos].child : page->right;
  }
  return Status::Ok();
}

Status NtxFile::PositionOf(const NtxEntry& entry, double* position) {
  XB_RETURN_IF_ERROR(Refresh());
  double low = 0.0, width = 1.0;
  std::string key = entry.key;
  key.resize(header_.key_size, ' ');
  for (uint32_t offset = header_.root, depth = 0; offset != 0; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    const size_t n = page->items.size();
    size_t pos = 0;
    while (pos < n && Compare(key, entry.recno, page->items[pos]) > 0) ++pos;
    const double slots = page->leaf() ? double(std::max<size_t>(n, 1)) : double(n + 1);
    if (page->leaf() || (pos < n && Compare(key, entry.recno, page->items[pos]) == 0)) {
      low += width * (double(pos) + (page->leaf() ? 0.0 : 1.0)) / slots;
      break;
    }
    low += width * double(pos) / slots;
    width /= slots;
    offset = pos < n ? page->items[pos].child : page->right;
  }
  *position = std::min(1.0, low);
  return Status::Ok();
}

Status NtxFile::EntryAt(double position, NtxEntry* out) {
  XB_RETURN_IF_ERROR(Refresh());
  *out = NtxEntry();
  for (uint32_t offset = header_.root, depth = 0; offset != 0; ++depth) {
    Page* page = nullptr;
    XB_RETURN_IF_ERROR(LoadAt(offset, depth, &page));
    const size_t n = page->items.size();
    if (page->leaf()) {
      if (n == 0) break;
      size_t pos = std::min(n - 1, size_t(position * double(n)));
      *out = NtxEntry{page->items[pos].key, page->items[pos].recno};
      break;
    }
    const double scaled = position * double(n + 1);
    size_t pos = std::min(n, size_t(scaled));
    position = scaled - double(pos);
    offset = pos < n ? page->items[pos].child : page->right;
  }
  if (!out->valid()) return Last(out);
  return Status::Ok();
}

Status NtxFile::Walk(std::vector<NtxEntry>* out) {
  XB_RETURN_IF_ERROR(Refresh());
  cache_.clear();
  out->clear();
  XB_RETURN_IF_ERROR(WalkPage(header_.root, 0, out));
  for (size_t i = 1; i < out->size(); ++i) {
    Item prev{0, (*out)[i - 1].recno, (*out)[i - 1].key};
    if (Compare((*out)[i].key, (*out)[i].recno, prev) <= 0)
      return Corrupt(path_, "keys out of order at record " + std::to_string((*out)[i].recno));
  }
  return Status::Ok();
}

Status NtxFile::WalkPage(uint32_t offset, int depth, std::vector<NtxEntry>* out) {
  if (depth > int(kMaxDepth)) return Corrupt(path_, "the tree loops");
  // More entries than the file's pages can hold: pages are referenced more than once.
  if (out->size() > file_size_ / kNtxPageSize * header_.max_items)
    return Corrupt(path_, "a page is referenced twice");
  Page* p = nullptr;
  XB_RETURN_IF_ERROR(Load(offset, &p));
  Page page = *p;
  for (const Item& it : page.items) {
    if (it.child != 0) XB_RETURN_IF_ERROR(WalkPage(it.child, depth + 1, out));
    out->push_back(NtxEntry{it.key, it.recno});
  }
  if (page.right != 0) XB_RETURN_IF_ERROR(WalkPage(page.right, depth + 1, out));
  return Status::Ok();
}

}  // namespace xb
