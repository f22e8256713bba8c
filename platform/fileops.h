// File helpers for the document commands: delete a document and copy one without ever
// replacing an existing file. Plain functions; thread-safe.
#pragma once

#include <string>

namespace velloria::fileops {

// Deletes the document at `path`. Returns 0 on success, else an errno value: EISDIR for
// a folder (folders are never deleted here), EBUSY when an office program has the
// document open or a process holds a lock on it, EACCES for a read-only document (see
// officelock.h), or the error of unlink.
int DeleteDocument(const std::string& path);

// Copies `source` to `target`, which must not exist yet (EEXIST otherwise). The bytes are
// copied and the source's modification time is kept; on any failure the partial target
// is removed. Returns 0 on success, else an errno value (EISDIR when `source` is a folder).
int CopyDocument(const std::string& source, const std::string& target);

}  // namespace velloria::fileops
