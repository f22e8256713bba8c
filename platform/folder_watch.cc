// The folder watcher: inotify on local folders, a fingerprint poll on network folders.
#include "platform/folder_watch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <functional>
#include <string_view>

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
  m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_inotify < 0) return;
  if (inotify_add_watch(m_inotify, path.c_str(), kNoticeMask) < 0) return;
  m_notifier = std::make_unique<QSocketNotifier>(m_inotify, QSocketNotifier::Read);
  connect(m_notifier.get(), &QSocketNotifier::activated, this, &FolderWatcher::ReadNotices);
}

FolderWatcher::~FolderWatcher() {
  m_notifier.reset();
  if (m_inotify >= 0) close(m_inotify);
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

// Notices about names the folders do not list (lock files, Windows' own files) are let
// pass: opening a document in the word processor does not reload the list.
void FolderWatcher::ReadNotices() {
  alignas(inotify_event) std::array<char, 16384> buffer;
  bool relevant = false;
  ssize_t length;
  while ((length = read(m_inotify, buffer.data(), buffer.size())) > 0) {
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
      std::string_view name = event->len ? std::string_view(event->name) : std::string_view();
      if (name.empty() || !IsHiddenItemName(name)) relevant = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  if (relevant) emit changed();
}

void FolderWatcher::Poll() {
  std::optional<std::uint64_t> fingerprint = FolderFingerprint(m_path);
  if (fingerprint == m_fingerprint) return;
  m_fingerprint = fingerprint;
  emit changed();
}

}  // namespace velloria::shell
