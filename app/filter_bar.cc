// The document list's filter field.
#include "app/filter_bar.h"

#include <QIcon>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>

namespace velloria {

FilterBar::FilterBar(QWidget* window, TCustomShellListView* list)
    : QObject(window),
      m_field(new QLineEdit(window)),
      m_searchButton(new QToolButton(window)),
      m_list(list) {
  m_field->setObjectName(QStringLiteral("EdFiltro"));
  m_field->setPlaceholderText(QString::fromUtf8(kFilterPlaceholder));
  m_field->setClearButtonEnabled(true);
  // The clear button the field makes for itself is named for screen readers too.
  for (QToolButton* button : m_field->findChildren<QToolButton*>()) {
    button->setAccessibleName(QStringLiteral("Svuota il filtro"));
  }
  m_field->setAccessibleName(QStringLiteral("Filtra documenti"));
  m_field->setToolTip(
      QStringLiteral("Mostra solo i documenti il cui nome contiene il testo (Ctrl+F)"));
  m_field->setFocusPolicy(Qt::ClickFocus);
  m_field->installEventFilter(this);
  m_searchButton->setObjectName(QStringLiteral("BCerca"));
  m_searchButton->setText(QStringLiteral("Cerca in tutte le categorie"));
  m_searchButton->setToolTip(
      QStringLiteral("Cerca il testo del filtro in tutte le categorie (Ctrl+Maiusc+F)"));
  m_searchButton->setAccessibleName(m_searchButton->text());
  m_searchButton->setIcon(QIcon::fromTheme(
      QStringLiteral("edit-find"),
      window->style()->standardIcon(QStyle::SP_FileDialogContentsView, nullptr, m_searchButton)));
  m_searchButton->setAutoRaise(true);
  m_searchButton->setFocusPolicy(Qt::NoFocus);
  connect(m_field, &QLineEdit::textChanged, list,
          [list](const QString& text) { Guarded([&] { list->SetFilter(text); }); });
  connect(list, &TCustomShellListView::filterDropped, m_field, &QLineEdit::clear);
}

void FilterBar::Focus() {
  m_field->setFocus(Qt::ShortcutFocusReason);
  m_field->selectAll();
}

QRect FilterBar::Place(const QRect& area) {
  int height = m_field->sizeHint().height();
  // The button keeps only its icon (its text stays its tooltip and accessible name) when
  // its text would leave the field too narrow for its placeholder, as with large fonts.
  m_searchButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  int fieldRoom = m_field->fontMetrics().horizontalAdvance(m_field->placeholderText()) + 2 * height;
  if (area.width() - m_searchButton->sizeHint().width() < fieldRoom) {
    m_searchButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
  int buttonWidth = m_searchButton->sizeHint().width();
  m_field->setGeometry(area.left(), area.top(), area.width() - buttonWidth, height);
  m_searchButton->setGeometry(area.right() - buttonWidth + 1, area.top(), buttonWidth, height);
  return area.adjusted(0, height, 0, 0);
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_field && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
      if (HandleKey(key->key())) return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

// Enter goes to the list rather than to the window's default button, which would show
// the grid's category and so drop the filter.
bool FilterBar::HandleKey(int key) {
  switch (key) {
    case Qt::Key_Escape:
      m_field->clear();
      m_list->setFocus(Qt::OtherFocusReason);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Down:
      m_list->setFocus(Qt::OtherFocusReason);
      return true;
    default:
      return false;
  }
}

}  // namespace velloria
