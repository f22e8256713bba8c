// The namespace layer over the file system: item id lists of path components and the
// folder interfaces (parse, enumerate, bind, attributes, names, rename, compare, details,
// icons, verbs) that the document list is built on. GUI thread only.
#pragma once

#include <QCollatorSortKey>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_order.h"

namespace velloria::shell {

// An item id list: elements of a 2-byte little-endian count (counting itself) followed by
// one path component's bytes, ended by a zero count. The empty list names the root "/".
using IdList = std::uint8_t*;
using ConstIdList = const std::uint8_t*;

// The size in bytes of the element `element` points at, its count included (0 at the end).
inline std::uint16_t IdElementSize(ConstIdList element) { return bytes::Le16(element); }

// The task allocator every id list handed out by this layer comes from: zero-filled
// blocks; nullptr when memory is exhausted. TaskFree accepts nullptr.
IdList TaskAlloc(std::size_t size);
void TaskFree(IdList list);

// A new absolute id list for `components` (each non-empty, without '/'); nullptr when a
// component is too long for one element or memory is exhausted.
IdList MakeIdList(const std::vector<std::string>& components);
// A new one-element list naming the child `name` of a folder (nullptr as above).
IdList MakeChildIdList(std::string_view name);
// The components of `list` in order (none for nullptr or the empty list).
std::vector<std::string> IdComponents(ConstIdList list);
// Appends "/" and the component to `path` for every component of `list`, in order.
void AppendIdComponents(std::string& path, ConstIdList list);
// The last component of `list`; empty for nullptr or the empty list.
std::string_view LastIdComponent(ConstIdList list);
// Whether `list` has exactly one component.
bool IsSingleIdComponent(ConstIdList list);
// The absolute path an absolute id list names ("/" for the empty list).
std::string PathOfIdList(ConstIdList list);

// Attribute bits of GetAttributesOf (the values the Windows shell uses).
enum Attribute : std::uint32_t {
  kAttrCanCopy = 0x1,
  kAttrCanMove = 0x2,
  kAttrCanLink = 0x4,
  kAttrCanRename = 0x10,
  kAttrCanDelete = 0x20,
  kAttrHasPropSheet = 0x40,
  kAttrDropTarget = 0x100,
  kAttrLink = 0x10000,
  kAttrShare = 0x20000,
  kAttrReadOnly = 0x40000,
  kAttrGhosted = 0x80000,
  kAttrValidate = 0x1000000,
  kAttrRemovable = 0x2000000,
  kAttrFileSysAncestor = 0x10000000,
  kAttrFolder = 0x20000000,
  kAttrFileSystem = 0x40000000,
  kAttrHasSubfolder = 0x80000000,
};

// EnumObjects flags.
enum EnumFlag : std::uint32_t { kEnumFolders = 0x20, kEnumNonFolders = 0x40, kEnumIncludeHidden = 0x80 };

// GetDisplayNameOf flags.
enum NameFlag : std::uint32_t { kNameNormal = 0, kNameInFolder = 1, kNameForParsing = 0x8000 };

// GetDefaultColumnState bit of a column shown by default.
inline constexpr std::uint32_t kColumnOnByDefault = 0x10;

// Column alignment of a detail record.
enum ColumnFormat : int { kFormatLeft = 0, kFormatRight = 1, kFormatCenter = 2 };

// A string returned by a folder, in one of three forms.
struct StrRet {
  enum Kind : std::uint32_t { kWide = 0, kOffset = 1, kCString = 2 };
  Kind kind = kWide;
  std::optional<std::u16string> wide;  // kWide; std::nullopt stands for a null pointer
  std::uint32_t offset = 0;            // kOffset: byte offset into the id list asked about
  std::string cstring;                 // kCString: read up to the first zero byte
};

// One detail record: a column title (no id) or an item's text in that column.
struct ShellDetails {
  int format = kFormatLeft;
  int widthChars = 0;
  StrRet text;
};

// Result codes of the operations that can fail for several reasons.
enum class Status { kOk, kFailed, kNotFound, kExists, kBadName, kOpenDocument, kAccessDenied };

// The interfaces a folder object may offer; BindToObject, GetUIObjectOf and
// CreateViewObject are asked for one of these.
enum class Iid { kShellFolder, kShellFolder2, kShellDetails, kContextMenu };

class Unknown {
 public:
  virtual ~Unknown() = default;
};

// Walks the items of a folder; Next hands out one-element lists the caller frees with
// TaskFree, and returns false at the end.
class EnumIdList {
 public:
  virtual ~EnumIdList() = default;
  virtual bool Next(IdList* item) = 0;
};

class ShellFolder : public Unknown {
 public:
  // `name` is a path relative to this folder, or absolute when it starts with '/'. The
  // item must exist. On success *list is a new list relative to this folder.
  virtual Status ParseDisplayName(std::string_view name, IdList* list) = 0;
  // nullptr when the folder cannot be read.
  virtual std::unique_ptr<EnumIdList> EnumObjects(std::uint32_t flags) = 0;
  virtual std::shared_ptr<Unknown> BindToObject(ConstIdList item, Iid iid) = 0;
  virtual std::shared_ptr<Unknown> CreateViewObject(Iid iid) = 0;
  virtual std::shared_ptr<Unknown> GetUIObjectOf(ConstIdList item, Iid iid) = 0;
  // Negative, 0 or positive: the order of `a` and `b` on `column` (0: the name order).
  virtual int CompareIDs(int column, ConstIdList a, ConstIdList b) = 0;
  // The bits of `request` the item has; a request of 0 reports the file-system bits.
  virtual std::uint32_t GetAttributesOf(ConstIdList item, std::uint32_t request) = 0;
  virtual bool GetDisplayNameOf(ConstIdList item, std::uint32_t flags, StrRet* name) = 0;
  // Renames a child within this folder; on kOk *renamed is the child's new list.
  virtual Status SetNameOf(ConstIdList item, std::string_view name, std::uint32_t flags,
                           IdList* renamed) = 0;
};

// An item's place in the order of a detail column: a number where the column's texts do
// not sort as they read (sizes, times), else a collation key of its text.
struct DetailSortKey {
  std::int64_t number = 0;
  std::optional<QCollatorSortKey> text;

  // Negative, 0 or positive; keys of one column are all numbers or all texts.
  int compare(const DetailSortKey& other) const {
    if (text && other.text) return text->compare(*other.text);
    if (text || other.text) return text ? 1 : -1;
    return number < other.number ? -1 : (other.number < number ? 1 : 0);
  }
};

class ShellFolder2 : public ShellFolder {
 public:
  // `item` nullptr asks for the column title; false past the last column or on failure.
  virtual bool GetDetailsOf(ConstIdList item, int column, ShellDetails* details) = 0;
  virtual bool GetDefaultColumnState(int column, std::uint32_t* state) = 0;
  // A key whose order equals CompareIDs column 0 before its byte tie-break, so a list
  // can be sorted without asking the folder once per comparison.
  virtual QCollatorSortKey NameSortKey(ConstIdList item) = 0;
  // A key whose order equals CompareIDs on `column` (not 0) before its name tie-break.
  virtual DetailSortKey DetailKey(ConstIdList item, int column) = 0;
};

// The older detail interface; folders of this layer do not offer it, wrappers may.
class ShellDetailsSource : public Unknown {
 public:
  virtual bool GetDetailsOf(ConstIdList item, int column, ShellDetails* details) = 0;
};

class ContextMenu : public Unknown {
 public:
  // Runs "open" or "properties"; false for any other verb or when nothing ran.
  virtual bool InvokeCommand(std::string_view verb) = 0;
};

// The root folder "/" (one process-wide object).
std::shared_ptr<ShellFolder> DesktopFolder();

// The absolute list of a special folder by its Windows CSIDL number; Status::kNotFound
// for folders with no counterpart here or that do not exist.
Status SpecialFolderLocation(int csidl, IdList* list);

// Index of the item's icon in the process-wide icon cache (see namespace_icons.h).
int SystemIconIndex(ConstIdList absolute, bool large, bool open);

// Starts the desktop's default application for the item (xdg-open); where there is no
// desktop opener, a document of a word-processor kind (.doc, .docx, .rtf, .odt, .txt...)
// opens in the word processor. False when nothing started.
bool OpenDefault(ConstIdList absolute);
bool OpenDefaultPath(const std::string& path);

// Test hook: replaces how the default action starts a program (tests record the
// request); returns the launcher in use before. The standard launcher asks the desktop.
using Launcher = std::function<bool(const std::string& path)>;
Launcher SetDefaultActionLauncherForTesting(Launcher launcher);

// Shows the properties of a path; the widget layer registers its dialog here. Returns
// the presenter in use before.
using PropertiesPresenter = std::function<void(const std::string& path)>;
PropertiesPresenter SetPropertiesPresenter(PropertiesPresenter presenter);
bool HasPropertiesPresenter();

// What the properties dialog shows of one item; texts are empty for an item that does
// not exist.
struct ItemDescription {
  std::string name, folder, size, type, modified, permissions;
};
ItemDescription DescribeItem(const std::string& path);

// True when `name` could be held by a Windows file system too: not empty, not "." or
// "..", none of \ / : * ? " < > | or codes below 32, no trailing dot or blank, not a
// reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension).
bool IsWindowsSafeName(std::string_view name);

// Why a rename may not give an item the name `name`, the first fault found in this order.
enum class NameFault {
  kNone,
  kEmpty,               // empty, "." or ".."
  kForbiddenCharacter,  // one of \ / : * ? " < > | or a code below 32
  kTrailingDotOrBlank,
  kReservedName,        // CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without extension
  kTooLong,             // more than 255 bytes
  kLeadingDot,          // the item would be hidden
  kSystemFileName,      // a name kept for Windows' and Office's own files: hidden too
};
NameFault NameFaultOf(std::string_view name);

// True for the names folders list no item under: a leading dot, Word owner files ("~$"),
// and what Windows and Office leave in shared folders for themselves: Thumbs.db,
// desktop.ini and Word's save files ~WRL*.tmp (in any letter case).
bool IsHiddenItemName(std::string_view name);

}  // namespace velloria::shell
