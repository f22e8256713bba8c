// TBookmarkList: sorted bookmark list with a one-entry lookup cache.
#include "ui/dbgrid_bookmarks.h"

#include <algorithm>

namespace velloria {

bool TBookmarkList::Find(const Bookmark& bookmark, int* index) const {
  if (!m_cacheValid || m_cacheKey != bookmark) {
    auto it = std::lower_bound(m_items.begin(), m_items.end(), bookmark);
    m_cacheKey = bookmark;
    m_cacheIndex = static_cast<int>(it - m_items.begin());
    m_cacheFound = it != m_items.end() && *it == bookmark;
    m_cacheValid = true;
  }
  if (index != nullptr) *index = m_cacheIndex;
  return m_cacheFound;
}

void TBookmarkList::SetSelected(const Bookmark& bookmark, bool selected) {
  int index = 0;
  bool found = Find(bookmark, &index);
  if (found == selected) return;
  if (selected) {
    m_items.insert(m_items.begin() + index, bookmark);
  } else {
    m_items.erase(m_items.begin() + index);
  }
  invalidateCache();
}

void TBookmarkList::Clear() {
  if (m_items.empty()) return;
  m_items.clear();
  invalidateCache();
}

}  // namespace velloria
