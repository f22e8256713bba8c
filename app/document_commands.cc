// Open, delete, duplicate and the rename toggle over the document list's selected item.
#include "app/document_commands.h"

#include "platform/file_name_text.h"
#include "platform/fileops.h"
#include "platform/launcher.h"
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

std::string DuplicatePath(const std::string& path) {
  return paths::FolderPart(path) + kCopyPrefix + paths::NamePart(path);
}

QString CopyFailedMessage(const std::string& path) {
  return QStringLiteral(
             "Errore durante la copia, un file di nome \"%1%2\" potrebbe già esistere in "
             "questa cartella !")
      .arg(QLatin1String(kCopyPrefix), shell::DecodeFileName(paths::NamePart(path)));
}

void OpenSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (!path.empty()) launcher::StartWordProcessor(path);
}

void DeleteSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (path.empty()) return;
  if (ShowMessageDialog(DeleteQuestion(shell::DecodeFileName(path)), mtConfirmation,
                        {mbYes, mbNo}) != mrYes)
    return;
  fileops::DeleteDocument(path);
  list.ReloadList();
}

void DuplicateSelectedDocument(TCustomShellListView& list) {
  std::string path = SelectedDocumentFile(list);
  if (path.empty()) return;
  if (fileops::CopyDocument(path, DuplicatePath(path)) != 0) {
    ShowMessageDialog(CopyFailedMessage(path), mtInformation, {mbOK});
    return;
  }
  list.ReloadList();
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
