// Item id list operations of the shell items.
#include "shellview/shell_ids.h"

#include <cstdint>
#include <cstring>

namespace velloria {
namespace {

constexpr std::size_t kTerminatorSize = 2;

}  // namespace

PItemIDList AllocID(std::size_t size) { return shell::TaskAlloc(size); }

std::size_t IDSize(PCItemIDList list) {
  if (!list) return 0;
  std::size_t size = kTerminatorSize;
  for (std::uint16_t count; (count = shell::IdElementSize(list)) != 0; list += count) size += count;
  return size;
}

PCItemIDList NextIDElement(PCItemIDList element) { return element + shell::IdElementSize(element); }

PItemIDList NextIDElement(PItemIDList element) { return element + shell::IdElementSize(element); }

int IDElementCount(PCItemIDList list) {
  int elements = 0;
  if (!list) return 0;
  for (; shell::IdElementSize(list) != 0; list = NextIDElement(list)) ++elements;
  return elements;
}

PItemIDList DuplicateID(PCItemIDList list) {
  if (!list) return nullptr;
  std::size_t size = IDSize(list);
  PItemIDList copy = AllocID(size);
  if (copy) std::memcpy(copy, list, size);
  return copy;
}

PItemIDList JoinIDs(PCItemIDList a, PCItemIDList b) {
  std::size_t headSize = a ? IDSize(a) - kTerminatorSize : 0;
  std::size_t tailSize = b ? IDSize(b) : kTerminatorSize;
  PItemIDList joined = AllocID(headSize + tailSize);
  if (!joined) return nullptr;
  if (a) std::memcpy(joined, a, headSize);
  if (b) std::memcpy(joined + headSize, b, tailSize);
  return joined;
}

void FreeID(PItemIDList list) { shell::TaskFree(list); }

void DropLastIDElement(PItemIDList list) {
  if (!list || shell::IdElementSize(list) == 0) return;
  PItemIDList last = list;
  for (PItemIDList next = NextIDElement(last); shell::IdElementSize(next) != 0;
       next = NextIDElement(next)) {
    last = next;
  }
  last[0] = 0;
  last[1] = 0;
}

bool SameID(PCItemIDList a, PCItemIDList b) {
  return static_cast<std::int16_t>(shell::DesktopFolder()->CompareIDs(0, a, b) & 0xFFFF) == 0;
}

}  // namespace velloria
