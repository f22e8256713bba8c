// Open, delete, duplicate and the rename toggle over the document list's selected item.
#include "app/document_commands.h"

#include <dirent.h>
#include <limits.h>

#include <QSet>
#include <cerrno>
#include <functional>
#include <memory>

#include "app/refusal_text.h"
#include "platform/file_name_text.h"
#include "platform/fileops.h"
#include "platform/launcher.h"
#include "platform/officelock.h"
#include "base/paths.h"
#include "ui/messagebox.h"

namespace velloria {

std::string SelectedDocumentFile(const TCustomShellListView& list) {
  TShellFolder* item = list.SelectedShellFolder();
  return item ? item->FileSystemPath() : std::string();
}

QString DeleteQuestion(const QString& path) {
  return QStringLiteral("Spostare nel Cestino il documento \"%1\"?").arg(path);
}

QString DeleteForGoodQuestion(const std::string& path, trash::NoTrash why) {
  QString reason = QStringLiteral("questo disco non permette di spostarlo nel Cestino");
  if (why == trash::NoTrash::kNoRights)
    reason = QStringLiteral("non si hanno i permessi per creare il Cestino su questo disco");
  if (why == trash::NoTrash::kUnsafeTrash) {
    reason = QStringLiteral(
        "il Cestino di questo disco è un collegamento o appartiene a un altro utente");
  }
  return QStringLiteral(
             "Il documento \"%1\" non può andare nel Cestino: %2. Cancellarlo "
             "definitivamente?")
      .arg(shell::DecodeFileName(path), reason);
}

std::string NumberedCopyPath(const std::string& folder, const std::string& name, int number) {
  if (number == 0) return folder + name;
  std::string prefix =
      number == 1 ? std::string(kCopyPrefix) : "Copia (" + std::to_string(number) + ") di ";
  return folder + prefix + name;
}

std::string DuplicatePath(const std::string& path, int number) {
  return NumberedCopyPath(paths::FolderPart(path), paths::NamePart(path), number);
}

QString CopyFailedMessage(const std::string& path) {
  return QStringLiteral(
             "Errore durante la copia, un file di nome \"%1%2\" potrebbe già esistere in "
             "questa cartella !")
      .arg(QLatin1String(kCopyPrefix), shell::DecodeFileName(paths::NamePart(path)));
}

namespace {

// Names are compared as Windows compares them: their text folded to one letter case.
QString FoldedName(std::string_view name) { return shell::DecodeFileName(name).toCaseFolded(); }

// The folded names of the entries of `folder`; 0 or the error of reading it.
int FoldedNamesIn(const std::string& folder, QSet<QString>& names) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.empty() ? "." : folder.c_str()), closedir);
  if (!dir) return errno;
  for (;;) {
    errno = 0;
    dirent* entry = readdir(dir.get());
    if (!entry) return errno;
    names.insert(FoldedName(entry->d_name));
  }
}

// Copies a desk's race may take before this one: each costs one more number.
constexpr int kRacingCopies = 100;

}  // namespace

int PlaceUnderFreeName(const std::string& path, const std::string& folder, int first,
                       const std::function<int(const std::string&)>& place, std::string& placed) {
  QSet<QString> taken;
  if (int error = FoldedNamesIn(folder, taken)) return error;
  const std::string name = paths::NamePart(path);
  int error = EEXIST;
  for (int number = first; error == EEXIST && number <= taken.size() + kRacingCopies; ++number) {
    placed = NumberedCopyPath(folder, name, number);
    std::string placedName = paths::NamePart(placed);
    if (placedName.size() > NAME_MAX) return number <= 1 ? ENAMETOOLONG : EEXIST;
    if (taken.contains(FoldedName(placedName))) continue;
    error = place(placed);
  }
  return error;
}

int DuplicateDocument(const std::string& path, std::string& copy) {
  return PlaceUnderFreeName(
      path, paths::FolderPart(path), 1,
      [&path](const std::string& target) { return fileops::CopyDocument(path, target); }, copy);
}

QString DeleteRefusedMessage(const std::string& path, int error) {
  if (error == ESTALE) {
    return QStringLiteral(
               "Il documento \"%1\" è stato rinominato o sostituito da un'altra postazione: non "
               "è stato cancellato.")
        .arg(shell::DecodeFileName(path));
  }
  QString reason = CommonRefusalText(error);
  if (error == EBUSY) reason = HolderText(path);
  if (error == EACCES || error == EPERM) {
    reason = FolderWritable(path) ? QStringLiteral("il documento è di sola lettura")
                                  : FolderDeniedText(path);
  }
  if (reason.isEmpty()) reason = SystemErrorText(error);
  return QStringLiteral("Impossibile cancellare il documento \"%1\": %2.")
      .arg(shell::DecodeFileName(path), reason);
}

QString ForeignLockQuestion(const std::string& path, const shell::ForeignLock& lock) {
  return QStringLiteral(
             "Il documento \"%1\" risulta %2%3. Se quel programma non è più aperto, si può "
             "procedere. Procedere comunque?")
      .arg(shell::DecodeFileName(path), OpenByText(lock.holder), SinceText(lock.since));
}

bool AskToActDespiteForeignLock(TCustomShellListView*, const std::string& path,
                                const shell::ForeignLock& lock) {
  return AskDespiteWarning(ForeignLockQuestion(path, lock)) == mrYes;
}

QString DuplicateFailedMessage(const std::string& path, int error) {
  if (error == EEXIST) return CopyFailedMessage(path);
  QString reason = CommonRefusalText(error);
  if (error == EACCES || error == EPERM) reason = CopyDeniedText(path, path);
  if (error == ENAMETOOLONG) reason = NameTooLongText(paths::NamePart(DuplicatePath(path)));
  if (reason.isEmpty()) reason = SystemErrorText(error);
  return QStringLiteral("Impossibile duplicare il documento \"%1\": %2.")
      .arg(shell::DecodeFileName(paths::NamePart(path)), reason);
}

namespace {

bool AskedYes(const QString& question) {
  return ShowMessageDialog(question, mtConfirmation, {mbYes, mbNo}) == mrYes;
}

// The document may have been opened, removed or replaced elsewhere while a question was
// open: the refusals are checked again right before it goes.
trash::TrashResult TrashChosen(const std::string& path, const fileops::FileIdentity& chosen) {
  trash::TrashResult result;
  result.error = fileops::DeleteRefusal(path);
  return result.error ? result : trash::MoveToTrash(path, chosen);
}

// Moves the chosen document to its Trash, for Annulla to bring back; where none can take
// it after all, asks whether to delete it for good. 0 or the error to show.
int TrashOrDeleteForGood(TCustomShellListView& list, const std::string& path,
                         const fileops::FileIdentity& chosen) {
  trash::TrashResult moved = TrashChosen(path, chosen);
  if (!moved.error) CommandHistory::Of(list).RecordTrash(moved.entry);
  if (moved.noTrash == trash::NoTrash::kNone) return moved.error;
  if (!AskedYes(DeleteForGoodQuestion(path, moved.noTrash))) return 0;
  return fileops::DeleteDocument(path, chosen);
}

// Asks where the document goes (its Trash, or nowhere and why), then does it; a failure is
// shown. False when the answer was No.
bool TrashAfterQuestion(TCustomShellListView& list, const std::string& path,
                        const fileops::FileIdentity& chosen, const std::optional<shell::ForeignLock>& lock) {
  trash::NoTrash noTrash = trash::NoTrash::kNone;
  int error = 0;
  bool trashable = !trash::TrashFolderFor(path, noTrash, error).empty();
  if (!trashable && noTrash == trash::NoTrash::kNone) {
    ShowRefusal(DeleteRefusedMessage(path, error));
    return true;
  }
  if (!AskedYes(trashable ? DeleteQuestion(shell::DecodeFileName(path))
                          : DeleteForGoodQuestion(path, noTrash)))
    return false;
  if (lock && !AskToActDespiteForeignLock(&list, path, *lock)) return false;
  error = ActWithLockFilesAside(lock, path, [&] {
    return trashable ? TrashOrDeleteForGood(list, path, chosen)
                     : fileops::DeleteDocument(path, chosen);
  });
  if (error) ShowRefusal(DeleteRefusedMessage(path, error));
  return true;
}

}  // namespace

void OpenSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (!path.empty()) launcher::StartWordProcessor(path);
}

ChosenDocument ChooseDocument(const std::string& path) {
  ChosenDocument chosen;
  chosen.refusal = fileops::IdentityOf(path, chosen.identity);
  if (!chosen.refusal) chosen.refusal = fileops::DeleteRefusal(path);
  if (chosen.refusal == EBUSY)
    chosen.foreignLock = shell::ForeignLockOf(paths::FolderPart(path), paths::NamePart(path));
  return chosen;
}

int ActWithLockFilesAside(const std::optional<shell::ForeignLock>& lock, const std::string& path,
                          const std::function<int()>& act) {
  if (!lock) return act();
  if (int error = shell::SetLockFilesAside(*lock)) return error;
  int error = act();
  // The lock files go with the document, and stay where it stays.
  if (paths::Exists(path)) {
    shell::RestoreLockFilesSetAside(*lock);
  } else {
    shell::DropLockFilesSetAside(*lock);
  }
  return error;
}

void DeleteSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (path.empty()) return;
  ChosenDocument chosen = ChooseDocument(path);
  if (chosen.Refused()) {
    ShowRefusal(DeleteRefusedMessage(path, chosen.refusal));
    if (chosen.refusal == ENOENT) list.ReloadList();  // the list lets go of what is gone
    return;
  }
  if (TrashAfterQuestion(list, path, chosen.identity, chosen.foreignLock)) list.ReloadList();
}

void DuplicateSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (path.empty()) return;
  std::string copy;
  if (int error = DuplicateDocument(path, copy)) {
    ShowRefusal(DuplicateFailedMessage(path, error));
    if (error == ENOENT) list.ReloadList();
    return;
  }
  CommandHistory::Of(list).RecordDuplicate(copy);
  list.ReloadList();
  list.SelectItemAt(copy);
}

namespace {

using Kind = CommandHistory::Kind;

// The path of the file an undo acts on: where a rename or a move took the document, the
// copy of a copy, the old path of a document in the Trash.
const std::string& UndonePath(const CommandHistory::Step& step) {
  return step.kind == Kind::kRename || step.kind == Kind::kMove ? step.after : step.before;
}

QString UndoneName(const CommandHistory::Step& step) {
  return shell::DecodeFileName(paths::NamePart(UndonePath(step)));
}

// The command's name in Annulla: "cancellazione", "rinomina", ...
QString CommandNoun(Kind kind) {
  switch (kind) {
    case Kind::kTrash: return QStringLiteral("cancellazione");
    case Kind::kRename: return QStringLiteral("rinomina");
    case Kind::kDuplicate: return QStringLiteral("duplicazione");
    case Kind::kMove: return QStringLiteral("spostamento");
    case Kind::kCopy: return QStringLiteral("copia");
  }
  return {};
}

QString UndoRefusalText(const CommandHistory::Step& step, int error) {
  switch (error) {
    case ENOENT:
      return step.kind == Kind::kTrash ? QStringLiteral("il documento non è più nel Cestino")
                                       : QStringLiteral("il documento non esiste più");
    case ESTALE: return ChangedElsewhereText();
    case EEXIST:
      return QStringLiteral("il nome \"%1\" è già usato da un altro documento")
          .arg(shell::DecodeFileName(paths::NamePart(step.before)));
    case ENOTDIR:
      return QStringLiteral("la cartella \"%1\" non esiste più").arg(FolderText(step.before));
    case EBUSY: return HolderText(UndonePath(step));
    case EACCES:
    case EPERM:
      return step.kind == Kind::kMove ? MoveDeniedText(step.after, step.before)
                                      : FolderDeniedText(step.before);
    default: break;
  }
  QString reason = CommonRefusalText(error);
  return reason.isEmpty() ? SystemErrorText(error) : reason;
}

}  // namespace

QString UndoCaption(TCustomShellListView& list) {
  CommandHistory& history = CommandHistory::Of(list);
  if (history.empty()) return QStringLiteral("A&nnulla");
  const CommandHistory::Step& step = history.last();
  QString name = UndoneName(step).replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("A&nnulla %1 di \"%2\"").arg(CommandNoun(step.kind), name);
}

QString UndoFailedMessage(const CommandHistory::Step& step, int error) {
  QString article = step.kind == Kind::kMove ? QStringLiteral("lo") : QStringLiteral("la");
  return QStringLiteral("Impossibile annullare %1 %2 di \"%3\": %4.")
      .arg(article, CommandNoun(step.kind), UndoneName(step), UndoRefusalText(step, error));
}

void UndoLastDocumentCommand(TCustomShellListView& list) {
  CommandHistory& history = CommandHistory::Of(list);
  if (history.empty()) return;
  CommandHistory::Step step = history.last();
  std::string restored;
  int error = history.UndoLast(restored);
  if (error) ShowRefusal(UndoFailedMessage(step, error));
  list.ReloadList();
  // A copy's undo takes the copy away; the other steps bring a document back.
  bool copy = step.kind == Kind::kDuplicate || step.kind == Kind::kCopy;
  if (!error && !copy) list.SelectItemAt(restored);
}

void RenameToggleKeyUp(TCustomShellListView& list, int key) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  std::optional<Qt::KeyboardModifiers> press = list.PressOf(key);
  if (!press || (*press & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) return;
  if (list.LabelEditing()) {
    list.CancelLabelEdit();
    return;
  }
  int row = list.SelectedItem();
  if (row >= 0) list.BeginLabelEdit(row);
}

}  // namespace velloria
