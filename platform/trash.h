// The desktop's Trash, as the file managers and trash-cli keep it: a document goes to the
// home Trash ($XDG_DATA_HOME/Trash) when it lies on the home's file system, else to its
// volume's Trash ($topdir/.Trash/$uid where an administrator made .Trash, else
// $topdir/.Trash-$uid). Its info/NAME.trashinfo (original path, deletion date) is written
// before the document moves to files/NAME, so a crash leaves the document in place and at
// most an orphan .trashinfo. No symbolic link is followed inside a Trash. Plain
// functions; thread-safe, save the test hook.
#pragma once

#include <optional>
#include <string>

#include "platform/fileops.h"

namespace velloria::trash {

// Why no Trash can take a document, when none can.
enum class NoTrash {
  kNone,         // a Trash took it, or the failure was the document's own
  kNoRights,     // no Trash may be made where the document's volume keeps them
  kUnsafeTrash,  // the volume's Trash is a symbolic link or belongs to another account
  kNoMove,       // the file system will not move the document into its Trash
};

// A document in the Trash, as MoveToTrash left it.
struct TrashEntry {
  std::string trashFolder;   // the Trash holding it, with info/ and files/
  std::string name;          // its name under files/ (the info file adds ".trashinfo")
  std::string originalPath;  // where it was, as an absolute path without links
  fileops::FileIdentity identity;
};

struct TrashResult {
  int error = 0;  // 0, or an errno value; the document has not moved unless 0
  NoTrash noTrash = NoTrash::kNone;
  TrashEntry entry;  // with error 0
};

// The Trash that would take the document at `path`, made when missing: the folder, or ""
// with `noTrash` (and the error met in `error`) saying why none can.
std::string TrashFolderFor(const std::string& path, NoTrash& noTrash, int& error);

// Moves the document at `path` to its Trash. With `chosen`, only that file: when the name
// leads to another file by now, nothing moves and the error is ESTALE (checked right
// before the move). A name already in the Trash gets a number (NAME.2.ext, ...). On
// failure the document stays where it was and the info file written for it goes.
TrashResult MoveToTrash(const std::string& path,
                        const std::optional<fileops::FileIdentity>& chosen = std::nullopt);

// Brings `entry` back to its original path, only as MoveToTrash left it: ENOENT when it is
// gone from the Trash (emptied, or restored elsewhere), ESTALE when files/NAME is another
// file or was changed since, EEXIST when the original name is taken meanwhile, ENOTDIR
// when the original folder is gone. Its info file goes once the document is back.
int RestoreFromTrash(const TrashEntry& entry);

// The Path= value of a .trashinfo for `path`: its bytes percent-encoded, '/' kept.
std::string EncodeTrashPath(const std::string& path);

// Test hook: called after the info file is written and before the document moves (a test
// ends the process there, as a crash would). Process-wide; none by default.
void SetBeforeMoveHookForTesting(void (*hook)());

}  // namespace velloria::trash
