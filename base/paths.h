// Path helpers shared by every layer, the engine included: the separator rules and the
// case-insensitive lookup of paths built from data that may come from Windows (table file,
// marker file, category folders). Plain functions; thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velloria::paths {

// What the case-insensitive lookup asks of the file system. The engine answers through its
// own window on the system, so that its tests can fail these calls; SystemFileSystem()
// answers directly.
class FileSystemView {
 public:
  virtual ~FileSystemView() = default;
  // True when `path` names an existing file or folder (symbolic links followed).
  virtual bool Exists(const std::string& path) = 0;
  // The names in `folder`; false when it cannot be read.
  virtual bool ReadFolder(const std::string& folder, std::vector<std::string>* names) = 0;
};

// The file system as the process sees it.
FileSystemView& SystemFileSystem();

inline constexpr char kSeparator = '/';

// True when `c` is the path separator.
constexpr bool IsSeparator(char c) { return c == kSeparator; }

// `path` with one separator appended unless it already ends with one (empty stays empty).
std::string WithTrailingSeparator(std::string_view path);

// The folder part of `path` up to and including its last separator ("" when none).
std::string FolderPart(std::string_view path);

// The name part of `path` after its last separator (all of it when none).
std::string NamePart(std::string_view path);

// Returns `path` if it exists as spelled. Otherwise each component that does not
// exist is looked up case-insensitively in its parent folder (the first match in
// name order wins) and the corrected path is returned; when some component has no
// match at all, or its folder cannot be read, `path` is returned unchanged so that the
// caller reports it missing. `fs` answers the questions the lookup asks.
std::string ResolveCaseInsensitive(std::string_view path,
                                   FileSystemView& fs = SystemFileSystem());

// True when `path` names an existing file or folder (symbolic links followed).
bool Exists(std::string_view path);

// True when `path` names an existing folder (symbolic links followed).
bool IsFolder(std::string_view path);

}  // namespace velloria::paths
