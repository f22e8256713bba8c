// The document commands of the document list: open in the word processor, delete after
// a question, duplicate as "Copia di " + name, and the Enter key that starts and ends a
// rename. Each acts on the selected row with the lowest index; with none, nothing
// happens. GUI thread only.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "app/command_history.h"
#include "platform/fileops.h"
#include "platform/officelock.h"
#include "platform/trash.h"
#include "shellview/shell_list_view.h"

namespace velloria {

inline constexpr const char* kCopyPrefix = "Copia di ";

// The full path of the selected item with the lowest row as the file system's bytes,
// which every file call takes; "" when none is selected.
std::string SelectedDocumentFile(const TCustomShellListView& list);

// "Spostare nel Cestino il documento \"<path>\"?"
QString DeleteQuestion(const QString& path);

// The question for a document at `path` that no Trash can take (`why`): whether to
// delete it for good, and the reason.
QString DeleteForGoodQuestion(const std::string& path, trash::NoTrash why);

// The path in `folder` (ending in a separator, or "" for the working folder) of `name`
// numbered as copies are: number 0 the name itself, 1 "Copia di " + name, from 2 on
// "Copia (2) di " + name, "Copia (3) di " + name, ..., the name's bytes as they are.
std::string NumberedCopyPath(const std::string& folder, const std::string& name, int number);

// The path of duplicate number `number` of `path` in its own folder (NumberedCopyPath).
std::string DuplicatePath(const std::string& path, int number = 1);

// Puts the document at `path` into `folder` (ending in a separator) with `place` (a copy
// or a move to the path it is given) under the first of its numbered names from `first`
// on (NumberedCopyPath) that no entry of the folder has in any letter case (Windows desks
// on a share could not tell them apart) and that no racing desk takes first (`place`
// answering EEXIST). Returns 0 and the path given in `placed`, else an errno value:
// ENAMETOOLONG when "Copia di " + name is longer than a name may be, EEXIST when no name
// is free or fits, the error of reading the folder, or `place`'s.
int PlaceUnderFreeName(const std::string& path, const std::string& folder, int first,
                       const std::function<int(const std::string&)>& place, std::string& placed);

// Copies the document at `path` (fileops::CopyDocument) under the first of its duplicate
// names that no entry of its folder has in any letter case (Windows desks on a share
// could not tell them apart) and that no racing desk takes first. Returns 0 and the copy's
// path in `copy`, else an errno value: ENAMETOOLONG when "Copia di " + name is longer than
// a name may be, EEXIST when it is taken and no numbered name is free or fits.
int DuplicateDocument(const std::string& path, std::string& copy);

// "Errore durante la copia, un file di nome \"Copia di <name>\" potrebbe già esistere in
// questa cartella !" for the document at `path`, its name shown decoded.
QString CopyFailedMessage(const std::string& path);

// "Impossibile cancellare il documento \"<path>\": <reason>." for a delete of `path` refused
// with the errno value `error` (as fileops::DeleteDocument answers): who has it open, as
// its lock file says, a read-only document or folder, a folder, a document gone, ...; for
// ESTALE, that the name leads to another file by now and nothing was deleted.
QString DeleteRefusedMessage(const std::string& path, int error);

// The question before a delete or rename of the document at `path` that only another
// computer's lock file holds: "Il documento \"<path>\" risulta aperto da <user> sul
// computer <host> dal <date and time>. Se quel programma non è più aperto, si può
// procedere. Procedere comunque?", the date in the user's short format.
QString ForeignLockQuestion(const std::string& path, const shell::ForeignLock& lock);

// Asks ForeignLockQuestion, No the default answer; true for Yes. A TForeignLockEvent of the
// document list.
bool AskToActDespiteForeignLock(TCustomShellListView* list, const std::string& path,
                                const shell::ForeignLock& lock);

// The message for a duplicate of `path` that failed with `error`: CopyFailedMessage when
// the copy's name is taken (EEXIST), else "Impossibile duplicare il documento \"<name>\":
// <reason>." with the real cause.
QString DuplicateFailedMessage(const std::string& path, int error);

// A document a delete or a move is to act on, as found when the command begins: the file
// (its identity) and what stands in the way, a refusal to show (fileops::DeleteRefusal's,
// or the error of the look-up; 0 when none) or only another computer's lock file, which
// the user may choose to set aside (ForeignLockQuestion).
struct ChosenDocument {
  fileops::FileIdentity identity;
  int refusal = 0;
  std::optional<shell::ForeignLock> foreignLock;
  bool Refused() const { return refusal != 0 && !foreignLock; }
};
ChosenDocument ChooseDocument(const std::string& path);

// Runs `act` on the document at `path` with the lock files of `lock`, when any, set aside
// first: they go for good when the document has left `path`, and come back when it stays.
// Returns the answer of `act`, or the error of setting them aside (then `act` is not run).
int ActWithLockFilesAside(const std::optional<shell::ForeignLock>& lock, const std::string& path,
                          const std::function<int()>& act);

// Starts the word processor on the selected document (detached); a failed start is not
// reported.
void OpenSelectedDocument(TCustomShellListView& list);

// Moves the selected document to the Trash after DeleteQuestion is answered Yes, and
// reloads the list; where no Trash can take it, DeleteForGoodQuestion asks instead
// whether to delete it for good. A refusal known before asking (the document open or
// locked, read-only, in a folder the user may not change, a folder, gone) is shown instead
// of the question; a delete refused after the question says why too. A document that only
// another computer's lock file holds goes after a second question, ForeignLockQuestion,
// answered Yes, and its lock files with it. Only the file chosen goes: when its name leads
// to another file by the answer (renamed or replaced at another desk), nothing moves and a
// box says so.
void DeleteSelectedDocument(TCustomShellListView& list);

// Copies the selected document (DuplicateDocument), never replacing a file and leaving no
// partial copy; on success reloads the list and selects the copy, as the current row, so
// that a rename that follows acts on it; shows DuplicateFailedMessage on failure.
void DuplicateSelectedDocument(TCustomShellListView& list);

// The caption of Annulla (Ctrl+Z) for the newest command of the list's window:
// "A&nnulla cancellazione di \"<name>\"", "... rinomina di ...", "... duplicazione di
// ...", "... spostamento di ...", "... copia di ...", or "A&nnulla" when there is none.
QString UndoCaption(TCustomShellListView& list);

// "Impossibile annullare la cancellazione di \"<name>\": <reason>." (or la rinomina, la
// duplicazione, lo spostamento, la copia) for an undo of `step` refused with `error`: the document gone from the
// Trash or the disk, changed or replaced at another desk, its old name taken, its folder
// gone, ...
QString UndoFailedMessage(const CommandHistory::Step& step, int error);

// Takes back the newest document command of the list's window (CommandHistory), reloads
// the list and selects the document brought back when the list shows it; an undo that cannot be done safely changes nothing
// and a box says why. Nothing happens when there is nothing to undo.
void UndoLastDocumentCommand(TCustomShellListView& list);

// The rename toggle on a key release in the list. It acts only on the release of an Enter
// whose press the list itself received without Shift, Ctrl or Alt (not one that answered
// a box, ran a shortcut or went to another window): with a caption editor open it ends
// the edit (a changed name is renamed), else it opens the selected row's caption for
// editing. Other keys, and Enter with no editor and no row selected, do nothing.
void RenameToggleKeyUp(TCustomShellListView& list, int key);

}  // namespace velloria
