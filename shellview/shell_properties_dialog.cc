// The "properties" verb's dialog, filled from the namespace layer's item description.
#include "shellview/shell_properties_dialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/namespace.h"

namespace velloria {
namespace {

// Texts are written in English and translated for the system language.
constexpr const char* kContext = "PropertiesDialog";

}  // namespace

void ShowPropertiesDialog(const std::string& path) {
  shell::ItemDescription description = shell::DescribeItem(path);
  auto* dialog = new QDialog(QApplication::activeWindow());
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  QString name = QString::fromStdString(description.name);
  dialog->setWindowTitle(
      QCoreApplication::translate("PropertiesDialog", "Properties of %1").arg(name));
  auto* form = new QFormLayout;
  auto addRow = [&](const char* label, const std::string& value) {
    auto* text = new QLabel(QString::fromStdString(value));
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QCoreApplication::translate(kContext, label), text);
  };
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Name:"), description.name);
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Folder:"), description.folder);
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Size:"), description.size);
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Type:"), description.type);
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Modified:"), description.modified);
  addRow(QT_TRANSLATE_NOOP("PropertiesDialog", "Permissions:"), description.permissions);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  dialog->show();
}

}  // namespace velloria
