// "Copia in…" and "Sposta in…": a document into another category's folder, named as
// Duplica names copies when its own name is taken there.
#include "app/category_transfer.h"

#include <sys/stat.h>

#include <cerrno>

#include "app/command_history.h"
#include "app/document_commands.h"
#include "app/refusal_text.h"
#include "base/paths.h"
#include "platform/file_name_text.h"
#include "platform/fileops.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && paths::IsSeparator(path.back())) path.pop_back();
  return path;
}

// True when `document` lies in `folder` itself, however the two are spelt.
bool InFolder(const std::string& document, const std::string& folder) {
  std::string own = paths::FolderPart(document);
  return SameFolder(own.empty() ? "." : own, folder);
}

// The transfer of `document`; a move acts only on the file `chosen`. A move into the
// document's own folder leaves it where it is.
int TransferChosen(const std::string& document, const fileops::FileIdentity& chosen,
                   const std::string& folder, TransferKind kind, std::string& placed) {
  if (paths::IsFolder(document)) return EISDIR;
  if (kind == TransferKind::kMove && InFolder(document, folder)) {
    placed = document;
    return 0;
  }
  auto place = [&](const std::string& target) {
    return kind == TransferKind::kCopy ? fileops::CopyDocument(document, target)
                                       : fileops::MoveDocument(document, target, chosen);
  };
  int error = PlaceUnderFreeName(document, paths::WithTrailingSeparator(folder), 0, place, placed);
  // The folder it was to go to is gone, rather than the document.
  if (error == ENOENT && !paths::IsFolder(folder)) error = ENOTDIR;
  return error;
}

QString NoFreeNameText(const std::string& document) {
  return QStringLiteral(
             "nella cartella non c'è un nome libero per il documento: \"%1\", \"%2\" e i nomi "
             "numerati sono già usati")
      .arg(shell::DecodeFileName(paths::NamePart(document)),
           shell::DecodeFileName(paths::NamePart(DuplicatePath(document))));
}

QString TransferRefusalText(const std::string& document, const std::string& folder,
                            TransferKind kind, int error) {
  const std::string into = paths::WithTrailingSeparator(folder);
  switch (error) {
    case EBUSY: return HolderText(document);
    case EACCES:
    case EPERM:
      return kind == TransferKind::kMove ? MoveDeniedText(document, into)
                                         : CopyDeniedText(document, into);
    case ESTALE: return ChangedElsewhereText();
    case EEXIST: return NoFreeNameText(document);
    case ENAMETOOLONG: return NameTooLongText(paths::NamePart(DuplicatePath(document)));
    case ENOTDIR: return QStringLiteral("la cartella non esiste più");
    default: break;
  }
  QString reason = CommonRefusalText(error);
  return reason.isEmpty() ? SystemErrorText(error) : reason;
}

void ShowTransferFailed(TCustomShellListView& list, const std::string& document,
                        const std::string& folder, TransferKind kind, int error) {
  ShowRefusal(TransferFailedMessage(document, folder, kind, error));
  if (error == ENOENT) list.ReloadList();  // the list lets go of what is gone
}

// The refusals of a delete come first, and a document held only by another computer's
// lock file moves after the second question, its lock files going with it.
void MoveCommand(TCustomShellListView& list, const std::string& document,
                 const std::string& folder) {
  if (InFolder(document, folder)) return;
  ChosenDocument chosen = ChooseDocument(document);
  if (chosen.Refused())
    return ShowTransferFailed(list, document, folder, TransferKind::kMove, chosen.refusal);
  const std::optional<shell::ForeignLock>& lock = chosen.foreignLock;
  if (lock && !AskToActDespiteForeignLock(&list, document, *lock)) return;
  std::string placed;
  int error = ActWithLockFilesAside(lock, document, [&] {
    return TransferChosen(document, chosen.identity, folder, TransferKind::kMove, placed);
  });
  if (error) return ShowTransferFailed(list, document, folder, TransferKind::kMove, error);
  CommandHistory::Of(list).RecordMove(document, placed);
  list.ReloadList();
}

// A copy, as Duplica's, is made of an open document too.
void CopyCommand(TCustomShellListView& list, const std::string& document,
                 const std::string& folder) {
  std::string placed;
  if (int error = TransferDocument(document, folder, TransferKind::kCopy, placed))
    return ShowTransferFailed(list, document, folder, TransferKind::kCopy, error);
  CommandHistory::Of(list).RecordCopy(placed);
  list.ReloadList();
  list.SelectItemAt(placed);
}

}  // namespace

bool SameFolder(const std::string& a, const std::string& b) {
  std::string realA = WithoutTrailingSeparator(paths::ResolveCaseInsensitive(a));
  std::string realB = WithoutTrailingSeparator(paths::ResolveCaseInsensitive(b));
  if (realA == realB) return true;
  struct stat statA {};
  struct stat statB {};
  // A file system that reports no inode numbers (0) cannot tell two folders apart by them.
  return ::stat(realA.c_str(), &statA) == 0 && ::stat(realB.c_str(), &statB) == 0 &&
         statA.st_ino != 0 && statA.st_dev == statB.st_dev && statA.st_ino == statB.st_ino;
}

int TransferDocument(const std::string& document, const std::string& folder, TransferKind kind,
                     std::string& placed) {
  fileops::FileIdentity chosen;
  if (int error = fileops::IdentityOf(document, chosen)) return error;
  return TransferChosen(document, chosen, folder, kind, placed);
}

QString TransferFailedMessage(const std::string& document, const std::string& folder,
                              TransferKind kind, int error) {
  QString verb =
      kind == TransferKind::kCopy ? QStringLiteral("copiare") : QStringLiteral("spostare");
  return QStringLiteral("Impossibile %1 il documento \"%2\" in \"%3\": %4.")
      .arg(verb, shell::DecodeFileName(paths::NamePart(document)),
           FolderText(paths::WithTrailingSeparator(folder)),
           TransferRefusalText(document, folder, kind, error));
}

void TransferDocumentCommand(TCustomShellListView& list, const std::string& document,
                             const std::string& folder, TransferKind kind) {
  if (kind == TransferKind::kMove) return MoveCommand(list, document, folder);
  CopyCommand(list, document, folder);
}

}  // namespace velloria
