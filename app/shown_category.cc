// The shown category: the Visualizza action that keeps the list, the category line, the
// list's accessible name and the grid's marker in step.
#include "app/shown_category.h"

#include <QStyle>

#include "app/catalogue.h"
#include "base/paths.h"
#include "dataset/field.h"
#include "shellview/shell_errors.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

constexpr int kLineMargin = 3;  // pixels beside and above the category line's text

const QString kListName = QStringLiteral("Documenti della categoria");

QString Description(TDataSet& table) {
  return QString::fromStdString(table.FieldByName("DESCRIZIO").AsString()).trimmed();
}

}  // namespace

void ElidedLabel::setFullText(const QString& text) {
  m_fullText = text;
  setToolTip(text);
  setAccessibleName(text);
  elide();
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  elide();
}

void ElidedLabel::elide() {
  setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, contentsRect().width()));
}

ShownCategory::ShownCategory(QWidget* window, TCustomShellListView* list, TDBGrid* grid)
    : m_label(new ElidedLabel(window)),
      m_upButton(new QToolButton(window)),
      m_list(list),
      m_grid(grid) {
  m_label->setObjectName(QStringLiteral("LblCategoria"));
  m_label->setContentsMargins(kLineMargin, kLineMargin, kLineMargin, 0);
  m_label->setTextFormat(Qt::PlainText);
  m_label->setBuddy(list);
  // For the mouse: the keyboard has Backspace, so the button stays out of the Tab order.
  m_upButton->setObjectName(QStringLiteral("BSu"));
  m_upButton->setText(QStringLiteral("Su"));
  m_upButton->setIcon(window->style()->standardIcon(QStyle::SP_ArrowUp, nullptr, m_upButton));
  m_upButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  m_upButton->setAutoRaise(true);
  m_upButton->setFocusPolicy(Qt::NoFocus);
  m_upButton->setToolTip(QStringLiteral("Cartella superiore (Backspace)"));
  m_upButton->setAccessibleName(QStringLiteral("Cartella superiore"));
  QObject::connect(m_upButton, &QToolButton::clicked, list,
                   [list] { Guarded([list] { list->GoUp(); }); });
  m_folderShown = QObject::connect(list, &TCustomShellListView::folderShown, m_label,
                                   [this] { FollowShownFolder(); });
  // Every change of the rows (a reload, the filter) resets the list's model.
  m_rowsChanged = QObject::connect(list->model(), &QAbstractItemModel::modelReset, m_label,
                                   [this] { ShowLine(); });
  ShowNothing();
}

ShownCategory::~ShownCategory() {
  QObject::disconnect(m_folderShown);
  QObject::disconnect(m_rowsChanged);
}

void ShownCategory::ShowCurrent(TDataSet& table, const std::string& stampeFolder) {
  std::int32_t recNo = table.RecNo();
  QString name = Description(table);
  std::string dir = CategoryDir(table.FieldByName("DIR").AsString());
  QString folder = QString::fromStdString(CategoryFolderPath(stampeFolder, dir));
  bool valid = false;
  try {
    valid = ShowCategoryDocuments(table, *m_list, stampeFolder);
  } catch (const EInvalidPath&) {
    Present(recNo, name, Outcome::kMissingFolder, folder);
    return;
  } catch (...) {
    Present(recNo, name, Outcome::kFailed, folder);
    throw;
  }
  if (!valid) {
    ShowMessageDialog(QString::fromUtf8(kInvalidFolderMessage), mtInformation, {mbOK});
    Present(recNo, name, Outcome::kInvalidFolder, folder);
  } else if (m_list->Root() != folder) {
    Present(recNo, name, Outcome::kInvalidFolder, folder);
  } else if (!paths::IsFolder(folder.toStdString())) {
    // Asked again for the folder it shows, the list changes nothing, so a folder removed
    // since is noticed here.
    Present(recNo, name, Outcome::kMissingFolder, folder);
  } else {
    Present(recNo, name, Outcome::kShown, folder);
  }
}

void ShownCategory::AdoptCatalogueChoice(TDataSet& table) {
  if (!table.Active() || table.IsEmpty()) return ShowNothing();
  bool shown = !m_list->Root().isEmpty();
  Present(table.RecNo(), Description(table), shown ? Outcome::kShown : Outcome::kInvalidFolder,
          m_list->Root());
}

bool ShownCategory::IsShownRecord(const TDataSet& table) const {
  return m_recNo != 0 && table.RecNo() == m_recNo;
}

// The button is as tall as the line, its icon as tall as the line's text.
void ShownCategory::Place(const QRect& area) {
  int textHeight = m_label->fontMetrics().height();
  int lineHeight = textHeight + kLineMargin;
  int lineTop = area.bottom() - lineHeight + 1;
  m_upButton->setIconSize(QSize(textHeight - kLineMargin, textHeight - kLineMargin));
  int buttonWidth = m_upButton->sizeHint().width();
  m_list->setGeometry(area.adjusted(0, 0, 0, -lineHeight));
  m_label->setGeometry(area.left(), lineTop, area.width() - buttonWidth, lineHeight);
  m_upButton->setGeometry(area.right() - buttonWidth + 1, lineTop, buttonWidth, lineHeight);
  m_label->elide();
}

// A category that is not shown empties the list: its commands then find no document. A
// folder gone is also said in a box (a blank DIR has had its own).
void ShownCategory::Present(std::int32_t recNo, const QString& name, Outcome outcome, const QString& folder) {
  m_recNo = recNo;
  m_name = name;
  m_folder = folder;
  m_shown = outcome == Outcome::kShown;
  QString status;
  m_counted = false;
  switch (outcome) {
    case Outcome::kShown:
      status = QStringLiteral("Cartella: %1").arg(folder);
      m_counted = true;
      break;
    case Outcome::kInvalidFolder:
      m_list->ClearRoot();
      status = QStringLiteral("cartella non valida, nessun documento mostrato");
      break;
    case Outcome::kMissingFolder:
      m_list->ClearRoot();
      status = QStringLiteral("la cartella %1 non esiste più, nessun documento mostrato").arg(folder);
      break;
    case Outcome::kFailed:
      m_list->ClearRoot();
      status = QStringLiteral("impossibile mostrare la cartella, nessun documento mostrato");
      break;
  }
  SetLine(status, m_counted);
  m_list->setAccessibleName(kListName + QLatin1Char(' ') + name);
  m_grid->viewport()->update();
  if (outcome == Outcome::kMissingFolder) {
    ShowMessageDialog(QString::fromUtf8(kMissingCategoryFolderMessage) + folder, mtInformation, {mbOK});
  }
}

void ShownCategory::ShowNothing() {
  m_recNo = 0;
  m_shown = false;
  m_counted = false;
  m_label->setFullText(QStringLiteral("Nessuna categoria mostrata"));
  m_list->setAccessibleName(kListName);
  m_list->setAccessibleDescription(QString());
  m_upButton->setEnabled(false);
  m_grid->viewport()->update();
}

void ShownCategory::SetLine(const QString& status, bool counted) {
  m_status = status;
  m_counted = counted;
  ShowLine();
  m_list->setAccessibleDescription(status);
  m_upButton->setEnabled(m_list->CanGoUp());
}

void ShownCategory::ShowLine() {
  if (m_recNo == 0) return;
  QString line = QStringLiteral("Categoria: %1 — %2").arg(m_name, m_status);
  if (m_counted) line += QStringLiteral(" — ") + CountText();
  m_label->setFullText(line);
}

// "N documenti", or "N di M documenti" while the filter hides some rows.
QString ShownCategory::CountText() const {
  int all = m_list->DocumentCount();
  QString noun = all == 1 ? QStringLiteral("documento") : QStringLiteral("documenti");
  if (!m_list->Filtered()) return QStringLiteral("%1 %2").arg(all).arg(noun);
  return QStringLiteral("%1 di %2 %3").arg(m_list->ShownDocumentCount()).arg(all).arg(noun);
}

// A sub-folder entered (Enter) or left (Backspace, "Su") is named on the category line;
// the category's own folder keeps the name the category gave it. A shown folder gone is
// said there too, while the list waits for it to come back.
void ShownCategory::FollowShownFolder() {
  if (!m_shown) {
    m_upButton->setEnabled(false);
    return;
  }
  QString folder = m_list->CanGoUp() ? m_list->ShownFolderText() : m_folder;
  if (m_list->FolderMissing()) {
    QString missing = QStringLiteral(
                          "la cartella %1 non esiste più o non è accessibile: nessun "
                          "documento mostrato finché non torna")
                          .arg(folder);
    SetLine(missing, false);
    return;
  }
  SetLine(QStringLiteral("Cartella: %1").arg(folder), true);
}

}  // namespace velloria
