// The "properties" verb's dialog, filled from the namespace layer's item description.
#include "shellview/shell_properties_dialog.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/namespace.h"

namespace velloria {

void ShowPropertiesDialog(const std::string& path) {
  shell::ItemDescription description = shell::DescribeItem(path);
  auto* dialog = new QDialog(QApplication::activeWindow());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QObject::tr("Proprietà di %1").arg(QString::fromStdString(description.name)));
  auto* form = new QFormLayout;
  auto addRow = [&](const char* label, const std::string& value) {
    auto* text = new QLabel(QString::fromStdString(value));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QObject::tr(label), text);
  };
  addRow("Nome:", description.name);
  addRow("Cartella:", description.folder);
  addRow("Dimensione:", description.size);
  addRow("Tipo:", description.type);
  addRow("Ultima modifica:", description.modified);
  addRow("Permessi:", description.permissions);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  dialog->show();
}

}  // namespace velloria
