// Shell items: names, attributes, detail lookup and column-text cache, rename, icon and
// default action of one namespace item.
#include "shellview/shell_folder.h"

#include <limits.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <cerrno>

#include "base/paths.h"
#include "platform/file_name_text.h"
#include "platform/officelock.h"
#include "shellview/shell_errors.h"

namespace velloria {
namespace {

std::unique_ptr<TShellFolder>& DesktopItemSlot() {
  static std::unique_ptr<TShellFolder> desktop;
  return desktop;
}

template <typename Interface>
std::shared_ptr<Interface> As(const std::shared_ptr<shell::Unknown>& object) {
  return std::dynamic_pointer_cast<Interface>(object);
}

bool IsDecimalDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

QString OffsetText(PCItemIDList id, std::uint32_t offset) {
  if (!id) return {};
  std::uint32_t count = shell::IdElementSize(id);
  if (offset >= count) return {};
  return shell::DecodeFileName(
      std::string_view(reinterpret_cast<const char*>(id) + offset, count - offset));
}

// Windows file attribute bits of the fallback details.
unsigned WindowsAttributes(const QString& name, const struct stat& st) {
  unsigned bits = S_ISDIR(st.st_mode) ? 0x10 : 0x20;  // directory : archive
  if (!(st.st_mode & S_IWUSR)) bits |= 0x1;           // read-only
  if (name.startsWith('.')) bits |= 0x2;               // hidden
  return bits;
}

// The modification time at DOS resolution (two seconds, years 1980 to 2107), or the
// date-time value -1 for folders and for times a DOS date cannot hold.
QString FallbackTimeText(const struct stat& st) {
  QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toLocalTime();
  QDate date = modified.date();
  if (S_ISDIR(st.st_mode) || date.year() < 1980 || date.year() > 2107) {
    modified = QDateTime(QDate(1899, 12, 29), QTime(0, 0));
  } else {
    QTime time = modified.time();
    modified = QDateTime(date, QTime(time.hour(), time.minute(), time.second() / 2 * 2));
  }
  return QLocale().toString(modified, QLocale::ShortFormat);
}

QString FallbackText(int column, const QString& name, const struct stat& st) {
  switch (column) {
    case 1:
      return S_ISDIR(st.st_mode) ? QStringLiteral("-1") : QString::number(static_cast<qint64>(st.st_size));
    case 2: {
      qsizetype dot = name.lastIndexOf('.');
      return dot < 0 ? QString() : name.mid(dot);
    }
    case 3:
      return FallbackTimeText(st);
    case 4:
      return QString::number(WindowsAttributes(name, st));
    default:
      return {};
  }
}

// The rename texts, in the "ShellRename" context, each spelled out for lupdate to find.
QString RenameText(const char* text) { return QCoreApplication::translate("ShellRename", text); }

QString NameFaultReason(shell::NameFault fault) {
  switch (fault) {
    case shell::NameFault::kEmpty:
      return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The name cannot be empty."));
    case shell::NameFault::kForbiddenCharacter:
      return RenameText(QT_TRANSLATE_NOOP("ShellRename",
                                          "A name cannot contain any of the characters \\ / : * ? "
                                          "\" < > | nor control characters."));
    case shell::NameFault::kTrailingDotOrBlank:
      return RenameText(
          QT_TRANSLATE_NOOP("ShellRename", "A name cannot end with a dot or a blank."));
    case shell::NameFault::kReservedName:
      return RenameText(QT_TRANSLATE_NOOP(
          "ShellRename",
          "Windows keeps this name for a device (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9), "
          "also with an extension."));
    case shell::NameFault::kLeadingDot:
      return RenameText(QT_TRANSLATE_NOOP(
          "ShellRename",
          "A name cannot begin with a dot: the document would be hidden and could no longer be "
          "shown in the list."));
    case shell::NameFault::kSystemFileName:
      return RenameText(QT_TRANSLATE_NOOP(
          "ShellRename",
          "Windows and Office keep this name for files of their own, which the list does not "
          "show."));
    case shell::NameFault::kTooLong:
    case shell::NameFault::kNone:
      break;
  }
  return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The name is too long (more than %1 bytes)."))
      .arg(NAME_MAX);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// True when an item is named exactly `name` beside `item`.
bool NameTakenAsWritten(const TShellFolder* item, const QString& name) {
  return item && Exists(paths::FolderPart(item->FileSystemPath()) + name.toStdString());
}

// Who has the document of `item` open and since when, as its lock file records it, in the
// user's short date and time; that another program uses it when no lock file says so.
QString HolderReason(const TShellFolder* item) {
  std::string path = item ? item->FileSystemPath() : std::string();
  std::string folder = paths::FolderPart(path), name = paths::NamePart(path);
  std::optional<time_t> since = shell::LockFileTime(folder, name);
  if (!since) return RenameText(QT_TRANSLATE_NOOP("ShellRename", "Another program is using the document."));
  QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(*since), QLocale::ShortFormat);
  shell::DocumentHolder holder = shell::DocumentHolderOf(folder, name).value_or(shell::DocumentHolder{});
  QString user = shell::DecodeFileName(holder.user), host = shell::DecodeFileName(holder.host);
  if (!user.isEmpty() && !host.isEmpty()) {
    return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The document is open by %1 on the computer %2 since %3."))
        .arg(user, host, when);
  }
  if (!user.isEmpty()) return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The document is open by %1 since %2.")).arg(user, when);
  if (!host.isEmpty()) {
    return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The document is open on the computer %1 since %2."))
        .arg(host, when);
  }
  return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The document is open in a word processor since %1.")).arg(when);
}

QString RenameRefusalReason(const TShellFolder* item, const QString& newName,
                            shell::Status status) {
  switch (status) {
    case shell::Status::kBadName:
      return NameFaultReason(shell::NameFaultOf(newName.toStdString()));
    case shell::Status::kExists:
      return NameTakenAsWritten(item, newName)
                 ? RenameText(QT_TRANSLATE_NOOP(
                       "ShellRename", "A document or folder with this name already exists."))
                 : RenameText(QT_TRANSLATE_NOOP("ShellRename",
                                                "A document or folder with this name written in "
                                                "other capital and small letters "
                                                "already exists."));
    case shell::Status::kOpenDocument:
      return HolderReason(item);
    case shell::Status::kAccessDenied:
      if (!item || Exists(item->FileSystemPath())) {
        return RenameText(QT_TRANSLATE_NOOP(
            "ShellRename", "You may not change this folder, or the document is read-only."));
      }
      [[fallthrough]];  // an item gone meanwhile cannot be renamed either
    case shell::Status::kNotFound:
      return RenameText(QT_TRANSLATE_NOOP(
          "ShellRename",
          "The document is no longer there: it has been renamed, moved or deleted meanwhile."));
    case shell::Status::kOk:
    case shell::Status::kFailed:
      break;
  }
  return RenameText(QT_TRANSLATE_NOOP("ShellRename", "The system refused the change."));
}

}  // namespace

TShellFolder::TShellFolder(TShellFolder* parent, PCItemIDList id, std::shared_ptr<IShellFolder> folder)
    : m_localId(DuplicateID(id)), m_parent(parent), m_folder(std::move(folder)) {
  if (parent) {
    m_fullId = JoinIDs(parent->FullID(), m_localId);
  } else {
    TShellFolder* desktop = DesktopItemSlot().get();
    m_fullId = JoinIDs(desktop ? desktop->FullID() : nullptr, m_localId);
    m_parent = desktop;
  }
}

TShellFolder::~TShellFolder() {
  FreeID(m_localId);
  FreeID(m_fullId);
}

std::shared_ptr<IShellFolder> TShellFolder::ParentFolderInterface() const {
  return m_parent ? m_parent->FolderInterface() : shell::DesktopFolder();
}

QString TShellFolder::ItemName() const {
  return QueryDisplayName(ParentFolderInterface(), m_localId, shell::kNameInFolder);
}

QString TShellFolder::FullPath() const {
  return QueryDisplayName(shell::DesktopFolder(), m_fullId, shell::kNameForParsing);
}

std::string TShellFolder::FileSystemPath() const { return shell::PathOfIdList(m_fullId); }

std::uint32_t TShellFolder::Attributes(std::uint32_t request) const {
  std::shared_ptr<IShellFolder> parent = ParentFolderInterface();
  return parent ? parent->GetAttributesOf(m_localId, request) : 0;
}

bool TShellFolder::IsContainer() const { return Attributes(shell::kAttrFolder) & shell::kAttrFolder; }

bool TShellFolder::HasChildFolders() const {
  return Attributes(shell::kAttrHasSubfolder) & shell::kAttrHasSubfolder;
}

TItemProperties TShellFolder::ItemProperties() const {
  if (!ParentFolderInterface()) return 0;
  TItemProperties properties = 0;
  std::uint32_t first = Attributes(0x000F0000);
  if (first & shell::kAttrGhosted) properties |= ipGhosted;
  if (first & shell::kAttrLink) properties |= ipLink;
  if (first & shell::kAttrReadOnly) properties |= ipReadOnly;
  if (first & shell::kAttrShare) properties |= ipShared;
  std::uint32_t second = Attributes(0);
  if (second & shell::kAttrFileSystem) properties |= ipFileSystem;
  if (second & shell::kAttrFileSysAncestor) properties |= ipFileSystemAncestor;
  if (second & shell::kAttrRemovable) properties |= ipRemovable;
  if (second & shell::kAttrValidate) properties |= ipValidate;
  return properties;
}

TItemAbilities TShellFolder::ItemAbilities() const {
  std::uint32_t bits = Attributes(0x177);
  TItemAbilities abilities = 0;
  if (bits & shell::kAttrCanCopy) abilities |= iaCanCopy;
  if (bits & shell::kAttrCanDelete) abilities |= iaCanDelete;
  if (bits & shell::kAttrCanLink) abilities |= iaCanLink;
  if (bits & shell::kAttrCanMove) abilities |= iaCanMove;
  if (bits & shell::kAttrCanRename) abilities |= iaCanRename;
  if (bits & shell::kAttrDropTarget) abilities |= iaDropTarget;
  if (bits & shell::kAttrHasPropSheet) abilities |= iaHasPropSheet;
  return abilities;
}

bool TShellFolder::RenameTo(const QString& newName, const shell::ForeignLock* setAside) {
  if (!(ItemAbilities() & iaCanRename)) return false;
  std::shared_ptr<IShellFolder> parent = ParentFolderInterface();
  if (!parent) throw EShellError(RenameFailedText(this, newName, shell::Status::kFailed));
  if (setAside) {
    if (shell::SetLockFilesAside(*setAside) != 0) {
      throw EShellError(RenameFailedText(this, newName, shell::Status::kOpenDocument));
    }
  }
  PItemIDList renamed = nullptr;
  shell::Status status = parent->SetNameOf(m_localId, newName.toStdString(), shell::kNameNormal, &renamed);
  if (setAside && status == shell::Status::kOk) shell::DropLockFilesSetAside(*setAside);
  if (setAside && status != shell::Status::kOk) shell::RestoreLockFilesSetAside(*setAside);
  if (status != shell::Status::kOk) {
    FreeID(renamed);
    throw EShellError(RenameFailedText(this, newName, status));
  }
  FreeID(m_localId);
  FreeID(m_fullId);
  m_localId = renamed;
  m_fullId = m_parent ? JoinIDs(m_parent->FullID(), renamed) : DuplicateID(renamed);
  m_closedIconIndex = -1;  // a new extension may mean a new type
  return true;
}

int TShellFolder::SystemIconIndex(bool large, bool open) const {
  if (open) return shell::SystemIconIndex(m_fullId, large, open);
  if (m_closedIconIndex < 0) m_closedIconIndex = shell::SystemIconIndex(m_fullId, large, open);
  return m_closedIconIndex;
}

void TShellFolder::OpenDefault() const {
  if (!shell::OpenDefault(m_fullId)) throw EShellError(OpenFailedText(ItemName()));
}

void TShellFolder::LookUpDetailInterfaces() {
  m_detailsLookedUp = true;
  std::shared_ptr<IShellFolder> desktop = shell::DesktopFolder();
  m_details = As<IShellDetails>(m_folder->BindToObject(m_fullId, shell::Iid::kShellDetails));
  if (!m_details) m_details = As<IShellDetails>(m_folder->GetUIObjectOf(m_fullId, shell::Iid::kShellDetails));
  if (!m_details) m_details = As<IShellDetails>(m_folder->CreateViewObject(shell::Iid::kShellDetails));
  if (!m_details) m_details = As<IShellDetails>(desktop->BindToObject(m_fullId, shell::Iid::kShellDetails));
  if (!m_details) {
    m_folder2 = As<IShellFolder2>(desktop->BindToObject(m_fullId, shell::Iid::kShellFolder2));
    if (!m_folder2) m_folder2 = As<IShellFolder2>(m_folder->GetUIObjectOf(m_fullId, shell::Iid::kShellFolder2));
    if (!m_folder2) m_folder2 = As<IShellFolder2>(m_folder->BindToObject(m_fullId, shell::Iid::kShellFolder2));
    if (!m_folder2) m_folder2 = std::dynamic_pointer_cast<IShellFolder2>(m_folder);
  }
  if (m_folder2) {
    m_detailSource = m_folder2;
  } else {
    m_detailSource = m_details;
  }
}

std::shared_ptr<shell::Unknown> TShellFolder::DetailInterface() {
  if (m_detailSource || !m_folder || m_detailsLookedUp) return m_detailSource;
  LookUpDetailInterfaces();
  return m_detailSource;
}

std::shared_ptr<IShellFolder2> TShellFolder::ShellFolder2Interface() {
  DetailInterface();
  return m_folder2;
}

std::shared_ptr<IShellDetails> TShellFolder::ShellDetailsInterface() {
  DetailInterface();
  return m_details;
}

void TShellFolder::LoadColumnDetails(TShellFolder* root, int columnCount) {
  if (m_detailTexts.size() >= columnCount) return;
  m_detailTexts.clear();
  std::shared_ptr<IShellFolder2> folder2 = root->ShellFolder2Interface();
  std::shared_ptr<IShellDetails> details = folder2 ? nullptr : root->ShellDetailsInterface();
  if (folder2 || details) {
    for (int column = 1; column <= columnCount; ++column) {
      shell::ShellDetails record;
      bool ok = folder2 ? folder2->GetDetailsOf(m_localId, column, &record)
                        : details->GetDetailsOf(m_localId, column, &record);
      m_detailTexts << (ok ? TextFromShellString(m_localId, record.text) : QString());
    }
  } else if (root->ItemProperties() & ipFileSystem) {
    LoadFileSystemDetails(columnCount);
  }
}

void TShellFolder::LoadFileSystemDetails(int columnCount) {
  struct stat st;
  if (lstat(FileSystemPath().c_str(), &st) != 0) {
    QString message = FormatMessage("Unable to retrieve folder details for \"%s\". Error code $", ItemName());
    throw EInvalidPath(message + QString::number(errno, 16));
  }
  QString name = ItemName();
  for (int column = 1; column <= columnCount; ++column) m_detailTexts << FallbackText(column, name, st);
}

QString TShellFolder::ColumnText(int column) const {
  if (m_detailTexts.isEmpty()) throw EShellError(FormatMessage("%s: Missing call to LoadColumnDetails", ItemName()));
  return column >= 1 && column <= m_detailTexts.size() ? m_detailTexts[column - 1] : QString();
}

QString RenameFailedText(const TShellFolder* item, const QString& newName, shell::Status status) {
  return RenameText(QT_TRANSLATE_NOOP("ShellRename", "Rename to %1 failed.")).arg(newName) + QLatin1Char('\n') +
         RenameRefusalReason(item, newName, status);
}

QString RenameReplacedText(const QString& newName) {
  return RenameText(QT_TRANSLATE_NOOP("ShellRename", "Rename to %1 failed.")).arg(newName) + QLatin1Char('\n') +
         RenameText(QT_TRANSLATE_NOOP("ShellRename",
                                      "Meanwhile the document has been renamed or replaced at another "
                                      "desk: its name now leads to another file, which was left as "
                                      "it is."));
}

QString OpenFailedText(const QString& name) {
  return QCoreApplication::translate("ShellOpen", "Cannot open \"%1\": no program to open it was found.").arg(name);
}

TShellFolder* DesktopItem() {
  std::unique_ptr<TShellFolder>& slot = DesktopItemSlot();
  if (!slot) {
    PItemIDList desktopId = nullptr;
    shell::SpecialFolderLocation(0x00, &desktopId);
    IDListHolder holder(desktopId);
    if (desktopId) slot = std::make_unique<TShellFolder>(nullptr, desktopId, shell::DesktopFolder());
  }
  return slot.get();
}

QString QueryDisplayName(const std::shared_ptr<IShellFolder>& folder, PCItemIDList id, std::uint32_t flags) {
  if (!folder) return QStringLiteral("parentfolder = nil");
  shell::StrRet name;
  folder->GetDisplayNameOf(id, flags, &name);
  QString text = TextFromShellString(id, name);
  if (!text.startsWith(QLatin1String("::{"))) return text;
  shell::StrRet normal;
  folder->GetDisplayNameOf(id, shell::kNameNormal, &normal);
  return TextFromShellString(id, normal);
}

QString TextFromShellString(PCItemIDList id, const shell::StrRet& text) {
  QString result;
  switch (text.kind) {
    case shell::StrRet::kWide:
      if (text.wide) result = QString::fromStdU16String(*text.wide);
      break;
    case shell::StrRet::kOffset:
      result = OffsetText(id, text.offset);
      break;
    case shell::StrRet::kCString:
      result = shell::DecodeFileName(text.cstring.c_str());
      break;
  }
  if (result.size() > 1 && result[0] == QLatin1Char('?') && IsDecimalDigit(result[1])) {
    result.remove(QLatin1Char('?'));
  }
  return result;
}

std::shared_ptr<IShellFolder> BindChildFolder(const std::shared_ptr<IShellFolder>& parent, PCItemIDList child) {
  if (!parent) return As<IShellFolder>(shell::DesktopFolder()->BindToObject(child, shell::Iid::kShellFolder));
  std::shared_ptr<IShellFolder> folder = As<IShellFolder>(parent->BindToObject(child, shell::Iid::kShellFolder));
  if (!folder) folder = As<IShellFolder>(parent->GetUIObjectOf(child, shell::Iid::kShellFolder));
  if (!folder) folder = As<IShellFolder>(parent->CreateViewObject(shell::Iid::kShellFolder));
  return folder;
}

std::unique_ptr<TShellFolder> MakeRootItem(PCItemIDList absolute) {
  std::shared_ptr<IShellFolder> desktop = shell::DesktopFolder();
  std::shared_ptr<IShellFolder> folder = BindChildFolder(desktop, absolute);
  // Only the desktop itself falls back to the desktop folder: a vanished folder or a
  // file shows no items rather than the desktop's.
  if (!folder && IDElementCount(absolute) == 0) folder = desktop;
  return std::make_unique<TShellFolder>(DesktopItem(), absolute, folder);
}

}  // namespace velloria
