// Item id lists of path components, their task allocator, and the rules for item names.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/namespace.h"
#include "platform/officelock.h"

namespace velloria::shell {
namespace {

constexpr std::size_t kCountSize = 2;
constexpr std::size_t kMaxComponent = 0xFFFF - kCountSize;

bool IsReservedDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

IdList TaskAlloc(std::size_t size) { return static_cast<IdList>(std::calloc(size ? size : 1, 1)); }

void TaskFree(IdList list) { std::free(list); }

IdList MakeIdList(const std::vector<std::string>& components) {
  std::size_t size = kCountSize;
  for (const std::string& component : components) {
    if (component.empty() || component.size() > kMaxComponent) return nullptr;
    size += kCountSize + component.size();
  }
  IdList list = TaskAlloc(size);
  if (!list) return nullptr;
  IdList at = list;
  for (const std::string& component : components) {
    std::size_t count = kCountSize + component.size();
    bytes::PutLe16(at, std::uint32_t(count));
    std::memcpy(at + kCountSize, component.data(), component.size());
    at += count;
  }
  return list;  // the terminator is already zero
}

IdList MakeChildIdList(std::string_view name) {
  if (name.empty() || name.size() > kMaxComponent) return nullptr;
  std::size_t count = kCountSize + name.size();
  IdList list = TaskAlloc(count + kCountSize);
  if (!list) return nullptr;
  bytes::PutLe16(list, std::uint32_t(count));
  std::memcpy(list + kCountSize, name.data(), name.size());
  return list;
}

std::vector<std::string> IdComponents(ConstIdList list) {
  std::vector<std::string> components;
  if (!list) return components;
  for (std::uint16_t count; (count = IdElementSize(list)) >= kCountSize; list += count) {
    components.emplace_back(reinterpret_cast<const char*>(list) + kCountSize, count - kCountSize);
  }
  return components;
}

void AppendIdComponents(std::string& path, ConstIdList list) {
  if (!list) return;
  for (std::uint16_t count; (count = IdElementSize(list)) >= kCountSize; list += count) {
    path += '/';
    path.append(reinterpret_cast<const char*>(list) + kCountSize, count - kCountSize);
  }
}

std::string_view LastIdComponent(ConstIdList list) {
  std::string_view last;
  if (!list) return last;
  for (std::uint16_t count; (count = IdElementSize(list)) >= kCountSize; list += count) {
    last = std::string_view(reinterpret_cast<const char*>(list) + kCountSize, count - kCountSize);
  }
  return last;
}

bool IsSingleIdComponent(ConstIdList list) {
  if (!list) return false;
  std::uint16_t first = IdElementSize(list);
  return first >= kCountSize && IdElementSize(list + first) < kCountSize;
}

std::string PathOfIdList(ConstIdList list) {
  std::string path;
  AppendIdComponents(path, list);
  return path.empty() ? "/" : path;
}

namespace {

// The faults a Windows file system would refuse `name` for.
NameFault WindowsNameFault(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return NameFault::kEmpty;
  for (unsigned char c : name) {
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return NameFault::kForbiddenCharacter;
  }
  if (name.back() == '.' || name.back() == ' ') return NameFault::kTrailingDotOrBlank;
  return IsReservedDeviceName(name) ? NameFault::kReservedName : NameFault::kNone;
}

}  // namespace

bool IsWindowsSafeName(std::string_view name) { return WindowsNameFault(name) == NameFault::kNone; }

NameFault NameFaultOf(std::string_view name) {
  constexpr std::size_t kMaxNameBytes = 255;
  if (NameFault fault = WindowsNameFault(name); fault != NameFault::kNone) return fault;
  if (name.size() > kMaxNameBytes) return NameFault::kTooLong;
  if (name.starts_with('.')) return NameFault::kLeadingDot;
  return IsHiddenItemName(name) ? NameFault::kSystemFileName : NameFault::kNone;
}

bool IsHiddenItemName(std::string_view name) {
  auto same = [](std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
  };
  if (name.starts_with('.') || IsOwnerFileName(name)) return true;
  if (same(name, "Thumbs.db") || same(name, "desktop.ini")) return true;
  return name.size() > 8 && same(name.substr(0, 4), "~WRL") && same(name.substr(name.size() - 4), ".tmp");
}

}  // namespace velloria::shell
