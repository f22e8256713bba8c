// The folder watcher: the fingerprint that the network poll compares, and the kernel's
// notices on a local folder, which leave out names the folders do not list.
#include "platform/folder_watch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace velloria::shell {
namespace {

void Touch(const QString& path, const QByteArray& bytes = "x") {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

TEST(FolderFingerprint, ChangesWithTheEntriesNotWithTheirContents) {
  QTemporaryDir dir;
  std::string path = dir.path().toStdString();
  Touch(dir.filePath("Lettera.doc"));
  std::optional<std::uint64_t> before = FolderFingerprint(path);
  ASSERT_TRUE(before);
  EXPECT_EQ(FolderFingerprint(path), before);
  Touch(dir.filePath("Lettera.doc"), "scritta di nuovo");
  EXPECT_EQ(FolderFingerprint(path), before);
  std::optional<std::uint64_t> fingerprint = before;
  auto changed = [&] {
    std::optional<std::uint64_t> now = FolderFingerprint(path);
    return std::exchange(fingerprint, now) != now;
  };
  Touch(dir.filePath("Copia di Lettera.doc"));
  EXPECT_TRUE(changed());
  ASSERT_TRUE(QFile::rename(dir.filePath("Lettera.doc"), dir.filePath("Circolare.doc")));
  EXPECT_TRUE(changed());
  ASSERT_TRUE(QFile::remove(dir.filePath("Circolare.doc")));
  EXPECT_TRUE(changed());
  EXPECT_FALSE(FolderFingerprint(path + "/manca"));
}

TEST(FolderWatcher, LocalFolderReportsListedNamesOnly) {
  QTemporaryDir dir;
  FolderWatcher watcher(dir.path().toStdString());
  EXPECT_FALSE(watcher.Polls());
  QSignalSpy changed(&watcher, &FolderWatcher::changed);
  Touch(dir.filePath(".~lock.Lettera.doc#"));
  Touch(dir.filePath("~WRL0001.tmp"));
  EXPECT_FALSE(changed.wait(300));
  Touch(dir.filePath("Lettera.doc"));
  EXPECT_TRUE(changed.wait(2000));
}

// The inotify descriptors this process holds.
int InotifyDescriptors() {
  int count = 0;
  for (const QFileInfo& entry : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files)) {
    if (entry.symLinkTarget().contains("inotify")) ++count;
  }
  return count;
}

// Watchers share one kernel descriptor, never closed (a close waits for the kernel's grace
// period on the GUI thread); two watchers of one folder share its watch, and the one left
// still hears of changes when the other goes.
TEST(FolderWatcher, WatchersShareOneDescriptorAndAFolderWatchedTwiceStaysWatched) {
  QTemporaryDir first, second;
  int before = InotifyDescriptors();
  auto a = std::make_unique<FolderWatcher>(first.path().toStdString());
  auto b = std::make_unique<FolderWatcher>(second.path().toStdString());
  FolderWatcher c(first.path().toStdString());
  EXPECT_EQ(InotifyDescriptors(), std::max(before, 1));

  QSignalSpy heardByB(b.get(), &FolderWatcher::changed), heardByC(&c, &FolderWatcher::changed);
  a.reset();
  Touch(first.filePath("Lettera.doc"));
  EXPECT_TRUE(heardByC.wait(2000));
  EXPECT_EQ(heardByB.count(), 0);
  b.reset();
  Touch(first.filePath("Circolare.doc"));
  EXPECT_TRUE(heardByC.wait(2000));
  EXPECT_EQ(InotifyDescriptors(), std::max(before, 1));
}

// When the kernel's queue of notices overflows, notices for any folder may be lost: every
// watcher hears of a change, also one whose own notice came after the overflow.
TEST(FolderWatcher, AnOverflowedQueueTellsEveryWatcher) {
  QFile limit("/proc/sys/fs/inotify/max_queued_events");
  ASSERT_TRUE(limit.open(QIODevice::ReadOnly));
  int queued = limit.readAll().trimmed().toInt();
  if (queued <= 0 || queued > 100000) GTEST_SKIP() << "queue of " << queued << " notices";
  QTemporaryDir busy, quiet;
  FolderWatcher busyWatcher(busy.path().toStdString()), quietWatcher(quiet.path().toStdString());
  QSignalSpy heard(&quietWatcher, &FolderWatcher::changed);
  for (int i = 0; i <= queued; ++i) {
    int fd = ::open(QFile::encodeName(busy.filePath(QString::number(i))).constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
  }
  Touch(quiet.filePath("Lettera.doc"));
  EXPECT_TRUE(heard.wait(5000));
}

}  // namespace
}  // namespace velloria::shell
