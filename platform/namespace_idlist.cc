// Item id lists of path components, their task allocator, and the Windows-safe name rule.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/namespace.h"

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

std::string PathOfIdList(ConstIdList list) {
  std::string path;
  for (const std::string& component : IdComponents(list)) path += "/" + component;
  return path.empty() ? "/" : path;
}

bool IsWindowsSafeName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsReservedDeviceName(name);
}

}  // namespace velloria::shell
