// The window's history of document commands and their undo.
#include "app/command_history.h"

#include <cerrno>

#include "base/paths.h"
#include "shellview/shell_list_view.h"

namespace velloria {
namespace {

int UndoRename(const CommandHistory::Step& step) {
  if (int change = fileops::CheckUnchanged(step.after, step.identity)) return change;
  return fileops::RenameNoReplace(step.after, step.before);
}

// The document goes back where it was, as the move left it and never over a file that
// took its old name (EEXIST); across file systems too, and not while open or locked.
int UndoMove(const CommandHistory::Step& step) {
  if (int change = fileops::CheckUnchanged(step.after, step.identity)) return change;
  if (!paths::IsFolder(paths::FolderPart(step.before))) return ENOTDIR;
  return fileops::MoveDocument(step.after, step.before, step.identity);
}

// The copy goes as Cancella would take it: not while open or locked elsewhere.
int UndoDuplicate(const CommandHistory::Step& step) {
  if (int change = fileops::CheckUnchanged(step.before, step.identity)) return change;
  if (int refusal = fileops::DeleteRefusal(step.before)) return refusal;
  return trash::MoveToTrash(step.before, step.identity).error;
}

}  // namespace

CommandHistory& CommandHistory::Of(TCustomShellListView& list) {
  auto* history = list.findChild<CommandHistory*>(QString(), Qt::FindDirectChildrenOnly);
  return history ? *history : *new CommandHistory(&list);
}

void CommandHistory::RecordTrash(const trash::TrashEntry& entry) {
  m_steps.push_back({Kind::kTrash, entry.originalPath, {}, entry.identity, entry});
}

void CommandHistory::RecordRename(const std::string& from, const std::string& to) {
  Record(Kind::kRename, from, to, to);
}

void CommandHistory::RecordDuplicate(const std::string& copy) {
  Record(Kind::kDuplicate, copy, {}, copy);
}

void CommandHistory::RecordMove(const std::string& from, const std::string& to) {
  Record(Kind::kMove, from, to, to);
}

void CommandHistory::RecordCopy(const std::string& copy) { Record(Kind::kCopy, copy, {}, copy); }

void CommandHistory::Record(Kind kind, const std::string& before, const std::string& after,
                            const std::string& now) {
  fileops::FileIdentity identity;
  if (fileops::IdentityOf(now, identity) == 0)
    m_steps.push_back({kind, before, after, identity, {}});
}

int CommandHistory::UndoLast(std::string& restored) {
  Step step = m_steps.back();
  m_steps.pop_back();
  restored = step.before;
  switch (step.kind) {
    case Kind::kTrash:
      return trash::RestoreFromTrash(step.entry);
    case Kind::kRename:
      return UndoRename(step);
    case Kind::kDuplicate:
    case Kind::kCopy:
      return UndoDuplicate(step);
    case Kind::kMove:
      return UndoMove(step);
  }
  return EINVAL;
}

}  // namespace velloria
