// The window of "Cerca in tutte le categorie": the documents found in every category
// folder of the shown type, with the category of each; Enter or a double-click on one
// hands it to OnChosen. The search runs on a worker thread: the window shows its
// progress, "Interrompi" stops it, and the program stays usable meanwhile. GUI thread only.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/document_search.h"

namespace velloria {

inline constexpr const char* kSearchTitle = "Cerca in tutte le categorie";

class SearchResults : public QDialog {
 public:
  // A window (object name "frmCerca") owned by `window`, shown beside it.
  explicit SearchResults(QWidget* window);

  // Shows the window and searches `folders` for `text`, dropping the earlier results.
  void Run(std::vector<SearchFolder> folders, const QString& text);
  QTreeWidget* Results() const { return m_results; }
  DocumentSearch& Search() { return m_search; }
  QString Status() const { return m_status->text(); }

  // A document chosen: its category folder and its path.
  std::function<void(const SearchFolder& folder, const std::string& path)> OnChosen;

 protected:
  // Closing the window stops its search.
  void done(int result) override;

 private:
  void AddHits(const std::vector<SearchHit>& hits);
  void ShowProgress(int done, int total);
  void Finish(bool stopped);
  void Choose(QTreeWidgetItem* item);

  QLabel* m_status;
  QTreeWidget* m_results;
  QProgressBar* m_progress;
  QPushButton* m_stop;
  DocumentSearch m_search;
  QString m_text;
};

}  // namespace velloria
