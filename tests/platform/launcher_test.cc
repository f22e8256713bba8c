// Tests of the word processor's resolution and start: a WinWord program on PATH wins and
// receives the document as one argument, else the desktop default for Word documents,
// else nothing when neither exists. The environment is set per test and restored.
#include "platform/launcher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace velloria::launcher {
namespace {

// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
 public:
  void set(const char* name, const QString& value) {
    if (!m_saved.contains(name)) m_saved.insert(name, qgetenv(name));
    qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnvironment() {
    for (auto it = m_saved.begin(); it != m_saved.end(); ++it) qputenv(it.key().toLatin1(), it.value());
  }

 private:
  QHash<QString, QByteArray> m_saved;
};

class Launcher : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir(m_dir.path()).mkpath("bin");
    QDir(m_dir.path()).mkpath("config");
    QDir(m_dir.path()).mkpath("data/applications");
    m_env.set("PATH", m_dir.path() + "/bin");
    m_env.set("XDG_CONFIG_HOME", m_dir.path() + "/config");
    m_env.set("XDG_CONFIG_DIRS", m_dir.path() + "/none");
    m_env.set("XDG_DATA_HOME", m_dir.path() + "/data");
    m_env.set("XDG_DATA_DIRS", m_dir.path() + "/none");
  }
  void write(const QString& relative, const QByteArray& text, bool executable = false) {
    QFile file(m_dir.path() + "/" + relative);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    if (executable) file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
  }
  // A WinWord stand-in that writes each argument on a line of its own.
  void installRecorder(const QString& name) {
    write("bin/" + name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args\"\n", true);
  }
  QTemporaryDir m_dir;
  ScopedEnvironment m_env;
};

TEST_F(Launcher, WinWordOnPathGetsTheDocumentAsOneArgumentEvenWithShellCharacters) {
  installRecorder("WinWord");
  write("data/applications/mimeapps.list", "[Default Applications]\napplication/msword=other.desktop\n");
  QString document = m_dir.path() + "/Lettera \"a\"; $(touch pwned) & co.doc";
  ASSERT_TRUE(StartWordProcessor(document.toStdString()));
  QString recorded = m_dir.path() + "/bin/WinWord.args";
  QElapsedTimer clock;
  clock.start();
  while (!QFile::exists(recorded) && clock.elapsed() < 5000) QThread::msleep(20);
  QThread::msleep(50);
  QFile file(recorded);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(file.readAll()), document + "\n");
  EXPECT_FALSE(QFile::exists(QDir::currentPath() + "/pwned"));
}

TEST_F(Launcher, LowerCaseWinwordIsFoundToo) {
  installRecorder("winword");
  auto command = ResolveWordProcessor("/x/a.doc");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->program, m_dir.path() + "/bin/winword");
  EXPECT_EQ(command->arguments, QStringList{"/x/a.doc"});
}

TEST_F(Launcher, DesktopDefaultForWordReplacesTheFileCodeAndDropsOthers) {
  write("config/mimeapps.list",
        "[Added Associations]\napplication/msword=wrong.desktop\n"
        "[Default Applications]\ntext/plain=wrong.desktop\napplication/msword=missing.desktop;writer.desktop;\n");
  write("data/applications/writer.desktop",
        "[Desktop Entry]\nName=Writer\nExec=\"/opt/office/my writer\" --writer %U %i\nIcon=w\n");
  auto command = ResolveWordProcessor("/docs/a b.doc");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->program, "/opt/office/my writer");
  EXPECT_EQ(command->arguments, (QStringList{"--writer", "/docs/a b.doc"}));

  write("data/applications/writer.desktop", "[Desktop Entry]\nExec=writer 100%%\n");
  command = DesktopDefaultForWord("/d.doc");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->arguments, (QStringList{"100%", "/d.doc"}));
}

TEST_F(Launcher, NothingToStartIsReportedAsNotStarted) {
  EXPECT_FALSE(ResolveWordProcessor("/x/a.doc"));
  EXPECT_FALSE(StartWordProcessor("/x/a.doc"));
}

}  // namespace
}  // namespace velloria::launcher
