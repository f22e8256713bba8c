// Path helpers: separator rules and case-insensitive resolution of data-built paths.
#include "platform/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace velloria::paths {
namespace {

// Names in `folder` equal to `name` ignoring ASCII case, sorted by name.
std::vector<std::string> CaseInsensitiveMatches(const std::string& folder, const std::string& name) {
  std::vector<std::string> matches;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return matches;
  while (dirent* entry = readdir(dir.get())) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) matches.emplace_back(entry->d_name);
  }
  std::sort(matches.begin(), matches.end());
  return matches;
}

}  // namespace

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

std::string ResolveCaseInsensitive(std::string_view path) {
  if (path.empty() || Exists(path)) return std::string(path);
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
      if (!Exists(candidate)) {
        std::vector<std::string> matches = CaseInsensitiveMatches(resolved, component);
        if (matches.empty()) return std::string(path);
        candidate.resize(resolved.size());
        candidate.append(matches.front());
      }
      resolved.swap(candidate);
    }
    if (end < path.size()) resolved.push_back(kSeparator);
    start = end + 1;
  }
  return resolved;
}

}  // namespace velloria::paths
