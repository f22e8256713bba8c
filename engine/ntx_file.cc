// NtxFile: the NTX B-tree. Pages are decoded into item lists, changed in memory and written
// back at the end of each update together with a header whose version is incremented, under
// the index lock at byte 1,000,000,000. Entries are ordered by key, then record number. The
// bulk builder is in ntx_build.cc, the pending mark in ntx_writer_mark.cc.
#include "engine/ntx_file.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/ntx_file_internal.h"
#include "engine/os.h"
#include "engine/settings.h"

namespace xb {
using namespace ntx;
namespace {

constexpr int kKeyExprOffset = 22;
constexpr int kUniqueOffset = 278;
constexpr int kDescendOffset = 280;
constexpr int kForExprOffset = 282;
constexpr int kTagOffset = 538;
constexpr size_t kExprBytes = 256;
// Deeper than any real tree (a 4-byte page offset cannot address more levels of pages
// holding two items or more): a path longer than this one loops.
constexpr uint32_t kMaxDepth = 64;

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

}  // namespace

namespace ntx {

std::vector<uint8_t> EncodeHeader(const NtxHeader& h) {
  std::vector<uint8_t> b(kNtxPageSize, 0);
  PutLe16(&b[0], h.signature);
  PutLe16(&b[2], h.version);
  PutLe32(&b[4], h.root);
  PutLe32(&b[8], h.free_page);
  PutLe16(&b[12], uint32_t(h.key_size) + 8);
  PutLe16(&b[14], h.key_size);
  PutLe16(&b[16], h.key_decimals);
  PutLe16(&b[18], h.max_items);
  PutLe16(&b[20], h.half_page);
  PutCString(&b[kKeyExprOffset], h.key_expr, kExprBytes);
  b[kUniqueOffset] = h.unique ? 1 : 0;
  b[kDescendOffset] = h.descending ? 1 : 0;
  PutCString(&b[kForExprOffset], h.for_expr, kExprBytes);
  PutCString(&b[kTagOffset], h.tag_name, 12);
  b[kPendingOffset] = h.pending;
  return b;
}

// Takes a one-byte lock of fd (shared or not), retrying until the lock timeout.
Status WaitForLock(int fd, uint64_t byte, bool shared, const std::string& path) {
  bool granted = false;
  XB_RETURN_IF_ERROR(
      RetryLock(GlobalSettings().LockTimeoutMillis(), &granted, [&](bool* g) {
        return shared ? CurrentOs()->ShareRange(fd, byte, 1, g)
                      : CurrentOs()->LockRange(fd, byte, 1, g);
      }));
  if (!granted) return Status::Error(XB_ERR_LOCKED, "Index " + path + " is locked by another user");
  return Status::Ok();
}

}  // namespace ntx

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
  PutLe16(&b[0], uint32_t(n));
  for (size_t i = 0; i <= header_.max_items; ++i) PutLe16(&b[2 + 2 * i], uint32_t(base + i * item_size));
  for (size_t i = 0; i <= n; ++i) {
    uint8_t* p = &b[base + i * item_size];
    if (i == n) {
      PutLe32(p, page.right);
      break;
    }
    PutLe32(p, page.items[i].child);
    PutLe32(p + 4, page.items[i].recno);
    std::memcpy(p + 8, page.items[i].key.data(), header_.key_size);
  }
  return b;
}

Status NtxFile::Decode(const uint8_t* b, uint32_t offset, Page* page) const {
  const size_t n = Le16(b);
  const size_t item_size = size_t(header_.key_size) + 8;
  if (n > header_.max_items) return Corrupt(path_, "page " + std::to_string(offset) + " overfull");
  page->items.resize(n);
  for (size_t i = 0; i <= n; ++i) {
    size_t at = Le16(b + 2 + 2 * i);
    if (at + item_size > kNtxPageSize)
      return Corrupt(path_, "item outside page " + std::to_string(offset));
    const uint8_t* p = b + at;
    uint32_t child = Le32(p);
    if (child % kNtxPageSize != 0 || child >= file_size_)
      return Corrupt(path_, "bad child reference in page " + std::to_string(offset));
    if (i == n) {
      page->right = child;
      break;
    }
    page->items[i].child = child;
    page->items[i].recno = Le32(p + 4);
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
  h.signature = Le16(b);
  h.version = Le16(b + 2);
  h.root = Le32(b + 4);
  h.free_page = Le32(b + 8);
  h.key_size = Le16(b + 14);
  h.key_decimals = Le16(b + 16);
  h.max_items = Le16(b + 18);
  h.half_page = Le16(b + 20);
  h.key_expr = CString(b + kKeyExprOffset, kExprBytes);
  h.unique = b[kUniqueOffset] != 0;
  h.descending = b[kDescendOffset] != 0;
  h.for_expr = CString(b + kForExprOffset, kExprBytes);
  h.tag_name = CString(b + kTagOffset, 12);
  h.pending = b[kPendingOffset];
  if (h.signature != 6 && h.signature != 3) return Corrupt(path_, "not an NTX signature");
  if (h.key_size == 0 || h.key_size > kNtxMaxKeySize || Le16(b + 12) != h.key_size + 8)
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
  if (done == sizeof b && Le16(b + 2) == header_.version) return Status::Ok();
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
    header_.free_page = Le32(b);
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
    if (!s.ok()) break;
    // A damaged tree can make a page gather more items than a page holds: nothing of this
    // update is written then, and the index is reported damaged.
    if (cache_[offset].items.size() > header_.max_items) {
      s = Corrupt(path_, "page " + std::to_string(offset) + " would overflow");
      break;
    }
    std::vector<uint8_t> b = Encode(cache_[offset]);
    s = CurrentOs()->Write(fd_, b.data(), b.size(), offset);
  }
  for (uint32_t offset : freed_) {
    std::vector<uint8_t> b(kNtxPageSize, 0);
    PutLe32(b.data(), header_.free_page);
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
