// What the document commands of one window did, newest last, so that Annulla (Ctrl+Z)
// can take them back one by one: a document moved to the Trash comes back under its
// name, a rename goes back to the old name, a duplicate's copy or a copy into another
// category goes to the Trash, a document moved into another category goes back. Each
// step acts only on the file it recorded (its identity, size and time), so a colleague's
// change made meanwhile is never overwritten. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "platform/fileops.h"
#include "platform/trash.h"

namespace velloria {

class TCustomShellListView;

class CommandHistory : public QObject {
  Q_OBJECT

 public:
  enum class Kind { kTrash, kRename, kDuplicate, kMove, kCopy };
  struct Step {
    Kind kind;
    std::string before;  // the document's path before the command (the copy's for a copy)
    std::string after;   // its path after the command ("" for a copy)
    fileops::FileIdentity identity;  // of the file the command left
    trash::TrashEntry entry;         // for kTrash
  };

  // The history of the window whose document list is `list`, made on first use.
  static CommandHistory& Of(TCustomShellListView& list);

  void RecordTrash(const trash::TrashEntry& entry);
  // A step whose file cannot be looked up now is not recorded: it could not be undone.
  void RecordRename(const std::string& from, const std::string& to);
  void RecordDuplicate(const std::string& copy);
  void RecordMove(const std::string& from, const std::string& to);
  void RecordCopy(const std::string& copy);

  bool empty() const { return m_steps.empty(); }
  const Step& last() const { return m_steps.back(); }
  // Takes the newest step back and forgets it, also when it cannot be done (then nothing
  // changes and the next undo goes to the one before). 0 and the path the document now
  // has in `restored` (the copy's own path for a copy), else an errno value (see
  // trash::RestoreFromTrash, fileops::CheckUnchanged, RenameNoReplace, MoveDocument;
  // ENOTDIR when a moved document's old folder is gone).
  int UndoLast(std::string& restored);

 private:
  explicit CommandHistory(QObject* parent) : QObject(parent) {}
  void Record(Kind kind, const std::string& before, const std::string& after,
              const std::string& now);

  std::vector<Step> m_steps;
};

}  // namespace velloria
