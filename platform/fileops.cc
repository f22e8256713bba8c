// File helpers for the document commands: delete, a copy that is named only when whole,
// renames that never replace a file, and the identity of a file under its name.
#include "platform/fileops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "base/paths.h"
#include "platform/unique_fd.h"
#include "platform/officelock.h"

namespace velloria::fileops {
namespace {

using Fd = UniqueFd;

int WriteAll(int fd, const char* data, ssize_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= written;
  }
  return 0;
}

int CopyBytes(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = read(from, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (int error = WriteAll(to, buffer, got)) return error;
  }
}

// The answer of a call that gives the copy an attribute of its source: 0 also where the
// file system keeps no such attribute (network clients answer EOPNOTSUPP, ENOSYS or EPERM).
int AttributeResult(int rc) {
  if (rc == 0) return 0;
  return errno == EOPNOTSUPP || errno == ENOSYS || errno == EPERM ? 0 : errno;
}

// Bytes, permission bits, modification time, then a flush to disk: the copy is whole
// before it is named. The bits are set explicitly, as the copier's umask would narrow them
// and a colleague could no longer save the copy of a document all may write.
int FillCopy(int source, const struct stat& info, int out) {
  if (int error = CopyBytes(source, out)) return error;
  if (int error = AttributeResult(fchmod(out, info.st_mode & 0777))) return error;
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  if (int error = AttributeResult(futimens(out, times))) return error;
  return fsync(out) == 0 ? 0 : errno;
}

std::atomic<bool> g_unnamedFiles{true};

// The folder part of `path`, "." when it has none.
std::string FolderOf(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  return folder.empty() ? std::string(".") : folder;
}

// The file systems that have no unnamed files answer O_TMPFILE with one of these.
bool UnnamedFilesUnsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Hard links are missing where link answers one of these (network clients, FUSE).
bool LinksUnsupported(int error) { return error == EPERM || error == EOPNOTSUPP || error == ENOSYS; }

// Copies into an unnamed file of the target's folder, then links it under the target's
// name (EEXIST when taken). ENOTSUP when the folder's file system has no unnamed files
// or no links.
int CopyUnnamed(int source, const struct stat& info, const std::string& target) {
  if (!g_unnamedFiles) return ENOTSUP;
  Fd out(open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (out.get() < 0) return UnnamedFilesUnsupported(errno) ? ENOTSUP : errno;
  if (int error = FillCopy(source, info, out.get())) return error;
  std::string self = "/proc/self/fd/" + std::to_string(out.get());
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    // No /proc, or unnamed files but no links: take the named road.
    return errno == ENOENT || LinksUnsupported(errno) ? ENOTSUP : errno;
  }
  return out.Close();
}

// A new hidden file beside `target`, made exclusively and never through a link; its path
// goes to `path`.
int CreateHiddenTemporary(const std::string& target, mode_t mode, std::string& path) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned salt =
        static_cast<unsigned>(getpid()) * 2654435761u + counter++ * 40503u +
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", salt);
    path = paths::FolderPart(target) + ".~copia." + suffix;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// Copies into a hidden temporary beside the target, then gives it the target's name; the
// temporary is removed on every failure.
int CopyThroughTemporary(int source, const struct stat& info, const std::string& target) {
  std::string temporary;
  Fd out(CreateHiddenTemporary(target, 0600, temporary));
  if (out.get() < 0) return errno;
  int error = FillCopy(source, info, out.get());
  int closeError = out.Close();
  if (!error) error = closeError;
  if (!error) error = RenameNoReplace(temporary, target);
  if (error) unlink(temporary.c_str());
  return error;
}

constexpr long kFuseMagic = 0x65735546;  // the f_type of every FUSE file system

// False where inode numbers may not last from one look-up to the next: a file system that
// reports 0, or a FUSE client, which may make numbers up for each look-up.
bool InodesLast(const std::string& path, const struct stat& st) {
  if (st.st_ino == 0) return false;
  struct statfs fs;
  if (statfs(FolderOf(path).c_str(), &fs) != 0) return false;  // unknown: size and time are safer
  return fs.f_type != kFuseMagic;
}

FileIdentity IdentityFromStat(const struct stat& st, bool inodeLasts) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, inodeLasts};
}

// A hard link under `to`, then the removal of the old name.
int RenameByLink(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  if (unlink(from.c_str()) == 0) return 0;
  int error = errno;
  // Another rename took the source between the two calls: it wins, and the name made
  // here goes, so that the file never ends up under two names.
  unlink(to.c_str());
  return error;
}

int RemoveReservation(const std::string& to, bool folder) {
  int rc = folder ? rmdir(to.c_str()) : unlink(to.c_str());
  return rc == 0 ? 0 : errno;
}

// Makes `to` an empty file (or folder) only when the name is free, atomically on the
// server too, and takes its identity.
int Reserve(const std::string& to, bool folder, FileIdentity& reserved) {
  if (folder) {
    if (mkdir(to.c_str(), 0700) != 0) return errno;
  } else {
    Fd made(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (made.get() < 0) return errno;
    if (int error = made.Close()) {
      unlink(to.c_str());
      return error;
    }
  }
  int error = IdentityOf(to, reserved);
  if (error) RemoveReservation(to, folder);
  return error;
}

bool ReservationStillOurs(const std::string& to, const FileIdentity& reserved) {
  FileIdentity now;
  return IdentityOf(to, now) == 0 && SameFile(reserved, now) && now.size == reserved.size;
}

// Renames `from` over the reservation `to`, checked to be still ours right before. A
// client that will not rename over an existing name answers EEXIST: the reservation then
// goes first, and the rename follows, which such a client refuses over another file.
int RenameOverReservation(const std::string& from, const std::string& to, bool folder,
                          const FileIdentity& reserved) {
  if (!ReservationStillOurs(to, reserved)) return EEXIST;
  if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
  if (errno != EEXIST && errno != ENOTEMPTY) return errno;
  if (!ReservationStillOurs(to, reserved)) return EEXIST;
  if (int error = RemoveReservation(to, folder)) return error;
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int RenameThroughReservation(const std::string& from, const std::string& to, bool folder) {
  FileIdentity reserved;
  if (int error = Reserve(to, folder, reserved)) return error;
  int error = RenameOverReservation(from, to, folder, reserved);
  if (error && ReservationStillOurs(to, reserved)) RemoveReservation(to, folder);
  return error;
}

}  // namespace

int DeleteRefusal(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (int reason = shell::DocumentHoldReason(paths::FolderPart(path), paths::NamePart(path)))
    return reason;
  if (access(FolderOf(path).c_str(), W_OK | X_OK) != 0) return errno;
  return 0;
}

int DeleteDocument(const std::string& path, const std::optional<FileIdentity>& chosen) {
  if (int reason = DeleteRefusal(path)) return reason;
  if (chosen) {
    if (int change = CheckIdentity(path, *chosen)) return change;
  }
  return unlink(path.c_str()) == 0 ? 0 : errno;
}

// Only a regular file is copied. The source is opened without blocking, so a named pipe or
// a device planted under a document's name cannot hang the window (nor a pipe's opening).
// A name already taken or too long is refused before any byte is copied.
int CopyDocument(const std::string& source, const std::string& target) {
  Fd in(open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (in.get() < 0) return errno;
  struct stat info;
  if (fstat(in.get(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  struct stat existing;
  if (lstat(target.c_str(), &existing) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  int error = CopyUnnamed(in.get(), info, target);
  if (error != ENOTSUP) return error;
  if (lseek(in.get(), 0, SEEK_SET) != 0) return errno;
  return CopyThroughTemporary(in.get(), info, target);
}

int IdentityOf(const std::string& path, FileIdentity& identity) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  identity = IdentityFromStat(st, InodesLast(path, st));
  return 0;
}

bool SameFile(const FileIdentity& chosen, const FileIdentity& now) {
  if (chosen.device != now.device) return false;
  if (chosen.inodeLasts) return chosen.inode == now.inode;
  return chosen.size == now.size && chosen.modified.tv_sec == now.modified.tv_sec &&
         chosen.modified.tv_nsec == now.modified.tv_nsec;
}

int CheckIdentity(const std::string& path, const FileIdentity& chosen) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno;
  return SameFile(chosen, IdentityFromStat(st, chosen.inodeLasts)) ? 0 : ESTALE;
}

int CheckUnchanged(const std::string& path, const FileIdentity& chosen) {
  FileIdentity now;
  if (int error = IdentityOf(path, now)) return error;
  bool written = now.size != chosen.size || now.modified.tv_sec != chosen.modified.tv_sec ||
                 now.modified.tv_nsec != chosen.modified.tv_nsec;
  return SameFile(chosen, now) && !written ? 0 : ESTALE;
}

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  return RenameWithoutReplacing(from, to);
}

int RenameWithoutReplacing(const std::string& from, const std::string& to) {
  struct stat st;
  if (lstat(from.c_str(), &st) != 0) return errno;
  bool folder = S_ISDIR(st.st_mode);
  if (!folder) {
    int error = RenameByLink(from, to);
    if (!LinksUnsupported(error)) return error;
  }
  return RenameThroughReservation(from, to, folder);
}

namespace {

// Flushes the entries of `path`'s folder, so that a name just given outlasts a power cut
// as surely as the removal of a source that follows. Where a folder cannot be opened or
// flushed (no read permission, some network clients) the file system's own order stands:
// only a write error counts.
int SyncFolderOf(const std::string& path) {
  Fd folder(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() < 0 || fsync(folder.get()) == 0) return 0;
  return errno == EIO || errno == ENOSPC || errno == EDQUOT ? errno : 0;
}

// Removes the copy made here at `path` while the name still leads to it, never a file
// another desk has put under that name since.
void RemoveOwnCopy(const std::string& path, const FileIdentity& made) {
  if (CheckIdentity(path, made) == 0) unlink(path.c_str());
}

// A move to another file system: a whole copy first; the source goes only when it is
// still the file chosen, unwritten during the copy, and the copy is as long as it.
int MoveAcrossFileSystems(const std::string& source, const std::string& target,
                          const FileIdentity& chosen) {
  if (int error = CopyDocument(source, target)) return error;
  FileIdentity made;
  if (int error = IdentityOf(target, made)) return error;
  int error = SyncFolderOf(target);
  if (!error) error = CheckUnchanged(source, chosen);
  if (!error && made.size != chosen.size) error = EIO;
  if (!error) error = DeleteDocument(source, chosen);
  if (error) RemoveOwnCopy(target, made);
  return error;
}

}  // namespace

int MoveDocument(const std::string& source, const std::string& target, const FileIdentity& chosen) {
  if (int refusal = DeleteRefusal(source)) return refusal;
  if (int change = CheckIdentity(source, chosen)) return change;
  int error = RenameNoReplace(source, target);
  return error == EXDEV ? MoveAcrossFileSystems(source, target, chosen) : error;
}

void SetUnnamedFilesForTesting(bool enabled) { g_unnamedFiles = enabled; }

}  // namespace velloria::fileops
