// The category chooser of "Copia in…" and "Sposta in…".
#include "app/category_chooser.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>

#include "base/paths.h"
#include "platform/file_name_text.h"
#include "shellview/name_match.h"

namespace velloria {
namespace {

constexpr int kFolderRole = Qt::UserRole;    // the category's folder, as the table spells it
constexpr int kNameRole = Qt::UserRole + 1;  // its description, which the filter matches

QString Question(TransferKind kind, const std::string& document) {
  QString name = shell::DecodeFileName(paths::NamePart(document));
  return kind == TransferKind::kCopy ? QStringLiteral("Copiare \"%1\" nella categoria:").arg(name)
                                     : QStringLiteral("Spostare \"%1\" nella categoria:").arg(name);
}

}  // namespace

CategoryChooser::CategoryChooser(QWidget* window, TransferKind kind,
                                 const std::vector<SearchFolder>& categories,
                                 const std::string& document)
    : QDialog(window),
      m_filter(new QLineEdit(this)),
      m_list(new QListWidget(this)),
      m_ok(new QPushButton(QStringLiteral("OK"), this)) {
  setObjectName(QStringLiteral("frmCategoria"));
  setWindowTitle(QString::fromUtf8(kind == TransferKind::kCopy ? kCopyToTitle : kMoveToTitle));
  setModal(true);
  auto* question = new QLabel(Question(kind, document), this);
  question->setObjectName(QStringLiteral("LblCategoria"));
  question->setWordWrap(true);
  m_filter->setObjectName(QStringLiteral("EdCategoria"));
  m_filter->setPlaceholderText(QStringLiteral("Filtra categorie"));
  m_filter->setAccessibleName(QStringLiteral("Filtra categorie"));
  m_filter->installEventFilter(this);
  question->setBuddy(m_filter);
  m_list->setObjectName(QStringLiteral("LBCategorie"));
  m_list->setAccessibleName(QStringLiteral("Categorie"));
  m_ok->setObjectName(QStringLiteral("BOK"));
  m_ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Annulla"), this);
  cancel->setObjectName(QStringLiteral("BAnnulla"));
  cancel->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(question);
  layout->addWidget(m_filter);
  layout->addWidget(m_list, 1);
  layout->addLayout(buttons);
  resize(360, 320);

  AddCategories(categories, kind, document);
  connect(m_filter, &QLineEdit::textChanged, this, &CategoryChooser::ApplyFilter);
  connect(m_list, &QListWidget::itemDoubleClicked, this, &CategoryChooser::ChooseCurrent);
  connect(m_ok, &QPushButton::clicked, this, &CategoryChooser::ChooseCurrent);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  ApplyFilter(QString());
  m_filter->setFocus();
}

void CategoryChooser::AddCategories(const std::vector<SearchFolder>& categories, TransferKind kind,
                                    const std::string& document) {
  const std::string documentFolder = paths::FolderPart(document);
  for (const SearchFolder& category : categories) {
    bool holdsDocument = SameFolder(category.path, documentFolder);
    if (holdsDocument && kind == TransferKind::kMove) continue;
    QString text = category.category;
    if (holdsDocument) text += QString::fromUtf8(kDocumentFolderMark);
    auto* item = new QListWidgetItem(text, m_list);
    item->setData(kFolderRole, QByteArray::fromStdString(category.path));
    item->setData(kNameRole, category.category);
  }
}

// The first category that matches becomes current, so that Enter chooses it at once.
void CategoryChooser::ApplyFilter(const QString& text) {
  const QString key = NameMatchKey(text);
  QListWidgetItem* first = nullptr;
  for (int row = 0; row < m_list->count(); ++row) {
    QListWidgetItem* item = m_list->item(row);
    bool matches = NameMatches(item->data(kNameRole).toString(), key);
    item->setHidden(!matches);
    if (matches && first == nullptr) first = item;
  }
  m_list->setCurrentItem(first);
  if (first != nullptr) m_list->scrollToItem(first);
  m_ok->setEnabled(first != nullptr);
}

void CategoryChooser::ChooseCurrent() {
  QListWidgetItem* item = m_list->currentItem();
  if (item == nullptr || item->isHidden()) return;
  m_chosen = paths::ResolveCaseInsensitive(item->data(kFolderRole).toByteArray().toStdString());
  accept();
}

// Up, Down, Page Up and Page Down in the field move in the list; the field keeps the
// focus and its other keys.
bool CategoryChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_filter && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    static constexpr int kListKeys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown};
    bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && std::ranges::find(kListKeys, key->key()) != std::end(kListKeys)) {
      QCoreApplication::sendEvent(m_list, key);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::optional<std::string> ChooseCategoryFolder(QWidget* window, TransferKind kind,
                                                const std::vector<SearchFolder>& categories,
                                                const std::string& document) {
  CategoryChooser chooser(window, kind, categories, document);
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  return chooser.ChosenFolder();
}

}  // namespace velloria
