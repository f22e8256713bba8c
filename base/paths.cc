// Path helpers: separator rules and case-insensitive resolution of data-built paths.
#include "base/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

namespace velloria::paths {
namespace {

class SystemView final : public FileSystemView {
 public:
  bool Exists(const std::string& path) override { return paths::Exists(path); }

  bool ReadFolder(const std::string& folder, std::vector<std::string>* names) override {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return false;
    while (dirent* entry = readdir(dir.get())) names->emplace_back(entry->d_name);
    return true;
  }
};

// The name in `folder` equal to `name` ignoring ASCII case, the first in name order; ""
// when there is none or the folder cannot be read.
std::string CaseInsensitiveMatch(FileSystemView& fs, const std::string& folder,
                                 const std::string& name) {
  std::vector<std::string> names;
  if (!fs.ReadFolder(folder.empty() ? "." : folder, &names)) return std::string();
  std::string first;
  for (const std::string& entry : names) {
    if (strcasecmp(entry.c_str(), name.c_str()) == 0 && (first.empty() || entry < first)) {
      first = entry;
    }
  }
  return first;
}

}  // namespace

FileSystemView& SystemFileSystem() {
  static SystemView view;
  return view;
}

std::string WithTrailingSeparator(std::string_view path) {
  std::string result(path);
  if (!result.empty() && !IsSeparator(result.back())) result.push_back(kSeparator);
  return result;
}

std::string FolderPart(std::string_view path) {
  size_t pos = path.rfind(kSeparator);
  return pos == std::string_view::npos ? std::string() : std::string(path.substr(0, pos + 1));
}

std::string NamePart(std::string_view path) {
  size_t pos = path.rfind(kSeparator);
  return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

bool Exists(std::string_view path) {
  struct stat st;
  return stat(std::string(path).c_str(), &st) == 0;
}

bool IsFolder(std::string_view path) {
  struct stat st;
  return stat(std::string(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ResolveCaseInsensitive(std::string_view path, FileSystemView& fs) {
  if (path.empty() || fs.Exists(std::string(path))) return std::string(path);
  std::string resolved;
  size_t start = 0;
  if (IsSeparator(path.front())) {
    resolved.assign(1, kSeparator);
    start = 1;
  }
  while (start <= path.size()) {
    size_t end = path.find(kSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    std::string component(path.substr(start, end - start));
    if (!component.empty()) {
      std::string candidate = resolved;
      candidate.append(component);
      if (!fs.Exists(candidate)) {
        std::string match = CaseInsensitiveMatch(fs, resolved, component);
        if (match.empty()) return std::string(path);
        candidate.resize(resolved.size());
        candidate.append(match);
      }
      resolved.swap(candidate);
    }
    if (end < path.size()) resolved.push_back(kSeparator);
    start = end + 1;
  }
  return resolved;
}

}  // namespace velloria::paths
