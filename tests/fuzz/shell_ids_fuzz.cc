// libFuzzer target for item id lists and shell strings: the input, split at '/', becomes a
// list of path components; the list is built, walked, copied, joined and cut back, the
// input is parsed as a display name from the root, and it is read as each shell string form.
// Every round trip must give back what went in; nothing may crash.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/namespace.h"
#include "shellview/shell_folder.h"
#include "shellview/shell_ids.h"

namespace {

using namespace velloria;

std::vector<std::string> Components(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = std::min(text.find('/', start), text.size());
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

// Builds the list and checks every walk and edit against the components it came from.
void CheckListOperations(const std::vector<std::string>& parts) {
  IDListHolder list(shell::MakeIdList(parts));
  if (!list.get()) return;  // a component too long for one element
  Require(shell::IdComponents(list.get()) == parts);
  Require(IDElementCount(list.get()) == int(parts.size()));
  IDListHolder copy(DuplicateID(list.get()));
  Require(IDSize(copy.get()) == IDSize(list.get()));
  IDListHolder joined(JoinIDs(list.get(), copy.get()));
  Require(IDElementCount(joined.get()) == 2 * int(parts.size()));
  DropLastIDElement(copy.get());
  Require(IDElementCount(copy.get()) == std::max(0, int(parts.size()) - 1));
  shell::PathOfIdList(joined.get());
  SameID(list.get(), copy.get());
}

void ReadAsShellStrings(const uint8_t* data, size_t size, const std::vector<std::string>& parts) {
  IDListHolder list(shell::MakeIdList(parts));
  shell::StrRet text;
  text.kind = shell::StrRet::kOffset;
  text.offset = size >= 4 ? uint32_t(data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24)
                          : uint32_t(size);
  TextFromShellString(list.get(), text);
  text.kind = shell::StrRet::kCString;
  text.cstring.assign(reinterpret_cast<const char*>(data), size);
  TextFromShellString(list.get(), text);
  text.kind = shell::StrRet::kWide;
  std::u16string wide(size / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * 2);
  text.wide = wide;
  TextFromShellString(list.get(), text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts = Components(text);
  CheckListOperations(parts);
  ReadAsShellStrings(data, size, parts);
  shell::IdList parsed = nullptr;
  if (shell::DesktopFolder()->ParseDisplayName(text, &parsed) == shell::Status::kOk) {
    Require(parsed != nullptr);
  }
  shell::TaskFree(parsed);
  shell::IsWindowsSafeName(text);
  return 0;
}
