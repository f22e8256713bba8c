// Open, delete, duplicate and the rename toggle over the document list's selected item.
#include "app/document_commands.h"

#include "platform/fileops.h"
#include "platform/launcher.h"
#include "platform/paths.h"
#include "ui/messagebox.h"

namespace velloria {

QString SelectedDocumentPath(const TCustomShellListView& list) {
  TShellFolder* item = list.SelectedShellFolder();
  return item ? item->FullPath() : QString();
}

QString DeleteQuestion(const QString& path) {
  return QStringLiteral("Cancellare definitivamente il documento \"%1\" ?").arg(path);
}

QString DuplicatePath(const QString& path) {
  std::string text = path.toStdString();
  return QString::fromStdString(paths::FolderPart(text) + kCopyPrefix + paths::NamePart(text));
}

QString CopyFailedMessage(const QString& path) {
  QString name = QString::fromStdString(paths::NamePart(path.toStdString()));
  return QStringLiteral("Errore durante la copia, un file di nome \"%1%2\" potrebbe già esistere in "
                        "questa cartella !")
      .arg(QLatin1String(kCopyPrefix), name);
}

void OpenSelectedDocument(TCustomShellListView& list) {
  QString path = SelectedDocumentPath(list);
  if (!path.isEmpty()) launcher::StartWordProcessor(path);
}

void DeleteSelectedDocument(TCustomShellListView& list) {
  QString path = SelectedDocumentPath(list);
  if (path.isEmpty()) return;
  if (ShowMessageDialog(DeleteQuestion(path), mtConfirmation, {mbYes, mbNo}) != mrYes) return;
  fileops::DeleteDocument(path.toStdString());
  list.ReloadList();
}

void DuplicateSelectedDocument(TCustomShellListView& list) {
  QString path = SelectedDocumentPath(list);
  if (path.isEmpty()) return;
  if (fileops::CopyDocument(path.toStdString(), DuplicatePath(path).toStdString()) != 0) {
    ShowMessageDialog(CopyFailedMessage(path), mtInformation, {mbOK});
    return;
  }
  list.ReloadList();
}

void RenameToggleKeyUp(TCustomShellListView& list, bool& armed, int key) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  int row = list.SelectedItem();
  if (row < 0) return;
  if (armed) {
    list.BeginLabelEdit(row);
    armed = false;
  } else {
    list.CancelLabelEdit();
    armed = true;
  }
}

}  // namespace velloria
