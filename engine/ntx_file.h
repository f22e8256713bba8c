// NtxFile: one index file in the NTX layout (1024-byte pages holding a B-tree of fixed-size
// keys with record numbers): create by bulk build, open, insert, remove, ordered search and
// an integrity walk. docs/ntx-format.md describes the bytes. Single-threaded; other
// processes are noticed through the header's version number and excluded by a lock.
#ifndef VELLORIA_ENGINE_NTX_FILE_H_
#define VELLORIA_ENGINE_NTX_FILE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/status.h"

namespace xb {

inline constexpr int kNtxPageSize = 1024;
inline constexpr int kNtxMaxKeySize = 250;

// What the header says besides the tree.
struct NtxHeader {
  uint16_t signature = 6;
  uint16_t version = 0;
  uint32_t root = 0;
  uint32_t free_page = 0;
  uint16_t key_size = 0;
  uint16_t key_decimals = 0;
  uint16_t max_items = 0;
  uint16_t half_page = 0;
  std::string key_expr;
  std::string for_expr;
  std::string tag_name;
  bool unique = false;
  bool descending = false;
  // How many writers have the index open for writing: each may have table changes the
  // index does not match yet, until it closes. Found non-zero with no live writer (see
  // NtxFile::WriterAlive), it was left by a writer that stopped or failed, and the index
  // must be rebuilt.
  uint8_t pending = 0;
};

// A place in the order: an entry's key and record number (recno 0 = none).
struct NtxEntry {
  std::string key;
  uint32_t recno = 0;
  bool valid() const { return recno != 0; }
};

// Items per page for a key size (the NTX rule: even, leaving room for the offset table).
int NtxMaxItems(int key_size);

class NtxFile {
 public:
  ~NtxFile();
  NtxFile(const NtxFile&) = delete;
  NtxFile& operator=(const NtxFile&) = delete;

  // Writes a new index at path from keys (count * key_size bytes, one per record number
  // recnos[i]), sorting them. REQUIRES: header.key_size in 1..kNtxMaxKeySize.
  static Status Build(const std::string& path, NtxHeader header, const std::vector<char>& keys,
                      const std::vector<uint32_t>& recnos);
  // Replaces the whole tree by one built from keys (as Build), under the index lock.
  Status Rebuild(const std::vector<char>& keys, const std::vector<uint32_t>& recnos);
  // Opens an existing index; read_only keeps it from being written. exclusive takes the
  // whole-file lock exclusively (shared otherwise), as the table's open mode does.
  static Status Open(const std::string& path, bool read_only, bool exclusive,
                     std::unique_ptr<NtxFile>* out);

  const NtxHeader& header() const { return header_; }
  const std::string& path() const { return path_; }
  int key_size() const { return header_.key_size; }

  // Adds / removes the entry (key, recno). Remove of an absent entry is not an error.
  Status Insert(const std::string& key, uint32_t recno);
  Status Remove(const std::string& key, uint32_t recno);
  // Counts this handle in the pending mark (see NtxHeader::pending) before its first table
  // write, and takes it out again once its table changes are committed (at close). A
  // handle sharing the index holds a read lock on the writer byte while it is counted.
  // sync makes the mark durable before the table write, and the index pages before the
  // clear. A broken index keeps its mark.
  Status MarkPending(bool sync);
  Status ClearPending(bool sync);
  // For an index found pending: whether a live writer stands behind the mark. When none,
  // a writable handle keeps the writer byte locked until its rebuild clears the mark.
  Status WriterAlive(bool* alive);
  // True once an update failed part-way: the index no longer matches the table, every use
  // fails with "index needs rebuilding: <file>", and only Rebuild clears it.
  bool broken() const { return broken_; }
  // Declares the index broken: the table changed in a way it was not told of.
  void Invalidate() { broken_ = true; }

  Status First(NtxEntry* out);
  Status Last(NtxEntry* out);
  // The entry following / preceding `from` in the order (invalid when none).
  Status Next(const NtxEntry& from, NtxEntry* out);
  Status Prev(const NtxEntry& from, NtxEntry* out);
  // The first entry whose key starts at or after `prefix` (compared over its length).
  Status SeekFirst(const std::string& prefix, NtxEntry* out);
  // Relative position of an entry (0..1) and the entry nearest a relative position.
  Status PositionOf(const NtxEntry& entry, double* position);
  Status EntryAt(double position, NtxEntry* out);

  // Every entry in order; fails with XB_ERR_CORRUPT on a malformed page or misordered key.
  Status Walk(std::vector<NtxEntry>* out);
  // Key bytes of `prefix` ordered against key (negative, 0, positive), direction applied.
  int ComparePrefix(const std::string& key, const std::string& prefix) const;

 private:
  struct Item {
    uint32_t child = 0;
    uint32_t recno = 0;
    std::string key;
  };
  struct Page {
    std::vector<Item> items;
    uint32_t right = 0;  // right-most child
    bool leaf() const { return right == 0; }
  };

  NtxFile() = default;
  int Compare(const std::string& key, uint32_t recno, const Item& item) const;
  Status Refresh();
  Status Load(uint32_t offset, Page** page);
  // Load of a page `depth` levels below the root; a depth no tree reaches means a loop.
  Status LoadAt(uint32_t offset, uint32_t depth, Page** page);
  void Store(uint32_t offset, const Page& page);
  Status Allocate(uint32_t* offset);
  void Free(uint32_t offset);
  Status BeginUpdate();
  Status EndUpdate(Status result);
  // Marks the index broken when s failed; returns s.
  Status Broken(Status s);
  Status WritePendingByte(uint8_t pending);
  // Adds delta to the pending count on file under the index lock (sharing handles).
  Status CountWriter(int delta);
  Status InsertInto(uint32_t offset, uint32_t depth, Item item, bool* split, Item* promoted);
  Status RemoveFrom(uint32_t offset, uint32_t depth, const std::string& key, uint32_t recno,
                    bool* found);
  Status FixChild(uint32_t parent_offset, size_t index);
  Status Rightmost(uint32_t offset, Item* out);
  Status Leftmost(uint32_t offset, Item* out);
  // The first (last false) or last entry in key order; an empty entry when the index is empty.
  Status Edge(bool last, NtxEntry* out);
  Status Beside(const NtxEntry& from, bool after, NtxEntry* out);
  Status WalkPage(uint32_t offset, int depth, std::vector<NtxEntry>* out);
  Status WriteHeader();
  Status ReadHeader();
  std::vector<uint8_t> Encode(const Page& page) const;
  Status Decode(const uint8_t* bytes, uint32_t offset, Page* page) const;

  std::string path_;
  int fd_ = -1;
  bool read_only_ = false;
  bool exclusive_ = false;
  bool marked_ = false;   // this handle is counted in the mark (and, shared, holds its lock)
  bool claimed_ = false;  // the writer byte locked to rebuild an index no writer stands behind
  bool broken_ = false;
  NtxHeader header_;
  uint64_t file_size_ = 0;
  std::map<uint32_t, Page> cache_;
  std::set<uint32_t> dirty_;
  std::vector<uint32_t> freed_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_NTX_FILE_H_
