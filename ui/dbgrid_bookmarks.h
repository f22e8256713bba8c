// TBookmarkList: the grid's row-selection list, a sorted list of record bookmarks
// with a one-entry lookup cache. GUI thread only.
#pragma once

#include <string>
#include <vector>

namespace velloria {

class TBookmarkList {
 public:
  // Bookmarks are the dataset's opaque bookmark bytes.
  using Bookmark = std::string;

  int Count() const { return static_cast<int>(m_items.size()); }
  bool IsEmpty() const { return m_items.empty(); }
  const Bookmark& operator[](int index) const { return m_items.at(index); }

  // True when `bookmark` is in the list; `*index` receives its position, or the
  // position where it would be inserted. Repeated lookups of one bookmark are cached.
  bool Find(const Bookmark& bookmark, int* index = nullptr) const;

  // Adds or removes `bookmark` (no-op when already in that state).
  void SetSelected(const Bookmark& bookmark, bool selected);
  void Clear();

 private:
  void invalidateCache() { m_cacheValid = false; }

  std::vector<Bookmark> m_items;
  mutable bool m_cacheValid = false;
  mutable Bookmark m_cacheKey;
  mutable int m_cacheIndex = 0;
  mutable bool m_cacheFound = false;
};

}  // namespace velloria
