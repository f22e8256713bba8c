// Shell items: one namespace item (folder or file) as its parent folder sees it, with
// its names, attributes, cached column texts, icon, rename and default action; the text
// conversion of shell strings; the process-wide desktop item. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "platform/namespace.h"
#include "platform/officelock.h"
#include "shellview/shell_ids.h"

namespace velloria {

using IShellFolder = shell::ShellFolder;
using IShellFolder2 = shell::ShellFolder2;
using IShellDetails = shell::ShellDetailsSource;

// Attribute flags of an item (ItemProperties).
enum TItemProperty : unsigned {
  ipGhosted = 1u << 0,
  ipLink = 1u << 1,
  ipReadOnly = 1u << 2,
  ipShared = 1u << 3,
  ipFileSystem = 1u << 4,
  ipFileSystemAncestor = 1u << 5,
  ipRemovable = 1u << 6,
  ipValidate = 1u << 7,
};
using TItemProperties = unsigned;

// What may be done with an item (ItemAbilities).
enum TItemAbility : unsigned {
  iaCanCopy = 1u << 0,
  iaCanDelete = 1u << 1,
  iaCanLink = 1u << 2,
  iaCanMove = 1u << 3,
  iaCanRename = 1u << 4,
  iaDropTarget = 1u << 5,
  iaHasPropSheet = 1u << 6,
};
using TItemAbilities = unsigned;

class TShellFolder {
 public:
  // `id` is copied. Without a parent the item's FullID is the desktop's list followed by
  // `id`, and its ParentItem becomes DesktopItem afterwards.
  TShellFolder(TShellFolder* parent, PCItemIDList id, std::shared_ptr<IShellFolder> folder);
  ~TShellFolder();
  TShellFolder(const TShellFolder&) = delete;
  TShellFolder& operator=(const TShellFolder&) = delete;

  PCItemIDList LocalID() const { return m_localId; }
  PCItemIDList FullID() const { return m_fullId; }
  TShellFolder* ParentItem() const { return m_parent; }
  // The item's own folder interface; empty for files and folders that could not be bound.
  const std::shared_ptr<IShellFolder>& FolderInterface() const { return m_folder; }
  // The parent item's folder interface; the desktop folder when there is no parent item.
  std::shared_ptr<IShellFolder> ParentFolderInterface() const;

  QString ItemName() const;
  // The full path as text: names that are not UTF-8 are shown decoded (see
  // file_name_text.h), so this text is for display; file calls take FileSystemPath.
  QString FullPath() const;
  // The full path as the file system's bytes.
  std::string FileSystemPath() const;
  bool IsContainer() const;
  bool HasChildFolders() const;
  TItemProperties ItemProperties() const;
  TItemAbilities ItemAbilities() const;

  // Renames the item within its folder. Returns false, changing nothing, when the item
  // cannot be renamed; raises EShellError with RenameFailedText when the folder refuses
  // (name taken, unsafe name, document open, item gone). The cached column texts are kept.
  // With `setAside`, the lock files of a document that the user chose to rename despite
  // another computer's lock are first moved out of the way, then removed once the document
  // has its new name, or put back when it has not.
  bool RenameTo(const QString& newName, const shell::ForeignLock* setAside = nullptr);
  // Index of the item's icon in the process-wide icon cache; the closed icon's index is
  // looked up once per name the item has.
  int SystemIconIndex(bool large, bool open) const;
  // Starts the item's default action; raises EShellError saying so when nothing could
  // be started.
  void OpenDefault() const;

  // Fills the column-text cache with `columnCount` texts (columns 1..count) from the
  // detail source of `root`; a cache holding that many texts already is kept. May raise
  // EInvalidPath when the file-system fallback finds no directory entry.
  void LoadColumnDetails(TShellFolder* root, int columnCount);
  // Text of column `column` (1-based); raises EShellError "%s: Missing call to
  // LoadColumnDetails" when the cache is empty.
  QString ColumnText(int column) const;

  // The detail interfaces, looked up once on first need (either may stay empty).
  std::shared_ptr<IShellFolder2> ShellFolder2Interface();
  std::shared_ptr<IShellDetails> ShellDetailsInterface();

 private:
  std::shared_ptr<shell::Unknown> DetailInterface();
  void LookUpDetailInterfaces();
  void LoadFileSystemDetails(int columnCount);
  std::uint32_t Attributes(std::uint32_t request) const;

  PItemIDList m_localId = nullptr;
  PItemIDList m_fullId = nullptr;
  TShellFolder* m_parent = nullptr;
  std::shared_ptr<IShellFolder> m_folder;
  std::shared_ptr<IShellFolder2> m_folder2;
  std::shared_ptr<IShellDetails> m_details;
  std::shared_ptr<shell::Unknown> m_detailSource;
  bool m_detailsLookedUp = false;
  QStringList m_detailTexts;  // column texts 1..n; empty until LoadColumnDetails
  mutable int m_closedIconIndex = -1;  // -1 until first asked for
};

// "Rename to NAME failed." in the user's language and, on a second line, why the folder
// refused the rename with `status`: for kBadName the fault of `newName`; for kExists
// whether the name is taken as written or in other letter case, looked up beside `item`
// (which may be null for the other statuses).
QString RenameFailedText(const TShellFolder* item, const QString& newName, shell::Status status);
// The same, "Rename to NEWNAME failed." and below it that the document's name leads to
// another file by now (renamed or replaced at another desk), which was left as it is.
QString RenameReplacedText(const QString& newName);

// "Cannot open \"NAME\": no program to open it was found." in the user's language.
QString OpenFailedText(const QString& name);

// The process-wide desktop item (made on first use, with the desktop folder interface).
TShellFolder* DesktopItem();

// The display name of `id` in `folder`; "parentfolder = nil" without a folder. A name
// beginning with "::{" is asked again with the normal flags.
QString QueryDisplayName(const std::shared_ptr<IShellFolder>& folder, PCItemIDList id,
                         std::uint32_t flags);
// The text of a shell string; a text of two or more characters beginning with "?" and a
// digit loses every "?".
QString TextFromShellString(PCItemIDList id, const shell::StrRet& text);
// The folder interface of `child` inside `parent`, or empty (files normally bind none).
std::shared_ptr<IShellFolder> BindChildFolder(const std::shared_ptr<IShellFolder>& parent,
                                              PCItemIDList child);
// A new shell item for the absolute list `absolute`, parent DesktopItem; owned by the
// caller. Its folder interface is empty when the list names no folder (any more).
std::unique_ptr<TShellFolder> MakeRootItem(PCItemIDList absolute);

}  // namespace velloria
