// The search of the category folders on a worker thread.
#include "app/document_search.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <unordered_set>

#include "app/catalogue.h"
#include "base/paths.h"
#include "dataset/dataset.h"
#include "dataset/field.h"
#include "platform/file_name_text.h"
#include "platform/namespace.h"
#include "shellview/name_match.h"

namespace velloria {
namespace {

// True when the entry `entry` of the folder open as `dirFd` is a folder; the type from
// the listing when the file system gives it, else one stat of the entry.
bool IsFolderEntry(int dirFd, const dirent& entry) {
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return entry.d_type == DT_DIR;
  struct stat status {};
  return fstatat(dirFd, entry.d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

std::vector<SearchFolder> CategoryFoldersToSearch(TDataSet& table,
                                                  const std::string& stampeFolder) {
  std::vector<SearchFolder> folders;
  if (!table.Active()) return folders;
  std::unordered_set<std::string> seen;
  TBookmark position = table.GetBookmark();
  table.DisableControls();
  try {
    for (table.First(); !table.Eof(); table.Next()) {
      std::string dir = CategoryDir(table.FieldByName("DIR").AsString());
      if (dir.empty() || !StaysInsideStampeFolder(dir)) continue;
      std::string path = stampeFolder + paths::kSeparator + dir;
      if (!seen.insert(path).second) continue;
      QString name = QString::fromStdString(table.FieldByName("DESCRIZIO").AsString()).trimmed();
      folders.push_back(SearchFolder{name, table.RecNo(), path});
    }
    table.GotoBookmark(position);
  } catch (...) {
    table.EnableControls();
    throw;
  }
  table.EnableControls();
  return folders;
}

int SearchFolderTree(const std::string& root, const QString& key, const std::atomic<bool>& stop,
                     const FoundDocument& found) {
  std::vector<std::string> pending{root};
  int listed = 0;
  while (!pending.empty() && !stop.load(std::memory_order_relaxed)) {
    std::string folder = std::move(pending.back());
    pending.pop_back();
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) continue;
    ++listed;
    std::vector<std::string> subFolders;
    while (const dirent* entry = readdir(dir)) {
      std::string_view name(entry->d_name);
      if (name == "." || name == ".." || shell::IsHiddenItemName(name)) continue;
      std::string path = folder + '/' + entry->d_name;
      if (IsFolderEntry(dirfd(dir), *entry)) {
        subFolders.push_back(std::move(path));
        continue;
      }
      QString shown = shell::DecodeFileName(name);
      if (NameMatches(shown, key)) found(path, shown);
    }
    closedir(dir);
    // Sub-folders are searched in their listing order.
    pending.insert(pending.end(), std::make_move_iterator(subFolders.rbegin()),
                   std::make_move_iterator(subFolders.rend()));
  }
  return listed;
}

DocumentSearch::DocumentSearch(QObject* parent) : QObject(parent) {}

DocumentSearch::~DocumentSearch() {
  if (m_stop) m_stop->store(true);
  Join();
}

void DocumentSearch::Join() {
  if (m_thread) m_thread->wait();
  m_thread.reset();
}

void DocumentSearch::Start(std::vector<SearchFolder> folders, const QString& text) {
  if (m_stop) m_stop->store(true);
  Join();
  m_folders = std::move(folders);
  m_stop = std::make_shared<std::atomic<bool>>(false);
  m_finished = false;
  int run = ++m_run;
  std::vector<SearchFolder> work = m_folders;
  QString key = NameMatchKey(text);
  std::shared_ptr<std::atomic<bool>> stop = m_stop;
  // Reports come back as queued calls on this object; those of an earlier run are dropped.
  auto report = [this, run](auto action) {
    QMetaObject::invokeMethod(
        this,
        [this, run, action] {
          if (run == m_run) action();
        },
        Qt::QueuedConnection);
  };
  m_thread.reset(QThread::create([work, key, stop, report, this] {
    int total = static_cast<int>(work.size());
    for (int index = 0; index < total && !stop->load(); ++index) {
      std::vector<SearchHit> hits;
      auto keep = [&](const std::string& path, const QString& name) {
        hits.push_back(SearchHit{index, path, name});
      };
      // A folder missing as spelled may differ in letter case, as written on Windows.
      if (SearchFolderTree(work[index].path, key, *stop, keep) == 0 && !stop->load()) {
        std::string resolved = paths::ResolveCaseInsensitive(work[index].path);
        if (resolved != work[index].path) SearchFolderTree(resolved, key, *stop, keep);
      }
      report([this, hits = std::move(hits), index, total] {
        if (!hits.empty()) emit found(hits);
        emit progress(index + 1, total);
      });
    }
    report([this, stop] {
      m_finished = true;
      emit finished(stop->load());
    });
  }));
  m_thread->start();
}

void DocumentSearch::Stop() {
  if (m_stop) m_stop->store(true);
}

}  // namespace velloria
