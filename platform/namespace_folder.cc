// The file-system folder object: parse, enumerate, bind, compare, attributes, display
// names and rename over one folder path.
#include "platform/namespace_folder.h"

#include <dirent.h>
#include <unistd.h>

#include <QCollator>
#include <QLocale>
#include <cerrno>
#include <cstring>

#include "platform/file_name_text.h"
#include "platform/fileops.h"
#include "platform/namespace_actions.h"
#include "platform/officelock.h"
#include "base/paths.h"

namespace velloria::shell {
namespace {

QCollator& NameCollator() {
  static QCollator collator = [] {
    // The C locale would compare code points; file managers sort by the language rules.
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator c{locale};
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
  }();
  return collator;
}

int CompareNames(const std::string& a, const std::string& b) {
  int order = NameCollator().compare(DecodeFileName(a), DecodeFileName(b));
  if (order != 0) return order;
  return a.compare(b);
}

// Lexical path of `name` (absolute, or relative to `base`): components without "." and
// with ".." applied; false when a relative name climbs above `base`.
bool NormalisedComponents(std::string_view name, std::vector<std::string>* components) {
  bool absolute = name.starts_with('/');
  size_t floor = components->size();
  if (absolute) components->clear(), floor = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = std::min(name.find('/', start), name.size());
    std::string part(name.substr(start, end - start));
    if (part == "..") {
      if (components->size() <= floor) {
        if (!absolute) return false;
      } else {
        components->pop_back();
      }
    } else if (!part.empty() && part != ".") {
      components->push_back(part);
    }
    start = end + 1;
  }
  return true;
}

Status StatusOfErrno(int error) {
  switch (error) {
    case EEXIST:
    case ENOTEMPTY:
      return Status::kExists;
    case ENOENT:
      return Status::kNotFound;
    case ENAMETOOLONG:
      return Status::kBadName;
    case EACCES:
    case EPERM:
    case EROFS:
      return Status::kAccessDenied;
    default:
      return Status::kFailed;
  }
}

Status RenameNoReplace(const std::string& from, const std::string& to) {
  int error = fileops::RenameNoReplace(from, to);
  return error == 0 ? Status::kOk : StatusOfErrno(error);
}

class FolderEnumerator final : public EnumIdList {
 public:
  explicit FolderEnumerator(std::vector<std::string> names) : m_names(std::move(names)) {}
  bool Next(IdList* item) override {
    if (m_next >= m_names.size()) return false;
    *item = MakeChildIdList(m_names[m_next++]);
    return *item != nullptr;
  }

 private:
  std::vector<std::string> m_names;
  size_t m_next = 0;
};

bool EntryIsFolder(const std::string& folder, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type == DT_REG) return false;
  struct stat st;
  std::string path = folder == "/" ? "/" + std::string(entry->d_name) : folder + "/" + entry->d_name;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HasSubfolder(const std::string& path) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
  if (!dir) return false;
  while (dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (EntryIsFolder(path, entry)) return true;
  }
  return false;
}

}  // namespace

Status RenameWithoutReplacing(const std::string& from, const std::string& to) {
  int error = fileops::RenameWithoutReplacing(from, to);
  return error == 0 ? Status::kOk : StatusOfErrno(error);
}

std::string LastComponent(ConstIdList item) { return std::string(LastIdComponent(item)); }

FileSystemFolder::FileSystemFolder(std::string path) : m_path(std::move(path)) {}

std::string FileSystemFolder::ChildPath(ConstIdList item) const {
  std::string path = m_path == "/" ? "" : m_path;
  AppendIdComponents(path, item);
  return path.empty() ? "/" : path;
}

Status FileSystemFolder::ParseDisplayName(std::string_view name, IdList* list) {
  *list = nullptr;
  if (name.empty()) return Status::kBadName;
  if (name.starts_with('/') && m_path != "/") return Status::kBadName;
  std::vector<std::string> components;
  if (!NormalisedComponents(name, &components)) return Status::kBadName;
  IdList parsed = MakeIdList(components);
  if (!parsed) return Status::kBadName;
  struct stat st;
  if (stat(ChildPath(parsed).c_str(), &st) != 0) {
    TaskFree(parsed);
    return Status::kNotFound;
  }
  *list = parsed;
  return Status::kOk;
}

std::unique_ptr<EnumIdList> FileSystemFolder::EnumObjects(std::uint32_t flags) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(m_path.c_str()), closedir);
  if (!dir) return nullptr;
  std::vector<std::string> names;
  m_folderHints.clear();
  while (dirent* entry = readdir(dir.get())) {
    std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (IsHiddenItemName(name) && !(flags & kEnumIncludeHidden)) continue;
    bool folder = EntryIsFolder(m_path, entry);
    if (!(flags & (folder ? kEnumFolders : kEnumNonFolders))) continue;
    m_folderHints.emplace(name, folder);
    names.emplace_back(name);
  }
  return std::make_unique<FolderEnumerator>(std::move(names));
}

std::shared_ptr<Unknown> FileSystemFolder::BindToObject(ConstIdList item, Iid iid) {
  if (iid != Iid::kShellFolder && iid != Iid::kShellFolder2) return nullptr;
  if (LastIdComponent(item).empty()) return nullptr;
  if (std::optional<bool> folder = FolderHint(item); folder && !*folder) return nullptr;
  std::string path = ChildPath(item);
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return nullptr;
  return std::make_shared<FileSystemFolder>(path);
}

std::shared_ptr<Unknown> FileSystemFolder::CreateViewObject(Iid) { return nullptr; }

std::shared_ptr<Unknown> FileSystemFolder::GetUIObjectOf(ConstIdList item, Iid iid) {
  if (iid != Iid::kContextMenu) return nullptr;
  std::string path = ChildPath(item);
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return nullptr;
  return std::make_shared<ItemContextMenu>(path);
}

int FileSystemFolder::CompareIDs(int column, ConstIdList a, ConstIdList b) {
  std::vector<std::string> left = IdComponents(a), right = IdComponents(b);
  if (column != 0 && left.size() == 1 && right.size() == 1) {
    if (int order = DetailKey(a, column).compare(DetailKey(b, column))) return order < 0 ? -1 : 1;
  }
  for (size_t i = 0; i < left.size() && i < right.size(); ++i) {
    if (int order = CompareNames(left[i], right[i])) return order < 0 ? -1 : 1;
  }
  return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

std::optional<bool> FileSystemFolder::FolderHint(ConstIdList item) const {
  if (!IsSingleIdComponent(item)) return std::nullopt;
  auto hint = m_folderHints.find(std::string(LastIdComponent(item)));
  if (hint == m_folderHints.end()) return std::nullopt;
  return hint->second;
}

bool FileSystemFolder::IsFolderChild(ConstIdList item) {
  if (std::optional<bool> folder = FolderHint(item)) return *folder;
  struct stat st;
  return stat(ChildPath(item).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint32_t FileSystemFolder::GetAttributesOf(ConstIdList item, std::uint32_t request) {
  if (request == kAttrFolder) return IsFolderChild(item) ? std::uint32_t{kAttrFolder} : 0u;
  return ComputeAttributes(ChildPath(item), LastComponent(item), request);
}

std::uint32_t FileSystemFolder::ComputeAttributes(const std::string& path, const std::string& name,
                                                  std::uint32_t request) {
  struct stat target, entry;
  if (lstat(path.c_str(), &entry) != 0) return 0;
  bool folder = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  bool parentWritable = access(m_path.c_str(), W_OK) == 0;
  bool writable = access(path.c_str(), W_OK) == 0;
  std::uint32_t bits = kAttrFileSystem | kAttrCanCopy | kAttrCanLink | kAttrHasPropSheet;
  if (folder) bits |= kAttrFolder | kAttrFileSysAncestor;
  if (folder && writable) bits |= kAttrDropTarget;
  if (parentWritable) bits |= kAttrCanRename | kAttrCanDelete | kAttrCanMove;
  if (!writable) bits |= kAttrReadOnly;
  if (S_ISLNK(entry.st_mode)) bits |= kAttrLink;
  if (IsHiddenItemName(name)) bits |= kAttrGhosted;
  if (folder && (request & kAttrHasSubfolder) && HasSubfolder(path)) bits |= kAttrHasSubfolder;
  return bits & (request | kAttrFileSystem | kAttrFileSysAncestor);
}

bool FileSystemFolder::GetDisplayNameOf(ConstIdList item, std::uint32_t flags, StrRet* name) {
  std::vector<std::string> components = IdComponents(item);
  if (flags & kNameForParsing) {
    name->kind = StrRet::kCString;
    name->cstring = ChildPath(item);
    return true;
  }
  if (components.size() == 1 && (flags & kNameInFolder)) {
    name->kind = StrRet::kOffset;
    name->offset = 2;
    return true;
  }
  std::string last = !components.empty() ? components.back()
                     : m_path == "/"     ? std::string("/")
                                         : paths::NamePart(m_path);
  name->kind = StrRet::kWide;
  name->wide = DecodeFileName(last).toStdU16String();
  return true;
}

Status FileSystemFolder::SetNameOf(ConstIdList item, std::string_view name, std::uint32_t,
                                   IdList* renamed) {
  *renamed = nullptr;
  std::vector<std::string> components = IdComponents(item);
  if (components.size() != 1 || NameFaultOf(name) != NameFault::kNone) return Status::kBadName;
  const std::string& oldName = components[0];
  // A name that reads as the old one (a name that is not UTF-8 is edited as its shown
  // text) keeps the item as it is.
  bool unchanged =
      oldName == name || DecodeFileName(oldName) == QString::fromUtf8(name.data(), name.size());
  if (!unchanged) {
    if (int reason = DocumentHoldReason(m_path, oldName)) {
      return reason == EACCES ? Status::kAccessDenied : Status::kOpenDocument;
    }
    if (NameTakenIgnoringCase(oldName, name)) return Status::kExists;
    Status status =
        RenameNoReplace(ChildPath(item), (m_path == "/" ? "" : m_path) + "/" + std::string(name));
    if (status != Status::kOk) return status;
  }
  *renamed = MakeChildIdList(unchanged ? std::string_view(oldName) : name);
  if (!*renamed) return Status::kFailed;
  auto hint = m_folderHints.extract(oldName);
  if (!hint.empty()) m_folderHints.emplace(IdComponents(*renamed)[0], hint.mapped());
  return Status::kOk;
}

bool FileSystemFolder::NameTakenIgnoringCase(const std::string& oldName,
                                             std::string_view name) const {
  QString wanted = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(m_path.c_str()), closedir);
  if (!dir) return false;
  while (dirent* entry = readdir(dir.get())) {
    std::string_view other = entry->d_name;
    if (other == "." || other == ".." || other == oldName) continue;
    if (DecodeFileName(other).compare(wanted, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

bool FileSystemFolder::GetDetailsOf(ConstIdList item, int column, ShellDetails* details) {
  // A column's title and width are worked out only for the header row: an item's cell needs
  // its text alone, and the typical widths cost MIME look-ups.
  if (!item) return DetailColumnTitle(column, details);
  if (column < 0 || column >= DetailColumnCount()) return false;
  std::string path = ChildPath(item);
  struct stat st;
  if (stat(path.c_str(), &st) != 0 && lstat(path.c_str(), &st) != 0) return false;
  details->text = StrRet{};
  details->text.kind = StrRet::kCString;
  details->text.cstring = DetailText(column, LastComponent(item), st);
  return true;
}

bool FileSystemFolder::GetDefaultColumnState(int column, std::uint32_t* state) {
  return DetailColumnState(column, state);
}

QCollatorSortKey FileSystemFolder::NameSortKey(ConstIdList item) {
  return NameCollator().sortKey(DecodeFileName(LastComponent(item)));
}

// An item that is gone gets the empty text's key, so it sorts before the others.
DetailSortKey FileSystemFolder::DetailKey(ConstIdList item, int column) {
  DetailSortKey key;
  std::string path = ChildPath(item);
  struct stat st;
  bool found = stat(path.c_str(), &st) == 0;
  std::optional<std::int64_t> number = found ? DetailNumber(column, st) : std::nullopt;
  if (number) {
    key.number = *number;
  } else {
    std::string text = found ? DetailText(column, LastComponent(item), st) : std::string();
    key.text = NameCollator().sortKey(QString::fromStdString(text));
  }
  return key;
}

}  // namespace velloria::shell
