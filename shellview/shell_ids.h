// Item id list operations of the shell items: size, walk, copy, join, free, parent, and
// equality through the desktop folder's name order. Lists come from the namespace
// layer's task allocator; "none" is nullptr. GUI thread only.
#pragma once

#include <QByteArray>
#include <cstddef>

#include "platform/namespace.h"

namespace velloria {

using PItemIDList = shell::IdList;
using PCItemIDList = shell::ConstIdList;

// A zero-filled block of `size` bytes; nullptr when the allocator gives none.
PItemIDList AllocID(std::size_t size);
// 0 for none; else the sum of the element counts plus 2 for the terminator.
std::size_t IDSize(PCItemIDList list);
// The element after `element` (its start plus its count).
PCItemIDList NextIDElement(PCItemIDList element);
PItemIDList NextIDElement(PItemIDList element);
// Number of elements before the terminator (0 for none).
int IDElementCount(PCItemIDList list);
// A byte copy of `list`; nullptr for none.
PItemIDList DuplicateID(PCItemIDList list);
// The elements of `a` (none when a is none) followed by all of `b` with its terminator.
PItemIDList JoinIDs(PCItemIDList a, PCItemIDList b);
// Returns `list` to the task allocator (none is ignored).
void FreeID(PItemIDList list);
// In place: the last element becomes the terminator, so the list names the parent; an
// empty list stays empty.
void DropLastIDElement(PItemIDList list);
// True when the desktop folder's name order (column 0) finds `a` and `b` equal.
bool SameID(PCItemIDList a, PCItemIDList b);
// The bytes of `list` with its terminator, e.g. as a hash key.
QByteArray IDBytes(PCItemIDList list);

// Owns an id list for the length of a scope.
class IDListHolder {
 public:
  explicit IDListHolder(PItemIDList list = nullptr) : m_list(list) {}
  ~IDListHolder() { FreeID(m_list); }
  IDListHolder(const IDListHolder&) = delete;
  IDListHolder& operator=(const IDListHolder&) = delete;
  PItemIDList get() const { return m_list; }
  PItemIDList release() { return std::exchange(m_list, nullptr); }
  void reset(PItemIDList list = nullptr) { FreeID(std::exchange(m_list, list)); }

 private:
  PItemIDList m_list;
};

}  // namespace velloria
