// The desktop's Trash: finding or making the Trash of a document's file system, writing
// the .trashinfo, and moving the document in without replacing anything. The Trash's
// folders are opened one by one relative to each other, never through a link, and the
// info file and the move go through those open folders.
#include "platform/trash.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

#include "base/paths.h"
#include "platform/unique_fd.h"

namespace velloria::trash {
namespace {

using Fd = UniqueFd;

std::atomic<void (*)()> g_beforeMoveHook{nullptr};

constexpr const char* kInfoSuffix = ".trashinfo";

// An open Trash: its path, its info/ and files/ folders, and the folder Path= is relative
// to ("" for the home Trash, whose Path= is absolute).
struct OpenTrash {
  std::string folder;
  std::string topdir;
  Fd info;
  Fd files;
};

// Opens the folder `name` inside `parent`, never through a link: ELOOP or ENOTDIR when
// `name` is a link or no folder.
Fd OpenFolderAt(int parent, const char* name) {
  return Fd(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Opens the folder `name` inside `parent`, made 0700 when missing; it must belong to this
// account. EPERM means here that it belongs to another: a folder that may not be made
// answers EACCES, whatever the file system said.
Fd OpenOwnFolderAt(int parent, const char* name, int& error) {
  if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST) {
    error = errno == EPERM ? EACCES : errno;
    return Fd();
  }
  Fd folder = OpenFolderAt(parent, name);
  struct stat st;
  if (!folder.valid() || fstat(folder.get(), &st) != 0) {
    error = errno;
    return Fd();
  }
  if (st.st_uid != getuid()) {
    error = EPERM;
    return Fd();
  }
  error = 0;
  return folder;
}

bool IsLinkOrForeign(int error) { return error == ELOOP || error == ENOTDIR || error == EPERM; }

NoTrash NoTrashFor(int error) {
  return IsLinkOrForeign(error) ? NoTrash::kUnsafeTrash : NoTrash::kNoRights;
}

// Opens info/ and files/ of the Trash folder `trash`, made when missing.
int OpenTrashParts(int trash, OpenTrash& open) {
  int error = 0;
  open.info = OpenOwnFolderAt(trash, "info", error);
  if (error) return error;
  open.files = OpenOwnFolderAt(trash, "files", error);
  return error;
}

std::string DataHome() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data && data[0] == '/') return data;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.local/share";
}

// Makes `path` and the folders above it that are missing, 0700 as the Trash's parents
// are private.
int MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

// The home Trash, made when missing.
int OpenHomeTrash(OpenTrash& trash) {
  std::string data = DataHome();
  if (int error = MakeFolders(data)) return error;
  Fd parent(open(data.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parent.valid()) return errno;
  int error = 0;
  Fd folder = OpenOwnFolderAt(parent.get(), "Trash", error);
  if (error) return error;
  trash.folder = data + "/Trash";
  return OpenTrashParts(folder.get(), trash);
}

// $topdir/.Trash/$uid when an administrator made .Trash as a real folder with the sticky
// bit; an invalid Fd otherwise.
Fd AdministratorTrash(int top, std::string& name) {
  Fd shared = OpenFolderAt(top, ".Trash");
  struct stat st;
  if (!shared.valid() || fstat(shared.get(), &st) != 0 || !(st.st_mode & S_ISVTX)) return Fd();
  name = ".Trash/" + std::to_string(getuid());
  int error = 0;
  return OpenOwnFolderAt(shared.get(), std::to_string(getuid()).c_str(), error);
}

// The volume Trash under `topdir`: the administrator's, else $topdir/.Trash-$uid.
int OpenVolumeTrash(const std::string& topdir, OpenTrash& trash) {
  Fd top(open(topdir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!top.valid()) return errno;
  std::string name;
  Fd folder = AdministratorTrash(top.get(), name);
  if (!folder.valid()) {
    int error = 0;
    name = ".Trash-" + std::to_string(getuid());
    folder = OpenOwnFolderAt(top.get(), name.c_str(), error);
    if (error) return error;
  }
  trash.folder = (topdir == "/" ? "" : topdir) + "/" + name;
  trash.topdir = topdir;
  return OpenTrashParts(folder.get(), trash);
}

// The folder, without links, at the top of the file system holding `folder` (itself
// without links): the last one up whose parent is on another device.
int TopFolderOf(const std::string& folder, dev_t device, std::string& top) {
  top = folder;
  while (top != "/") {
    std::string parent = top.substr(0, top.rfind('/'));
    if (parent.empty()) parent = "/";
    struct stat st;
    if (stat(parent.c_str(), &st) != 0) return errno;
    if (st.st_dev != device) return 0;
    top = parent;
  }
  return 0;
}

// The document's folder without links, and its own name.
int RealLocation(const std::string& path, std::string& folder, std::string& name) {
  std::string given = paths::FolderPart(path);
  char real[PATH_MAX];
  if (!realpath(given.empty() ? "." : given.c_str(), real)) return errno;
  folder = real;
  name = paths::NamePart(path);
  return name.empty() ? EINVAL : 0;
}

std::string Joined(const std::string& folder, const std::string& name) {
  return (folder == "/" ? "" : folder) + "/" + name;
}

// Opens the Trash for a document on device `device` in the folder `folder`.
int OpenTrashFor(const std::string& folder, dev_t device, OpenTrash& open, NoTrash& noTrash) {
  OpenTrash home;
  int error = OpenHomeTrash(home);
  struct stat st;
  if (!error && fstat(home.files.get(), &st) == 0 && st.st_dev == device) {
    open = std::move(home);
    return 0;
  }
  // A document on the home's file system goes to the home Trash or nowhere.
  if (error && stat(DataHome().c_str(), &st) == 0 && st.st_dev == device) {
    noTrash = NoTrashFor(error);
    return error;
  }
  std::string top;
  if (int failure = TopFolderOf(folder, device, top)) return failure;
  error = OpenVolumeTrash(top, open);
  if (error) noTrash = NoTrashFor(error);
  return error;
}

// The text of the info file; "" when the clock cannot be read.
std::string InfoText(const std::string& path) {
  std::time_t now = std::time(nullptr);
  struct tm local;
  char date[32];
  if (!localtime_r(&now, &local) || !std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local))
    return {};
  return "[Trash Info]\nPath=" + EncodeTrashPath(path) + "\nDeletionDate=" + date + "\n";
}

// Writes info/`name`.trashinfo only when the name is free (EEXIST otherwise), flushed to
// disk before the document moves; on failure it goes again.
int WriteInfo(int info, const std::string& name, const std::string& text) {
  std::string file = name + kInfoSuffix;
  Fd out(openat(info, file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.valid()) return errno;
  int error = WriteAll(out.get(), text.data(), text.size());
  if (!error && fsync(out.get()) != 0) error = errno;
  int closeError = out.Close();
  if (!error) error = closeError;
  if (error) unlinkat(info, file.c_str(), 0);
  return error;
}

// Cuts `text` to at most `size` bytes without splitting a UTF-8 character.
std::string CutAt(const std::string& text, size_t size) {
  if (text.size() <= size) return text;
  while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
  return text.substr(0, size);
}

// Name `number` in the Trash for the document `name`: the name itself, then NAME.2.ext,
// NAME.3.ext, ..., short enough that the info file's name fits.
std::string TrashName(const std::string& name, int number) {
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos) dot = name.size();
  std::string stem = name.substr(0, dot);
  std::string extension = name.substr(dot);
  std::string counter = number == 1 ? "" : "." + std::to_string(number);
  size_t room = NAME_MAX - std::string(kInfoSuffix).size() - counter.size();
  if (extension.size() > room / 2) extension = CutAt(extension, room / 2);
  return CutAt(stem, room - extension.size()) + counter + extension;
}

bool NameTakenInFiles(int files, const std::string& name) {
  struct stat st;
  return fstatat(files, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

// Where there is no RENAME_NOREPLACE: the folder's own path through this process's open
// descriptor, so that no link planted meanwhile is followed.
int MoveWithoutReplacing(const std::string& from, int files, const std::string& name) {
  if (renameat2(AT_FDCWD, from.c_str(), files, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  return fileops::RenameWithoutReplacing(from,
                                         "/proc/self/fd/" + std::to_string(files) + "/" + name);
}

// The errors of a client that will not move a file from one folder to another.
bool CannotMove(int error) {
  return error == EXDEV || error == EPERM || error == EOPNOTSUPP || error == ENOSYS ||
         error == EINVAL;
}

// The original path as the info file keeps it: absolute for the home Trash, relative to
// the top of the volume for a volume's Trash.
std::string PathInInfo(const OpenTrash& open, const std::string& original) {
  if (open.topdir.empty()) return original;
  return original.substr(open.topdir == "/" ? 1 : open.topdir.size() + 1);
}

// Writes the info file under a free name, checks that `path` is still the file chosen,
// then moves it in. The info file goes again on every failure.
int MoveIn(const std::string& path, const std::optional<fileops::FileIdentity>& chosen,
           const OpenTrash& open, const std::string& original, TrashEntry& entry) {
  std::string text = InfoText(PathInInfo(open, original));
  if (text.empty()) return EINVAL;
  std::string documentName = paths::NamePart(path);
  for (int number = 1; number < 10000; ++number) {
    std::string name = TrashName(documentName, number);
    if (NameTakenInFiles(open.files.get(), name)) continue;
    int error = WriteInfo(open.info.get(), name, text);
    if (error == EEXIST) continue;
    if (error) return error;
    if (void (*hook)() = g_beforeMoveHook.load()) hook();
    if (chosen) error = fileops::CheckIdentity(path, *chosen);
    if (!error) error = MoveWithoutReplacing(path, open.files.get(), name);
    if (!error) {
      entry.name = name;
      return 0;
    }
    unlinkat(open.info.get(), (name + kInfoSuffix).c_str(), 0);
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

}  // namespace

std::string EncodeTrashPath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : path) {
    bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '-' || c == '_' || c == '.' || c == '~' || c == '/';
    if (kept) {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

std::string TrashFolderFor(const std::string& path, NoTrash& noTrash, int& error) {
  noTrash = NoTrash::kNone;
  std::string folder, name;
  struct stat st;
  error = RealLocation(path, folder, name);
  if (!error && lstat(path.c_str(), &st) != 0) error = errno;
  if (error) return {};
  OpenTrash open;
  error = OpenTrashFor(folder, st.st_dev, open, noTrash);
  return error ? std::string() : open.folder;
}

TrashResult MoveToTrash(const std::string& path,
                        const std::optional<fileops::FileIdentity>& chosen) {
  TrashResult result;
  std::string folder, name;
  result.error = RealLocation(path, folder, name);
  if (!result.error) result.error = fileops::IdentityOf(path, result.entry.identity);
  if (result.error) return result;
  OpenTrash open;
  result.error = OpenTrashFor(folder, result.entry.identity.device, open, result.noTrash);
  if (result.error) return result;
  result.entry.originalPath = Joined(folder, name);
  result.entry.trashFolder = open.folder;
  result.error = MoveIn(path, chosen, open, result.entry.originalPath, result.entry);
  if (CannotMove(result.error)) result.noTrash = NoTrash::kNoMove;
  return result;
}

int RestoreFromTrash(const TrashEntry& entry) {
  std::string trashed = entry.trashFolder + "/files/" + entry.name;
  std::string info = entry.trashFolder + "/info/" + entry.name + kInfoSuffix;
  struct stat st;
  if (lstat(info.c_str(), &st) != 0) return errno;
  if (int change = fileops::CheckUnchanged(trashed, entry.identity)) return change;
  if (int error = fileops::RenameNoReplace(trashed, entry.originalPath)) {
    return error == ENOENT ? ENOTDIR : error;  // the entry was there: its folder is gone
  }
  // The document is back whatever this answers: an info file left without its file is
  // an entry that the desktop's Trash shows as empty and drops.
  unlink(info.c_str());
  return 0;
}

void SetBeforeMoveHookForTesting(void (*hook)()) { g_beforeMoveHook = hook; }

}  // namespace velloria::trash
