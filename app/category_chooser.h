// The chooser of "Copia in…" and "Sposta in…": a modal dialog listing the categories of
// the shown type in the grid's order, narrowed as the user types in the filter field at
// its top (letter case and accents ignored, as the list's filter matches). The category
// whose folder holds the document is left out of a move, which would change nothing, and
// marked for a copy. Keyboard first: the field has the focus, Up and Down move in the
// list from it, Enter or a double click chooses, Escape cancels. GUI thread only.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <optional>
#include <string>
#include <vector>

#include "app/category_transfer.h"
#include "app/document_search.h"

namespace velloria {

inline constexpr const char* kCopyToTitle = "Copia in";
inline constexpr const char* kMoveToTitle = "Sposta in";
// After a category's name when its folder holds the document.
inline constexpr const char* kDocumentFolderMark = " (cartella del documento)";

class CategoryChooser : public QDialog {
 public:
  // A chooser (object name "frmCategoria") over `window` for transferring the document
  // at `document` as `kind`, offering `categories` (CategoryFoldersToSearch) in their
  // order; the first is current.
  CategoryChooser(QWidget* window, TransferKind kind, const std::vector<SearchFolder>& categories,
                  const std::string& document);

  // The folder of the category chosen, its letter case resolved; none before a choice
  // or after a cancel.
  std::optional<std::string> ChosenFolder() const { return m_chosen; }
  QLineEdit* Filter() const { return m_filter; }
  QListWidget* Categories() const { return m_list; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddCategories(const std::vector<SearchFolder>& categories, TransferKind kind,
                     const std::string& document);
  void ApplyFilter(const QString& text);
  void ChooseCurrent();

  QLineEdit* m_filter;
  QListWidget* m_list;
  QPushButton* m_ok;
  std::optional<std::string> m_chosen;
};

// Shows a CategoryChooser over `window` and returns the folder chosen, or none.
std::optional<std::string> ChooseCategoryFolder(QWidget* window, TransferKind kind,
                                                const std::vector<SearchFolder>& categories,
                                                const std::string& document);

}  // namespace velloria
