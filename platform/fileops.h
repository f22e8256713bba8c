// File helpers for the document commands: delete a document and copy one without ever
// replacing an existing file. Plain functions; thread-safe.
#pragma once

#include <string>

namespace velloria::fileops {

// Why the document at `path` cannot be deleted, as far as can be told without trying:
// ENOENT when it is gone, EISDIR for a folder (folders are never deleted here), EBUSY when
// an office program has it open or a process holds a lock on it, EACCES for a read-only
// document (see officelock.h) or a folder the user may not change, or the error of the
// look-up; 0 when nothing stands in the way.
int DeleteRefusal(const std::string& path);

// Deletes the document at `path`. Returns 0 on success, else DeleteRefusal's answer or
// the error of unlink.
int DeleteDocument(const std::string& path);

// Copies `source` to `target`, which must not exist yet (EEXIST otherwise), keeping the
// source's modification time. The bytes go to a file no reader sees (an unnamed file, or
// a hidden temporary beside the target), are flushed to disk, and only then take the
// target's name, in a step that never replaces a file: copies racing for one name make one
// copy and EEXIST for the others, and a copy cut short leaves no target. Returns 0 on
// success, else an errno value (EISDIR when `source` is a folder, EINVAL when it is not a
// regular file).
int CopyDocument(const std::string& source, const std::string& target);

// Test hook: with `enabled` false CopyDocument takes the hidden temporary's road, as on
// file systems without unnamed files. Process-wide; true by default.
void SetUnnamedFilesForTesting(bool enabled);

}  // namespace velloria::fileops
