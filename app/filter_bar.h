// The filter field above the document list, as in a file manager's filter bar: typing
// narrows the list at once to the documents whose name contains the text (letter case
// and accents ignored), Escape clears it and gives the list the focus, Enter and Down
// give the list the focus keeping the filter. The list drops the filter when it shows
// another folder, and the field is emptied then. Beside the field, "Cerca in tutte le
// categorie" (the window wires it) searches every category. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QRect>
#include <QToolButton>

#include "shellview/shell_list_view.h"

namespace velloria {

inline constexpr const char* kFilterPlaceholder = "Filtra documenti (Ctrl+F)";

class FilterBar : public QObject {
 public:
  // Creates the field (object name "EdFiltro") as a child of `window`; `list` is the
  // window's and outlives this object. The field is reached with Ctrl+F or the mouse,
  // outside the Tab order of the window's other controls.
  FilterBar(QWidget* window, TCustomShellListView* list);

  QLineEdit* Field() const { return m_field; }
  // The "Cerca in tutte le categorie" button (object name "BCerca"), out of the Tab order
  // as the keyboard has Ctrl+Shift+F.
  QToolButton* SearchButton() const { return m_searchButton; }
  // Gives the field the focus with its text selected, so that typing replaces it.
  void Focus();
  // Places the field along the top of `area` (window coordinates), the search button at
  // its right end; returns the room left below them.
  QRect Place(const QRect& area);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool HandleKey(int key);

  QLineEdit* m_field;
  QToolButton* m_searchButton;
  TCustomShellListView* m_list;
};

}  // namespace velloria
