// The open-document guard: looks for office lock files beside a document.
#include "platform/officelock.h"

#include <sys/stat.h>

#include "platform/paths.h"

namespace velloria::shell {
namespace {

bool EntryExists(const std::string& folder, const std::string& name) {
  struct stat st;
  return lstat((paths::WithTrailingSeparator(folder) + name).c_str(), &st) == 0;
}

}  // namespace

bool IsOwnerFileName(std::string_view name) { return name.size() > 2 && name.substr(0, 2) == "~$"; }

bool IsDocumentOpen(const std::string& folder, std::string_view name) {
  if (name.empty()) return false;
  std::string full(name);
  if (EntryExists(folder, ".~lock." + full + "#")) return true;
  if (EntryExists(folder, "~$" + full)) return true;
  for (size_t drop = 1; drop <= 2 && drop < full.size(); ++drop) {
    if (EntryExists(folder, "~$" + full.substr(drop))) return true;
  }
  return false;
}

}  // namespace velloria::shell
