// Duplicates made by several processes at once, as by several desks on one shared folder:
// one copy and a refusal for the others, never a mixed or half-written copy, and no copy
// under the target's name when the copier dies mid-way. Each case runs on both roads of
// the copy (an unnamed file, and a hidden temporary beside the target).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <vector>

#include "tests/platform/file_bytes.h"
#include "platform/fileops.h"

namespace velloria::fileops {
namespace {

using testing::Read;

// Bytes that differ from position to position, so that a copy mixed from two writers or
// cut short never equals the source.
QByteArray Patterned(int size, char salt) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096 + salt) & 0xff);
  return bytes;
}

class CopyRace : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    SetUnnamedFilesForTesting(GetParam());
    source = folder.filePath("Lettera.doc");
    target = folder.filePath("Copia di Lettera.doc");
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Patterned(4 << 20, 7));
  }
  void TearDown() override { SetUnnamedFilesForTesting(true); }

  // Starts a child that copies source to target once the pipe `gate` is closed by the
  // parent; its exit status is the copy's answer.
  pid_t startCopier(const int gate[2]) {
    pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char byte;
      while (read(gate[0], &byte, 1) > 0) {
      }
      _exit(CopyDocument(source.toStdString(), target.toStdString()));
    }
    return pid;
  }
  static int exitStatus(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  QStringList entries() const {
    return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }

  QTemporaryDir folder;
  QString source, target;
};

TEST_P(CopyRace, ProcessesDuplicatingAtOnceMakeOneWholeCopyAndRefuseTheOthers) {
  const QByteArray original = Read(source);
  for (int round = 0; round < 8; ++round) {
    QFile::remove(target);
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> copiers;
    for (int i = 0; i < 3; ++i) copiers.push_back(startCopier(gate));
    close(gate[0]);
    close(gate[1]);  // all start at once
    std::vector<int> answers;
    for (pid_t pid : copiers) answers.push_back(exitStatus(pid));
    std::sort(answers.begin(), answers.end());
    EXPECT_EQ(answers, (std::vector<int>{0, EEXIST, EEXIST})) << "round " << round;
    EXPECT_TRUE(Read(target) == original) << "round " << round;
    EXPECT_EQ(entries(), (QStringList{"Copia di Lettera.doc", "Lettera.doc"})) << "round " << round;
  }
}

TEST_P(CopyRace, ACopierKilledMidwayLeavesNoCopyUnderTheTargetName) {
  const QByteArray original = Read(source);
  int cutShort = 0;
  for (int round = 0; round < 12; ++round) {
    QFile::remove(target);
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t copier = startCopier(gate);
    close(gate[0]);
    close(gate[1]);
    usleep(static_cast<useconds_t>(round * 1500));
    kill(copier, SIGKILL);
    waitpid(copier, nullptr, 0);
    if (!QFile::exists(target)) {
      ++cutShort;
    } else {
      EXPECT_TRUE(Read(target) == original) << "a half-written copy after " << round * 1.5 << " ms";
    }
    QStringList visible = QDir(folder.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_TRUE(visible.size() == 1 || visible.size() == 2) << visible.join(", ").toStdString();
  }
  EXPECT_GT(cutShort, 0) << "no copy was cut short: the case was not tried";
}

INSTANTIATE_TEST_SUITE_P(Roads, CopyRace, ::testing::Values(true, false), [](const auto& info) {
  return info.param ? "UnnamedFile" : "HiddenTemporary";
});

}  // namespace
}  // namespace velloria::fileops
