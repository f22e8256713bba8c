// NtxFile's bulk builder: the keys sorted by a radix sort on their first bytes, then the
// tree written level by level as one file image of evenly filled pages, for a new index
// (Build) or in place of an open one's tree (Rebuild).
#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/ntx_file.h"
#include "engine/ntx_file_internal.h"
#include "engine/os.h"
#include "engine/shared_file.h"

namespace xb {
using namespace ntx;
namespace {

// How many entries ahead the page writer asks for their key and record number.
constexpr size_t kPrefetchAhead = 64;

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
// bytes (digits of at most 14 bits, as few passes as their bits need, on 32-bit numbers when they fit), then
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

// The file image of a tree over keys (as NtxFile::Build takes them); sets header's page
// capacity and root.
void BuildImage(NtxHeader* header_io, const std::vector<char>& keys,
                const std::vector<uint32_t>& recnos, std::vector<uint8_t>* image) {
  NtxHeader& header = *header_io;
  const size_t ks = header.key_size;
  header.max_items = uint16_t(NtxMaxItems(int(ks)));
  header.half_page = uint16_t(header.max_items / 2);
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
      PutLe16(page, uint32_t(take));
      for (size_t i = 0; i <= max; ++i) PutLe16(page + 2 + 2 * i, uint32_t(base + i * item_size));
      for (size_t i = 0; i < take; ++i, ++at) {
        uint8_t* item = page + base + i * item_size;
        PutLe32(item, child(at));
        PutLe32(item + 4, sorted_recnos[entry(at)]);
        std::memcpy(item + 8, &sorted_keys[entry(at) * ks], ks);
      }
      PutLe32(page + base + take * item_size, child(at));
      up_children.push_back(offset);
      if (p + 1 < pages) up.push_back(uint32_t(entry(at++)));
    }
    if (pages == 1) {
      header.root = up_children[0];
      break;
    }
    entries = std::move(up);
    children = std::move(up_children);
  }
  std::vector<uint8_t> head = EncodeHeader(header);
  std::copy(head.begin(), head.end(), out.begin());
  *image = std::move(out);
}

}  // namespace

// The image goes out marked pending and the mark is cleared after it, so a build cut short
// leaves an index that is rebuilt rather than trusted. The file is never reached through a
// link, and one that another program has open is refused rather than emptied under it.
Status NtxFile::Build(const std::string& path, NtxHeader header, const std::vector<char>& keys,
                      const std::vector<uint32_t>& recnos) {
  header.pending = 1;
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

}  // namespace xb
