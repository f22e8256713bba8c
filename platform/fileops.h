// File helpers for the document commands: delete a document, copy one and rename one
// without ever replacing an existing file, and tell whether a name still leads to the
// file a command was started on. Plain functions; thread-safe.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace velloria::fileops {

// What tells a file from another that later takes its name: the device and inode, or, on
// file systems whose inode numbers do not last (FUSE clients, which may report 0 or make
// numbers up for each look-up), the size and modification time.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  struct timespec modified {};
  bool inodeLasts = true;
};

// The identity of what `path` names, a final symbolic link not followed. Returns 0 or an
// errno value.
int IdentityOf(const std::string& path, FileIdentity& identity);

// True when `now` (taken later under the same name) is the file `chosen` was taken from.
bool SameFile(const FileIdentity& chosen, const FileIdentity& now);

// 0 when `path` still names the file `chosen`; ENOENT when it names nothing, ESTALE when
// it names another file, else the error of the look-up.
int CheckIdentity(const std::string& path, const FileIdentity& chosen);

// CheckIdentity, and ESTALE too when the file was written since `chosen` was taken (its
// size or modification time differ): an undo leaves a colleague's change alone.
int CheckUnchanged(const std::string& path, const FileIdentity& chosen);

// Why the document at `path` cannot be deleted, as far as can be told without trying:
// ENOENT when it is gone, EISDIR for a folder (folders are never deleted here), EBUSY when
// an office program has it open or a process holds a lock on it, EACCES for a read-only
// document (see officelock.h) or a folder the user may not change, or the error of the
// look-up; 0 when nothing stands in the way.
int DeleteRefusal(const std::string& path);

// Deletes the document at `path`. With `chosen`, only that file: when the name leads to
// another file by now, nothing is deleted and the answer is ESTALE (checked right before
// the removal). Returns 0 on success, else DeleteRefusal's answer, CheckIdentity's or the
// error of unlink.
int DeleteDocument(const std::string& path, const std::optional<FileIdentity>& chosen = std::nullopt);

// Copies `source` to `target`, which must not exist yet (EEXIST otherwise), keeping the
// source's permission bits (whatever the umask) and modification time. The bytes go to a
// file no reader sees (an unnamed file, or a hidden temporary beside the target), are
// flushed to disk, and only then take the target's name, in a step that never replaces a
// file (see RenameNoReplace): copies racing for one name make one copy and EEXIST for the
// others, and a copy cut short leaves no target (where there are no hard links, save in
// the instant between the reservation of the name and the rename over it, when a crash
// leaves the name empty). Only new files are created and written, as some network
// clients cannot open an existing file for writing. Returns 0 on success, else an errno
// value (EISDIR when `source` is a folder, EINVAL when it is not a regular file).
int CopyDocument(const std::string& source, const std::string& target);

// Moves the document `source`, only while it is the file `chosen` (ESTALE otherwise), to
// `target`, never replacing what `target` names (EEXIST when taken), and only where a
// delete would be allowed (DeleteRefusal's answers: open or locked, read-only, a folder
// the user may not change, a folder). Within one file system it is a rename
// (RenameNoReplace). Across file systems it is a CopyDocument, flushed with its folder,
// then the delete of the source, done only when the source is still `chosen`, unwritten
// since (CheckUnchanged) and the copy is as long as it; when any of that fails the copy
// goes again and the source stays. A process killed at any point leaves the source whole,
// at worst with a whole copy at `target`. Returns 0 or an errno value.
int MoveDocument(const std::string& source, const std::string& target, const FileIdentity& chosen);

// Gives the file or folder `from` the name `to`, never replacing what `to` names (EEXIST
// when taken): renameat2 with RENAME_NOREPLACE, else RenameWithoutReplacing.
int RenameNoReplace(const std::string& from, const std::string& to);

// The same on file systems without RENAME_NOREPLACE. A file gets a hard link under `to`,
// then loses its old name (when two renames of one file meet, one wins and the other
// fails with ENOENT, leaving no second name). Where there are no hard links (network
// clients answer EPERM or EOPNOTSUPP), and for a folder, `to` is first reserved by an
// exclusive create (a file or an empty folder, atomic on the server), then `from` is
// renamed over the reservation once it is checked to be still ours; on failure the
// reservation goes again.
int RenameWithoutReplacing(const std::string& from, const std::string& to);

// Test hook: with `enabled` false CopyDocument takes the hidden temporary's road, as on
// file systems without unnamed files. Process-wide; true by default.
void SetUnnamedFilesForTesting(bool enabled);

}  // namespace velloria::fileops
