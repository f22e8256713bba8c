// The folder watcher: inotify on local folders, a fingerprint poll on network folders.
#include "platform/folder_watch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/namespace.h"

namespace velloria::shell {
namespace {

bool& TreatAllAsNetwork() {
  static bool on = false;
  return on;
}

constexpr std::uint32_t kNoticeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE |
                                      IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

// One inotify instance for the whole process, never closed: closing an inotify descriptor
// waits for the kernel's grace period (10 to 20 ms), which every change of shown folder
// would spend on the GUI thread. Watchers add and remove their watches on it instead; the
// kernel gives one watch to one folder, so watchers of the same folder share it.
class NoticeSource {
 public:
  static NoticeSource& Instance() {
    static NoticeSource* source = new NoticeSource;  // lives until the process ends
    return *source;
  }

  // The watch of `path` for `watcher`; -1 when the kernel refuses it.
  int Watch(const std::string& path, FolderWatcher* watcher) {
    if (m_inotify < 0) return -1;
    int watch = inotify_add_watch(m_inotify, path.c_str(), kNoticeMask);
    if (watch >= 0) m_watchers[watch].push_back(watcher);
    return watch;
  }

  void Unwatch(int watch, FolderWatcher* watcher) {
    auto found = m_watchers.find(watch);
    if (found == m_watchers.end()) return;
    std::erase(found->second, watcher);
    if (!found->second.empty()) return;
    m_watchers.erase(found);
    inotify_rm_watch(m_inotify, watch);
  }

 private:
  NoticeSource() : m_inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (m_inotify < 0) return;
    m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { ReadNotices(); });
  }

  // Notices about names the folders do not list (lock files, Windows' own files) are let
  // pass: opening a document in the word processor does not reload the list.
  void ReadNotices() {
    alignas(inotify_event) std::array<char, 16384> buffer;
    std::vector<int> relevant;
    bool overflowed = false;  // the kernel dropped notices: every watcher may have missed some
    ssize_t length;
    while ((length = read(m_inotify, buffer.data(), buffer.size())) > 0) {
      for (ssize_t at = 0; at < length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
        std::string_view name = event->len ? std::string_view(event->name) : std::string_view();
        if (event->mask & IN_Q_OVERFLOW) overflowed = true;
        if (name.empty() || !IsHiddenItemName(name)) relevant.push_back(event->wd);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    // A watcher told may end another (a list that reloads makes a new one): each is told
    // only while it is still there, and once.
    std::vector<QPointer<FolderWatcher>> told;
    for (const auto& [watch, watchers] : m_watchers) {
      if (!overflowed && std::find(relevant.begin(), relevant.end(), watch) == relevant.end()) continue;
      for (FolderWatcher* watcher : watchers) {
        if (std::find(told.begin(), told.end(), watcher) == told.end()) told.emplace_back(watcher);
      }
    }
    for (const QPointer<FolderWatcher>& watcher : told) {
      if (watcher) emit watcher->changed();
    }
  }

  int m_inotify;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::unordered_map<int, std::vector<FolderWatcher*>> m_watchers;
};

bool IsNetworkFolder(const std::string& path) {
  if (TreatAllAsNetwork()) return true;
  struct statfs info;
  if (statfs(path.c_str(), &info) != 0) return false;
  static constexpr std::array<unsigned long, 10> kNetworkTypes = {
      0x517B,      // SMB
      0xFF534D42,  // CIFS
      0xFE534D42,  // SMB2
      0x6969,      // NFS
      0x65735546,  // FUSE
      0x01021997,  // 9P
      0x00C36400,  // Ceph
      0x5346414F,  // AFS
      0x6B414653,  // kAFS
      0x73757245,  // Coda
  };
  auto type = static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFul;
  for (unsigned long network : kNetworkTypes) {
    if (type == network) return true;
  }
  return false;
}

void TreatFoldersAsNetworkForTesting(bool on) { TreatAllAsNetwork() = on; }

int& PollIntervalForTesting() {
  static int interval = 0;
  return interval;
}

void FolderWatcher::SetPollIntervalForTesting(int milliseconds) { PollIntervalForTesting() = milliseconds; }

std::optional<std::uint64_t> FolderFingerprint(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
  if (!dir) return std::nullopt;
  // The sum of the names' hashes does not depend on the order the server lists them in.
  std::uint64_t names = 0, count = 0;
  while (dirent* entry = readdir(dir.get())) {
    names += std::hash<std::string_view>{}(entry->d_name);
    ++count;
  }
  std::uint64_t modified = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                           static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
  return (modified * 0x9E3779B97F4A7C15u) ^ (names + count * 0xC2B2AE3D27D4EB4Fu);
}

FolderWatcher::FolderWatcher(const std::string& path, QObject* parent)
    : QObject(parent), m_path(path), m_polls(IsNetworkFolder(path)) {
  if (m_polls) {
    m_pollTimer.setInterval(PollIntervalForTesting() > 0 ? PollIntervalForTesting() : kPollIntervalMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &FolderWatcher::Poll);
    m_fingerprint = FolderFingerprint(m_path);
    return;
  }
  m_watch = NoticeSource::Instance().Watch(path, this);
}

FolderWatcher::~FolderWatcher() {
  if (m_watch >= 0) NoticeSource::Instance().Unwatch(m_watch, this);
}

void FolderWatcher::SetPolling(bool on) {
  if (!m_polls || on == m_pollTimer.isActive()) return;
  if (!on) {
    m_pollTimer.stop();
    return;
  }
  m_pollTimer.start();
  Poll();
}

void FolderWatcher::Poll() {
  std::optional<std::uint64_t> fingerprint = FolderFingerprint(m_path);
  if (fingerprint == m_fingerprint) return;
  m_fingerprint = fingerprint;
  emit changed();
}

}  // namespace velloria::shell
