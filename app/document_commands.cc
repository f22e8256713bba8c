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
  return QStringLiteral("Cancellare definitivamente il documento \"%1\" ?").arg(path);
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

void OpenSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (!path.empty()) launcher::StartWordProcessor(path);
}

// Deletes the document at `path` if it is still the file `chosen`, its lock files first set
// aside and then removed with it (or put back when it stays).
int DeleteDespiteForeignLock(const std::string& path, const fileops::FileIdentity& chosen,
                             const shell::ForeignLock& lock) {
  if (int error = shell::SetLockFilesAside(lock)) return error;
  int error = fileops::DeleteDocument(path, chosen);
  if (error) {
    shell::RestoreLockFilesSetAside(lock);
  } else {
    shell::DropLockFilesSetAside(lock);
  }
  return error;
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
  if (ShowMessageDialog(DeleteQuestion(shell::DecodeFileName(path)), mtConfirmation,
                        {mbYes, mbNo}) != mrYes)
    return;
  if (lock && !AskToActDespiteForeignLock(&list, path, *lock)) return;
  // The document may have been opened, removed or replaced elsewhere while the questions
  // were open.
  int error = lock ? DeleteDespiteForeignLock(path, chosen, *lock) : fileops::DeleteDocument(path, chosen);
  if (error) ShowRefusal(DeleteRefusedMessage(path, error));
  list.ReloadList();
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
  list.ReloadList();
  list.SelectItemAt(copy);
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
