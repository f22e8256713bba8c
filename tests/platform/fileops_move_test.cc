// Moves of a document into another folder, on one file system and across two (the
// temporary folder's disk and the tmpfs at /dev/shm): never over a file, only the file
// chosen, and never a lost document. A mover killed while it copies leaves the source
// whole and nothing visible at the target; a source written or opened during the copy
// stays, and its copy goes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "tests/platform/file_bytes.h"
#include "platform/fileops.h"

namespace velloria::fileops {
namespace {

using testing::Read;
using testing::Write;

QStringList Entries(const QString& folder, QDir::Filters hidden = QDir::Hidden) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot | hidden,
                                QDir::Name);
}

dev_t DeviceOf(const QString& path) {
  struct stat st {};
  stat(path.toLocal8Bit().constData(), &st);
  return st.st_dev;
}

std::string RealPath(const QString& path) {
  char resolved[PATH_MAX];
  return realpath(path.toLocal8Bit().constData(), resolved) ? resolved : "";
}

// The target folder on the temporary folder's own file system, or across on the tmpfs.
class Moves : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam() && (!across.isValid() || DeviceOf(across.path()) == DeviceOf(here.path()))) {
      GTEST_SKIP() << "/dev/shm is missing or on the temporary folder's file system: no "
                      "second file system to move across to";
    }
    target = GetParam() ? across.path() : beside.path();
  }
  std::string Here(const char* name) const { return here.filePath(name).toStdString(); }
  std::string There(const char* name) const { return QDir(target).filePath(name).toStdString(); }

  QTemporaryDir here, beside, across{"/dev/shm/velloria-move-XXXXXX"};
  QString target;
};

// The moved document keeps its bytes, permission bits and modification time; a taken
// name, another file under the chosen one's name, a document open in an office program
// and a folder are refused, nothing changing on either side.
TEST_P(Moves, KeepTheDocumentAndRefuseWhatWouldLoseOrReplaceAFile) {
  const QString source = here.filePath("Lettera.doc");
  Write(source, "lettera");
  ASSERT_EQ(chmod(source.toLocal8Bit().constData(), 0640), 0);
  const struct timespec times[2] = {{1700000000, 0}, {1700000000, 123456789}};
  ASSERT_EQ(utimensat(AT_FDCWD, source.toLocal8Bit().constData(), times, 0), 0);
  FileIdentity chosen;
  ASSERT_EQ(IdentityOf(Here("Lettera.doc"), chosen), 0);

  Write(QString::fromStdString(There("Lettera.doc")), "un'altra lettera");
  EXPECT_EQ(MoveDocument(Here("Lettera.doc"), There("Lettera.doc"), chosen), EEXIST);
  EXPECT_EQ(Read(QString::fromStdString(There("Lettera.doc"))), "un'altra lettera");

  ASSERT_EQ(rename(source.toLocal8Bit().constData(), Here("Lettera Mario.doc").c_str()), 0);
  Write(source, "lettera");  // another file, the same bytes, under the chosen name
  EXPECT_EQ(MoveDocument(Here("Lettera.doc"), There("Spostata.doc"), chosen), ESTALE);
  ASSERT_EQ(rename(Here("Lettera Mario.doc").c_str(), source.toLocal8Bit().constData()), 0);

  Write(here.filePath(".~lock.Lettera.doc#"),
        "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///x;");
  EXPECT_EQ(MoveDocument(Here("Lettera.doc"), There("Spostata.doc"), chosen), EBUSY);
  ASSERT_TRUE(QFile::remove(here.filePath(".~lock.Lettera.doc#")));

  ASSERT_TRUE(QDir(here.path()).mkdir("Archivio"));
  FileIdentity folder;
  ASSERT_EQ(IdentityOf(Here("Archivio"), folder), 0);
  EXPECT_EQ(MoveDocument(Here("Archivio"), There("Archivio"), folder), EISDIR);
  EXPECT_EQ(Entries(target), QStringList{"Lettera.doc"});

  ASSERT_EQ(MoveDocument(Here("Lettera.doc"), There("Spostata.doc"), chosen), 0);
  EXPECT_EQ(Entries(here.path()), QStringList{"Archivio"});
  EXPECT_EQ(Read(QString::fromStdString(There("Spostata.doc"))), "lettera");
  struct stat moved {};
  ASSERT_EQ(stat(There("Spostata.doc").c_str(), &moved), 0);
  EXPECT_EQ(moved.st_mode & 0777, 0640u);
  EXPECT_EQ(moved.st_mtim.tv_sec, 1700000000);
  EXPECT_EQ(moved.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(Entries(target), (QStringList{"Lettera.doc", "Spostata.doc"}));
}

INSTANTIATE_TEST_SUITE_P(FileSystems, Moves, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Across" : "Within"; });

constexpr int kChunk = 1 << 20;
constexpr int kChunks = 200;  // 200 MB: a copy long enough to be caught midway

// Chunk `index` of the large document: bytes that differ from chunk to chunk, so that a
// copy cut short or mixed never equals it.
QByteArray Chunk(int index) {
  QByteArray bytes(kChunk, '\0');
  for (int i = 0; i < kChunk; ++i)
    bytes[i] = static_cast<char>((i * 131 + index * 7 + i / 4096) & 0xff);
  return bytes;
}

// A large document moved across file systems by a child process, on both roads of its
// copy (an unnamed file, and a hidden temporary beside the target).
class MoveAcross : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!across.isValid() || DeviceOf(across.path()) == DeviceOf(here.path())) {
      GTEST_SKIP() << "/dev/shm is missing or on the temporary folder's file system: no "
                      "second file system to move across to";
    }
    SetUnnamedFilesForTesting(GetParam());
    source = here.filePath("Archivio 2026.doc").toStdString();
    target = across.filePath("Archivio 2026.doc").toStdString();
    QFile file(QString::fromStdString(source));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int index = 0; index < kChunks; ++index) ASSERT_EQ(file.write(Chunk(index)), kChunk);
  }
  void TearDown() override { SetUnnamedFilesForTesting(true); }

  // A child that moves the source to the target; its exit status is the move's answer.
  pid_t StartMover() const {
    pid_t pid = fork();
    if (pid == 0) {
      FileIdentity chosen;
      int error = IdentityOf(source, chosen);
      _exit(error ? error : MoveDocument(source, target, chosen));
    }
    return pid;
  }

  // True while the child `pid` has an unfinished copy open in the target folder holding a
  // quarter of the document or more.
  bool CopyUnderway(pid_t pid) const {
    const std::string folder = RealPath(across.path()) + "/";
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
      const std::string entry = (fds + "/" + fd).toStdString();
      char link[PATH_MAX];
      ssize_t size = readlink(entry.c_str(), link, sizeof link);
      if (size <= 0 || std::string(link, size).rfind(folder, 0) != 0) continue;
      if (std::string(link, size) == target) continue;
      struct stat copy {};
      if (stat(entry.c_str(), &copy) != 0) continue;
      if (copy.st_size >= off_t{kChunk} * kChunks / 4 && copy.st_size < off_t{kChunk} * kChunks)
        return true;
    }
    return false;
  }

  // Stops the child `pid` (SIGSTOP) in the middle of its copy, so that what the test does
  // next happens while it copies however the machine is loaded; false when the copy ends
  // first.
  bool StopWhileCopying(pid_t pid) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (CopyUnderway(pid)) {
        kill(pid, SIGSTOP);
        waitpid(pid, nullptr, WUNTRACED);
        if (CopyUnderway(pid)) return true;
        kill(pid, SIGCONT);
      }
      if (waitpid(pid, nullptr, WNOHANG) == pid) return false;
      usleep(200);
    }
    return false;
  }

  static int ExitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // True when the source holds the large document's bytes, then `tail`.
  bool SourceWhole(const QByteArray& tail = {}) const {
    QFile file(QString::fromStdString(source));
    if (!file.open(QIODevice::ReadOnly) || file.size() != qint64{kChunk} * kChunks + tail.size())
      return false;
    for (int index = 0; index < kChunks; ++index) {
      if (file.read(kChunk) != Chunk(index)) return false;
    }
    return file.readAll() == tail;
  }

  QTemporaryDir here, across{"/dev/shm/velloria-move-XXXXXX"};
  std::string source, target;
};

// Killed while its copy is written, the mover leaves the source whole and byte-equal and
// no document in the target folder: at most a hidden temporary where there are no
// unnamed files.
TEST_P(MoveAcross, AMoverKilledWhileCopyingLeavesTheSourceWholeAndNothingVisible) {
  pid_t mover = StartMover();
  ASSERT_TRUE(StopWhileCopying(mover)) << "the copy ended before it could be cut short";
  kill(mover, SIGKILL);
  waitpid(mover, nullptr, 0);
  EXPECT_TRUE(SourceWhole());
  EXPECT_EQ(Entries(across.path(), QDir::Filters()), QStringList());
  for (const QString& left : Entries(across.path()))
    EXPECT_TRUE(left.startsWith(".~copia.")) << left.toStdString();
  if (GetParam()) {
    EXPECT_EQ(Entries(across.path()), QStringList());
  }
}

// The document written during the copy (ESTALE), or opened in an office program (EBUSY):
// the copy goes again and the source stays with what was written.
TEST_P(MoveAcross, ASourceWrittenOrOpenedDuringTheCopyStaysAndItsCopyGoes) {
  pid_t mover = StartMover();
  ASSERT_TRUE(StopWhileCopying(mover)) << "the copy ended before the source could change";
  const QByteArray line = "una riga aggiunta da un collega";
  {
    QFile file(QString::fromStdString(source));
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write(line);
  }
  kill(mover, SIGCONT);
  EXPECT_EQ(ExitStatus(mover), ESTALE);
  EXPECT_TRUE(SourceWhole(line));
  EXPECT_EQ(Entries(across.path()), QStringList());

  mover = StartMover();
  ASSERT_TRUE(StopWhileCopying(mover)) << "the copy ended before the source was opened";
  Write(here.filePath(".~lock.Archivio 2026.doc#"),
        "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///x;");
  kill(mover, SIGCONT);
  EXPECT_EQ(ExitStatus(mover), EBUSY);
  EXPECT_TRUE(SourceWhole(line));
  EXPECT_EQ(Entries(across.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(Roads, MoveAcross, ::testing::Values(true, false), [](const auto& info) {
  return info.param ? "UnnamedFile" : "HiddenTemporary";
});

}  // namespace
}  // namespace velloria::fileops
