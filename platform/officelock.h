// The open-document guard: Linux lets a document be renamed or deleted while a program
// has it open, so we look for the lock files office programs leave beside it and for
// file locks, and keep read-only documents. Plain functions; thread-safe.
#pragma once

#include <sys/types.h>
#include <time.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloria::shell {

// True when `folder` holds a lock file for the document `name`: a Word owner file "~$"
// followed by NAME or by NAME less its first one or two characters, or a live
// ".~lock.NAME#". Such a lock file is stale, and does not count, when it records this
// host and this user and no process of ours has the document open any more (the word
// processor that wrote it ended without removing it).
bool IsDocumentOpen(const std::string& folder, std::string_view name);

// True when a process, this one included, holds an flock or an fcntl lock (OFD or
// traditional) on the regular file at `path`. Probes without waiting. REQUIRES: this
// process holds no traditional fcntl lock on the file (closing the probe would drop it).
bool IsFileLocked(const std::string& path);

// Why the item `name` of `folder` may not be deleted or renamed now: EBUSY when an office
// program has it open or a process holds a lock on it, EACCES when it is a read-only file
// (the user may not write it, or it has no write permission at all); 0 otherwise.
int DocumentHoldReason(const std::string& folder, std::string_view name);

// Who has a document open, as its lock file records it: the user (the name the office
// program shows, else the account) and the computer; either may be empty. The bytes are
// as the file holds them.
struct DocumentHolder {
  std::string user;
  std::string host;
};

// The holder that the live lock file of `name` in `folder` records; nullopt when no live
// lock file names one.
std::optional<DocumentHolder> DocumentHolderOf(const std::string& folder, std::string_view name);

// The modification time of the live lock file of `name` in `folder` (the office lock file
// when it is live, else the Word owner file): since when the document is held; nullopt
// when there is none.
std::optional<time_t> LockFileTime(const std::string& folder, std::string_view name);

// One lock file as found: its path and what tells it from a lock file written again later.
struct LockFile {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec modified {};
};

// The lock files of a document that only another computer's office program can have
// written: a live ".~lock.NAME#" naming another host, or a Word owner file ("~$NAME"),
// which only Windows desks write; while no process of this computer holds the document
// (has it open or locked). Whether that program still runs (or crashed, leaving them)
// only its user can tell, so the user may choose to act on the document anyway.
struct ForeignLock {
  std::vector<LockFile> files;  // one or two, newest first
  DocumentHolder holder;        // as the lock files record it; either part may be empty
  time_t since = 0;             // the newest lock file's modification time
};

// The foreign lock of `name` in `folder`; nullopt when the document has no lock file, or
// one that this computer wrote, or a process here holds it.
std::optional<ForeignLock> ForeignLockOf(const std::string& folder, std::string_view name);

// Moves the lock files of `lock` out of the document's way, to hidden names beside them,
// so that a delete or rename the user chose despite them can go through the usual checks.
// Refused with EBUSY, moving nothing, when a lock file is no longer the one found (its
// program wrote it again); else 0 or the errno value of the move, nothing moved.
int SetLockFilesAside(const ForeignLock& lock);
// After the act: the set-aside lock files go for good (the act was done, and they name a
// document that is gone or has another name) or back under their names (it was not, and
// no new lock file took a name meanwhile).
void DropLockFilesSetAside(const ForeignLock& lock);
void RestoreLockFilesSetAside(const ForeignLock& lock);

// The user name at the head of a Word owner file's text: a length byte of 1 to 53, then
// that many bytes; "" when the text does not start so.
std::string OwnerFileUserName(std::string_view text);

// The comma-separated fields of an office lock file's text ("name,user,host,time,
// profile;"), up to the first unescaped ';', with backslash escapes undone.
std::vector<std::string> OfficeLockFields(std::string_view text);

// True when `name` is a Word owner file ("~$..."), which Windows shows hidden.
bool IsOwnerFileName(std::string_view name);

}  // namespace velloria::shell
