// Which category the document list shows, kept in one place: the line below the list
// with the category's name and folder (or why it cannot be shown), the list's accessible
// name, and the grid row drawn as the shown one. A category that cannot be shown leaves
// the list empty, never showing another category's documents. While a folder is shown,
// the line ends with the number of documents in the list. GUI thread only.
#pragma once

#include <QLabel>
#include <QMetaObject>
#include <QRect>
#include <QString>
#include <QToolButton>
#include <cstdint>
#include <string>

#include "dataset/dataset.h"
#include "shellview/shell_list_view.h"
#include "ui/dbgrid.h"

namespace velloria {

inline constexpr const char* kMissingCategoryFolderMessage =
    "La cartella della categoria non esiste più o non è accessibile:\n";

// A one-line label that shortens its text in the middle to its width; the whole text
// stays its tooltip and its accessible name.
class ElidedLabel : public QLabel {
 public:
  explicit ElidedLabel(QWidget* parent) : QLabel(parent) {}
  void setFullText(const QString& text);
  QString fullText() const { return m_fullText; }

 // Shortens the text again to the label's present width (also while hidden, when no
  // resize event comes).
  void elide();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString m_fullText;
};

class ShownCategory {
 public:
  // Creates the category line (object name "LblCategoria") and, at its right end, the
  // "Su" button (object name "BSu") that shows the parent of a sub-folder entered, as
  // children of `window`. `list` and `grid` are the window's and outlive this object.
  ShownCategory(QWidget* window, TCustomShellListView* list, TDBGrid* grid);
  ~ShownCategory();
  ShownCategory(const ShownCategory&) = delete;
  ShownCategory& operator=(const ShownCategory&) = delete;

  // The Visualizza action on `table`'s current record. When the category cannot be
  // shown (blank or unusable DIR, VISUALIZZA false, folder gone) the list is emptied and
  // the reason is shown in a box and on the category line. Other failures empty the list
  // and propagate.
  void ShowCurrent(TDataSet& table, const std::string& stampeFolder);
  // After the catalogue load: the current record is the category the load showed, or
  // tried to show when the list has no folder; nothing is shown with an empty table.
  void AdoptCatalogueChoice(TDataSet& table);

  // True when `table`'s active record is the shown category (for the grid's marker).
  bool IsShownRecord(const TDataSet& table) const;
  // The category line's full text.
  QString Text() const { return m_label->fullText(); }
  QLabel* Label() const { return m_label; }
  QToolButton* UpButton() const { return m_upButton; }

  // Places the list in `area` (window coordinates) and the category line along its
  // bottom, both as wide as the area, the "Su" button at the line's right end.
  void Place(const QRect& area);

 private:
  enum class Outcome { kShown, kInvalidFolder, kMissingFolder, kFailed };
  void Present(std::int32_t recNo, const QString& name, Outcome outcome, const QString& folder);
  void ShowNothing();
  void FollowShownFolder();
  void SetLine(const QString& status, bool counted);
  void ShowLine();
  QString CountText() const;

  ElidedLabel* m_label;
  QToolButton* m_upButton;
  TCustomShellListView* m_list;
  TDBGrid* m_grid;
  QMetaObject::Connection m_folderShown;
  QMetaObject::Connection m_rowsChanged;
  std::int32_t m_recNo = 0;  // the shown category's record, 0 for none
  bool m_shown = false;      // the list shows the category's folder or one below it
  QString m_name;            // the shown category's description
  QString m_folder;          // its folder, as the category line names it
  QString m_status;          // what the line says after the category's name
  bool m_counted = false;    // the line ends with the number of documents
};

}  // namespace velloria
