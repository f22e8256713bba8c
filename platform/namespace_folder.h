// The file-system folder behind every namespace folder object: one folder path, its
// children named by id lists relative to it. Internal to the namespace layer; GUI thread.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/namespace.h"

namespace velloria::shell {

class FileSystemFolder final : public ShellFolder2 {
 public:
  // `path` is absolute and has no trailing '/' except for the root "/".
  explicit FileSystemFolder(std::string path);

  const std::string& Path() const { return m_path; }
  // The absolute path of `item`, a list relative to this folder.
  std::string ChildPath(ConstIdList item) const;

  Status ParseDisplayName(std::string_view name, IdList* list) override;
  std::unique_ptr<EnumIdList> EnumObjects(std::uint32_t flags) override;
  std::shared_ptr<Unknown> BindToObject(ConstIdList item, Iid iid) override;
  std::shared_ptr<Unknown> CreateViewObject(Iid iid) override;
  std::shared_ptr<Unknown> GetUIObjectOf(ConstIdList item, Iid iid) override;
  int CompareIDs(int column, ConstIdList a, ConstIdList b) override;
  std::uint32_t GetAttributesOf(ConstIdList item, std::uint32_t request) override;
  bool GetDisplayNameOf(ConstIdList item, std::uint32_t flags, StrRet* name) override;
  Status SetNameOf(ConstIdList item, std::string_view name, std::uint32_t flags,
                   IdList* renamed) override;
  bool GetDetailsOf(ConstIdList item, int column, ShellDetails* details) override;
  bool GetDefaultColumnState(int column, std::uint32_t* state) override;
  QCollatorSortKey NameSortKey(ConstIdList item) override;
  DetailSortKey DetailKey(ConstIdList item, int column) override;

 private:
  // Folder-or-not of a direct child as the last enumeration saw it; nullopt when unknown.
  std::optional<bool> FolderHint(ConstIdList item) const;
  bool IsFolderChild(ConstIdList item);
  // True when another entry than `oldName` has the name `name` ignoring letter case
  // (Windows machines sharing the folder could not keep the two apart).
  bool NameTakenIgnoringCase(const std::string& oldName, std::string_view name) const;
  std::uint32_t ComputeAttributes(const std::string& path, const std::string& name,
                                  std::uint32_t request);

  std::string m_path;
  // Folder-or-not of the children seen by the last enumeration, so that listing and
  // sorting a large folder does not stat every child again.
  std::unordered_map<std::string, bool> m_folderHints;
};

// The detail columns of file-system folders ("Name", "Size", "Type", "Modified" shown by
// default; "Permissions", "Owner" available).
int DetailColumnCount();
bool DetailColumnTitle(int column, ShellDetails* details);
bool DetailColumnState(int column, std::uint32_t* state);
// The text of `column` for the item `name` whose stat is `st`.
std::string DetailText(int column, const std::string& name, const struct stat& st);
// The value behind `column`'s text where that text does not sort as it reads: the size
// in bytes, the modification time in nanoseconds; none for the other columns.
std::optional<std::int64_t> DetailNumber(int column, const struct stat& st);
// Renames `from` to `to` where the file system offers no atomic rename without replace,
// as fileops::RenameWithoutReplacing does: a file by a hard link and the removal of its
// old name (when two renames of one file meet, one wins and the other fails with
// kNotFound, leaving no second name); a folder, or a file where hard links are not
// supported, over a reservation of `to` made by an exclusive create.
Status RenameWithoutReplacing(const std::string& from, const std::string& to);
// The last component of a list (empty for the empty list).
std::string LastComponent(ConstIdList item);

}  // namespace velloria::shell
