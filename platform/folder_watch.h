// Change notices for one folder: the kernel's notices (inotify) on local file systems; on
// network file systems, whose kernel notices miss what other machines change, a cheap
// check of the folder a few seconds apart while polling is switched on. GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velloria::shell {

// True when `path` lies on a network file system (SMB/CIFS, NFS, FUSE, 9P, Ceph, AFS,
// Coda), judged by the file system's type.
bool IsNetworkFolder(const std::string& path);
// Test hook: with `on`, every folder counts as one on a network file system.
void TreatFoldersAsNetworkForTesting(bool on);

// A summary of a folder's entries that changes when an entry is added, removed or
// renamed: the folder's modification time with the number and a hash of the entry
// names. One stat and one directory read, no call per entry. Nothing when unreadable.
std::optional<std::uint64_t> FolderFingerprint(const std::string& path);

class FolderWatcher : public QObject {
  Q_OBJECT

 public:
  static constexpr int kPollIntervalMs = 3000;

  // Watches `path` (not its sub-folders) from now on.
  explicit FolderWatcher(const std::string& path, QObject* parent = nullptr);
  ~FolderWatcher() override;

  bool Polls() const { return m_polls; }
  // Network folders only: checks the folder every kPollIntervalMs while `on` (the window
  // is active), and once at once when switched on. Local folders ignore it.
  void SetPolling(bool on);
  // Test hook: the interval of the watchers made from now on (0: kPollIntervalMs).
  static void SetPollIntervalForTesting(int milliseconds);

 signals:
  // Something in the folder changed (a listed entry added, removed, renamed or written).
  void changed();

 private:
  void Poll();

  std::string m_path;
  bool m_polls = false;
  int m_watch = -1;  // the kernel's watch of a local folder
  QTimer m_pollTimer;
  std::optional<std::uint64_t> m_fingerprint;
};

}  // namespace velloria::shell
