// The search of every category folder for the documents whose name contains a text, as
// the list's filter matches names (letter case and accents ignored). Each category
// folder and each of its sub-folders is listed once, on a worker thread; the hits and
// the progress reach the GUI thread by queued calls.
#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velloria {

class TDataSet;

// A category folder to search.
struct SearchFolder {
  QString category;    // the category's description
  std::int32_t recNo;  // its record in the category table
  std::string path;    // its folder
};

// The folders of the categories `table` shows (those of the shown type, as the grid lists
// them) that name a folder inside `stampeFolder`, each folder once, in the table's order.
// The table's position is kept. Nothing is read from the disk here: the search resolves
// a folder's letter case only when it is missing as spelled.
std::vector<SearchFolder> CategoryFoldersToSearch(TDataSet& table, const std::string& stampeFolder);

// A document found.
struct SearchHit {
  int folder;        // the index of its category's SearchFolder
  std::string path;  // the document's path
  QString name;      // its name as the list shows it
};

// Lists `root` and its sub-folders, each once, and calls `found(path, name)` for every
// document (not folder) whose name as shown matches the key `key` (NameMatchKey),
// leaving out the items the list leaves out. Stops before the next folder once `stop` is
// set. Returns the number of folders listed; a folder that cannot be read is skipped.
using FoundDocument = std::function<void(const std::string& path, const QString& name)>;
int SearchFolderTree(const std::string& root, const QString& key, const std::atomic<bool>& stop,
                     const FoundDocument& found);

// Runs one search at a time on a worker thread. Owned by a GUI-thread object.
class DocumentSearch : public QObject {
  Q_OBJECT

 public:
  explicit DocumentSearch(QObject* parent = nullptr);
  // Stops a running search and waits for its thread.
  ~DocumentSearch() override;

  // Searches `folders` for `text`; a search still running is stopped first.
  void Start(std::vector<SearchFolder> folders, const QString& text);
  // Asks the running search to stop; finished(true) follows.
  void Stop();
  bool Running() const { return m_thread != nullptr && !m_finished; }
  const std::vector<SearchFolder>& Folders() const { return m_folders; }

 signals:
  // The hits of one category folder (with its sub-folders), in the folder's listing order.
  void found(const std::vector<velloria::SearchHit>& hits);
  // `done` of `total` category folders searched.
  void progress(int done, int total);
  void finished(bool stopped);

 private:
  void Join();

  std::vector<SearchFolder> m_folders;
  std::unique_ptr<QThread> m_thread;
  std::shared_ptr<std::atomic<bool>> m_stop;
  int m_run = 0;  // which Start the queued reports belong to
  bool m_finished = true;
};

}  // namespace velloria
