// Detail columns of file-system folders: titles, default states and each item's texts
// (size as a file manager shows it, MIME type description, local modification time,
// permissions, owner).
#include <grp.h>
#include <pwd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QMimeDatabase>
#include <algorithm>
#include <array>

#include "platform/file_name_text.h"
#include "platform/mime_comment.h"
#include "platform/namespace_folder.h"
#include "base/paths.h"

namespace velloria::shell {
namespace {

// Titles are written in English and translated when asked for, so that they follow the
// translations installed for the system language.
constexpr const char* kTitleContext = "DetailColumns";

struct ColumnDefinition {
  const char* title;
  int format;
  int widthChars;
  bool onByDefault;
};

constexpr std::array<ColumnDefinition, 6> kColumns = {{
    {QT_TRANSLATE_NOOP("DetailColumns", "Name"), kFormatLeft, 30, true},
    {QT_TRANSLATE_NOOP("DetailColumns", "Size"), kFormatRight, 10, true},
    {QT_TRANSLATE_NOOP("DetailColumns", "Type"), kFormatLeft, 10, true},
    {QT_TRANSLATE_NOOP("DetailColumns", "Modified"), kFormatLeft, 10, true},
    {QT_TRANSLATE_NOOP("DetailColumns", "Permissions"), kFormatLeft, 10, false},
    {QT_TRANSLATE_NOOP("DetailColumns", "Owner"), kFormatLeft, 10, false},
}};

enum Column { kName, kSize, kType, kModified, kPermissions, kOwner };

std::string SizeText(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return {};
  qlonglong kilobytes = (static_cast<qlonglong>(st.st_size) + 1023) / 1024;
  return (QLocale().toString(kilobytes) + " KB").toStdString();
}

std::string TypeText(const std::string& name, const struct stat& st) {
  static QMimeDatabase database;
  QMimeType type = S_ISDIR(st.st_mode)
                       ? database.mimeTypeForName("inode/directory")
                       : database.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension);
  return MimeTypeComment(type).toStdString();
}

std::string ModifiedText(const struct stat& st) {
  QDateTime modified = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
  return QLocale().toString(modified, QLocale::ShortFormat).toStdString();
}

// The types of what an office keeps in its category folders.
constexpr std::array<const char*, 7> kTypicalTypes = {
    "inode/directory",
    "application/msword",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/vnd.oasis.opendocument.text",
    "application/rtf",
    "text/plain",
    "application/pdf",
};

// A width in characters that fits the column's typical texts in the current language:
// the names of the typical types, a date with two-digit day, month, hour and minute.
// None for the other columns.
int TypicalWidthChars(int column) {
  qsizetype longest = 0;
  if (column == kType) {
    QMimeDatabase database;
    for (const char* name : kTypicalTypes) {
      longest = std::max(longest, MimeTypeComment(database.mimeTypeForName(name)).size());
    }
  } else if (column == kModified) {
    QDateTime late(QDate(2026, 12, 28), QTime(23, 59));
    longest = QLocale().toString(late, QLocale::ShortFormat).size();
  }
  return longest == 0 ? 0 : static_cast<int>(longest) + 1;
}

std::string PermissionsText(const struct stat& st) {
  std::string text = S_ISDIR(st.st_mode) ? "d" : S_ISLNK(st.st_mode) ? "l" : "-";
  const char* letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit) text += (st.st_mode & (0400 >> bit)) ? letters[bit] : '-';
  return text;
}

std::string OwnerText(const struct stat& st) {
  if (const passwd* owner = getpwuid(st.st_uid)) return owner->pw_name;
  return std::to_string(st.st_uid);
}

}  // namespace

int DetailColumnCount() { return static_cast<int>(kColumns.size()); }

bool DetailColumnTitle(int column, ShellDetails* details) {
  if (column < 0 || column >= DetailColumnCount()) return false;
  const ColumnDefinition& definition = kColumns[column];
  details->format = definition.format;
  details->widthChars = std::max(definition.widthChars, TypicalWidthChars(column));
  details->text = StrRet{};
  details->text.kind = StrRet::kWide;
  details->text.wide =
      QCoreApplication::translate(kTitleContext, definition.title).toStdU16String();
  return true;
}

bool DetailColumnState(int column, std::uint32_t* state) {
  if (column < 0 || column >= DetailColumnCount()) return false;
  *state = kColumns[column].onByDefault ? kColumnOnByDefault : 0;
  return true;
}

std::string DetailText(int column, const std::string& name, const struct stat& st) {
  switch (column) {
    case kName:
      return name;
    case kSize:
      return SizeText(st);
    case kType:
      return TypeText(name, st);
    case kModified:
      return ModifiedText(st);
    case kPermissions:
      return PermissionsText(st);
    case kOwner:
      return OwnerText(st);
    default:
      return {};
  }
}

std::optional<std::int64_t> DetailNumber(int column, const struct stat& st) {
  switch (column) {
    case kSize:
      return st.st_size;
    case kModified:
      return std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    default:
      return std::nullopt;
  }
}

namespace {

// A file's size in the properties: in KB with the exact bytes beside, or in bytes alone
// under 1 KB, where the rounded-up kilobyte would overstate it.
QString SizeDescription(const struct stat& st) {
  constexpr off_t kKilobyte = 1024;
  QString bytes = QLocale().toString(static_cast<qlonglong>(st.st_size));
  if (st.st_size == 1) return QCoreApplication::translate("ItemDescription", "1 byte");
  if (st.st_size < kKilobyte)
    return QCoreApplication::translate("ItemDescription", "%1 bytes").arg(bytes);
  return QCoreApplication::translate("ItemDescription", "%1 (%2 bytes)")
      .arg(QString::fromStdString(SizeText(st)), bytes);
}

}  // namespace

ItemDescription DescribeItem(const std::string& path) {
  ItemDescription description;
  description.name = DecodeFileName(paths::NamePart(path)).toStdString();
  description.folder = DecodeFileName(paths::FolderPart(path)).toStdString();
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return description;
  if (!S_ISDIR(st.st_mode)) description.size = SizeDescription(st).toStdString();
  description.type = TypeText(paths::NamePart(path), st);
  description.modified = ModifiedText(st);
  description.permissions = PermissionsText(st) + ", " + OwnerText(st);
  return description;
}

}  // namespace velloria::shell
