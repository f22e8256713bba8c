// Open, delete, duplicate and the rename toggle over the document list's selected item.
#include "app/document_commands.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <QDateTime>
#include <QLocale>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <memory>

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

std::string DuplicatePath(const std::string& path, int number) {
  std::string prefix =
      number == 1 ? std::string(kCopyPrefix) : "Copia (" + std::to_string(number) + ") di ";
  return paths::FolderPart(path) + prefix + paths::NamePart(path);
}

QString CopyFailedMessage(const std::string& path) {
  return QStringLiteral(
             "Errore durante la copia, un file di nome \"%1%2\" potrebbe già esistere in "
             "questa cartella !")
      .arg(QLatin1String(kCopyPrefix), shell::DecodeFileName(paths::NamePart(path)));
}

namespace {

// "aperto da <user> sul computer <host>", or as much of it as is known.
QString OpenByText(const shell::DocumentHolder& holder) {
  QString user = shell::DecodeFileName(holder.user);
  QString host = shell::DecodeFileName(holder.host);
  if (user.isEmpty() && host.isEmpty()) return QStringLiteral("aperto in un programma di videoscrittura");
  if (host.isEmpty()) return QStringLiteral("aperto da %1").arg(user);
  if (user.isEmpty()) return QStringLiteral("aperto sul computer %1").arg(host);
  return QStringLiteral("aperto da %1 sul computer %2").arg(user, host);
}

// " dal <date and time>" in the user's short format.
QString SinceText(time_t since) {
  return QStringLiteral(" dal %1").arg(
      QLocale().toString(QDateTime::fromSecsSinceEpoch(since), QLocale::ShortFormat));
}

QString HolderText(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  std::string name = paths::NamePart(path);
  std::optional<time_t> since = shell::LockFileTime(folder, name);
  if (!since) return QStringLiteral("è in uso da parte di un altro programma");
  return QStringLiteral("è ") +
         OpenByText(shell::DocumentHolderOf(folder, name).value_or(shell::DocumentHolder{})) +
         SinceText(*since);
}

QString FolderDeniedText(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  if (folder.size() > 1 && paths::IsSeparator(folder.back())) folder.pop_back();
  return QStringLiteral("non si hanno i permessi per modificare la cartella \"%1\"")
      .arg(shell::DecodeFileName(folder));
}

bool FolderWritable(const std::string& path) {
  return access(paths::FolderPart(path).c_str(), W_OK | X_OK) == 0;
}

// The reasons any file command may meet; "" for the ones each command words itself.
QString CommonRefusalText(int error) {
  switch (error) {
    case ENOENT: return QStringLiteral("il documento non esiste più");
    case EISDIR: return QStringLiteral("è una cartella, non un documento");
    case EINVAL: return QStringLiteral("non è un documento");
    case EROFS: return QStringLiteral("il disco è di sola lettura");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("lo spazio sul disco è esaurito");
    default: return {};
  }
}

QString SystemErrorText(int error) {
  return QStringLiteral("errore di sistema (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
}

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

int DuplicateDocument(const std::string& path, std::string& copy) {
  QSet<QString> taken;
  if (int error = FoldedNamesIn(paths::FolderPart(path), taken)) return error;
  int error = EEXIST;
  for (int number = 1; error == EEXIST && number <= taken.size() + kRacingCopies; ++number) {
    copy = DuplicatePath(path, number);
    std::string name = paths::NamePart(copy);
    if (name.size() > NAME_MAX) return number == 1 ? ENAMETOOLONG : EEXIST;
    if (taken.contains(FoldedName(name))) continue;
    error = fileops::CopyDocument(path, copy);
  }
  return error;
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
  if (error == EACCES || error == EPERM) {
    reason = access(path.c_str(), R_OK) != 0
                 ? QStringLiteral("non si ha il permesso di leggere il documento")
                 : FolderDeniedText(path);
  }
  if (error == ENAMETOOLONG) {
    reason = QStringLiteral("il nome \"%1\" è troppo lungo (più di %2 byte)")
                 .arg(shell::DecodeFileName(paths::NamePart(DuplicatePath(path))))
                 .arg(NAME_MAX);
  }
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
  error = lock ? shell::SetLockFilesAside(*lock) : 0;
  if (!error) {
    error = trashable ? TrashOrDeleteForGood(list, path, chosen)
                      : fileops::DeleteDocument(path, chosen);
    // The lock files go with the document, and stay where it stays.
    if (lock && paths::Exists(path)) shell::RestoreLockFilesSetAside(*lock);
    if (lock && !paths::Exists(path)) shell::DropLockFilesSetAside(*lock);
  }
  if (error) ShowRefusal(DeleteRefusedMessage(path, error));
  return true;
}

}  // namespace

void OpenSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (!path.empty()) launcher::StartWordProcessor(path);
}

void DeleteSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (path.empty()) return;
  fileops::FileIdentity chosen;
  int refusal = fileops::IdentityOf(path, chosen);
  if (!refusal) refusal = fileops::DeleteRefusal(path);
  std::optional<shell::ForeignLock> lock;
  if (refusal == EBUSY) lock = shell::ForeignLockOf(paths::FolderPart(path), paths::NamePart(path));
  if (refusal && !lock) {
    ShowRefusal(DeleteRefusedMessage(path, refusal));
    if (refusal == ENOENT) list.ReloadList();  // the list lets go of what is gone
    return;
  }
  if (TrashAfterQuestion(list, path, chosen, lock)) list.ReloadList();
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

// The folder of `path` as shown, without its closing separator.
QString FolderText(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  if (folder.size() > 1 && paths::IsSeparator(folder.back())) folder.pop_back();
  return shell::DecodeFileName(folder);
}

QString UndoneName(const CommandHistory::Step& step) {
  const std::string& path = step.kind == CommandHistory::Kind::kRename ? step.after : step.before;
  return shell::DecodeFileName(paths::NamePart(path));
}

QString UndoRefusalText(const CommandHistory::Step& step, int error) {
  switch (error) {
    case ENOENT:
      return step.kind == CommandHistory::Kind::kTrash
                 ? QStringLiteral("il documento non è più nel Cestino")
                 : QStringLiteral("il documento non esiste più");
    case ESTALE:
      return QStringLiteral(
          "il documento è stato modificato, spostato o sostituito da un'altra postazione");
    case EEXIST:
      return QStringLiteral("il nome \"%1\" è già usato da un altro documento")
          .arg(shell::DecodeFileName(paths::NamePart(step.before)));
    case ENOTDIR:
      return QStringLiteral("la cartella \"%1\" non esiste più").arg(FolderText(step.before));
    case EBUSY: return HolderText(step.before);
    case EACCES:
    case EPERM: return FolderDeniedText(step.before);
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
  QString what = QStringLiteral("duplicazione");
  if (step.kind == CommandHistory::Kind::kTrash) what = QStringLiteral("cancellazione");
  if (step.kind == CommandHistory::Kind::kRename) what = QStringLiteral("rinomina");
  QString name = UndoneName(step).replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("A&nnulla %1 di \"%2\"").arg(what, name);
}

QString UndoFailedMessage(const CommandHistory::Step& step, int error) {
  QString what = QStringLiteral("la duplicazione");
  if (step.kind == CommandHistory::Kind::kTrash) what = QStringLiteral("la cancellazione");
  if (step.kind == CommandHistory::Kind::kRename) what = QStringLiteral("la rinomina");
  return QStringLiteral("Impossibile annullare %1 di \"%2\": %3.")
      .arg(what, UndoneName(step), UndoRefusalText(step, error));
}

void UndoLastDocumentCommand(TCustomShellListView& list) {
  CommandHistory& history = CommandHistory::Of(list);
  if (history.empty()) return;
  CommandHistory::Step step = history.last();
  std::string restored;
  int error = history.UndoLast(restored);
  if (error) ShowRefusal(UndoFailedMessage(step, error));
  list.ReloadList();
  if (!error && step.kind != CommandHistory::Kind::kDuplicate) list.SelectItemAt(restored);
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
