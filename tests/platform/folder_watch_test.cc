// The folder watcher: the fingerprint that the network poll compares, and the kernel's
// notices on a local folder, which leave out names the folders do not list.
#include "platform/folder_watch.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
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

}  // namespace
}  // namespace velloria::shell
