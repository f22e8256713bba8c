// The filter field above the document list, as in a file manager's filter bar: typing
// narrows the list at once to the documents whose name contains the text (letter case
// and accents ignored), Escape clears it and gives the list the focus, Enter and Down
// give the list the focus keeping the filter. The list drops the filter when it shows
// another folder, and the field is emptied then. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QObject>
#include <QRect>

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
  // Gives the field the focus with its text selected, so that typing replaces it.
  void Focus();
  // Places the field along the top of `area` (window coordinates), as wide as the area;
  // returns the room left below it.
  QRect Place(const QRect& area);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool HandleKey(int key);

  QLineEdit* m_field;
  TCustomShellListView* m_list;
};

}  // namespace velloria
