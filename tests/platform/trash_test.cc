// The Trash on real folders: what a document leaves there is read back by trash-cli, an
// independent reader, which lists its original path and restores it. The volume cases run
// on a file system of their own (VELLORIA_TEST_VOLUME, a tmpfs that trash_volume.sh mounts
// in a private mount namespace) and are skipped, saying why, without one.
#include "platform/trash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "tests/platform/file_bytes.h"

namespace velloria::trash {
namespace {

using testing::Read;
using testing::Write;

QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                QDir::NoDotAndDotDot);
}

// Runs a trash-cli command with `input` on its standard input; its standard output.
QString RunTrashCli(const QString& program, const QStringList& arguments,
                    const QByteArray& input = {}) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(10000)) return "<" + program + " did not start>";
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(30000);
  return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
}

bool TrashCliPresent() { return !QStandardPaths::findExecutable("trash-list").isEmpty(); }

// Points the home Trash at a fresh folder for the test's time.
class HomeTrash : public ::testing::Test {
 protected:
  void SetUp() override {
    m_oldDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", m_data.path().toLocal8Bit());
  }
  void TearDown() override { qputenv("XDG_DATA_HOME", m_oldDataHome); }
  QString trash() const { return m_data.filePath("Trash"); }

  QTemporaryDir m_data, m_documents;
  QByteArray m_oldDataHome;
};

TEST_F(HomeTrash, TakesTheDocumentWithItsInfoAndTrashCliListsAndRestoresIt) {
  if (!TrashCliPresent()) GTEST_SKIP() << "trash-cli is not installed";
  const QString document = m_documents.filePath("Lettera al 50% è.doc");
  Write(document, "lettera");
  TrashResult result = MoveToTrash(document.toStdString());
  ASSERT_EQ(result.error, 0);
  EXPECT_FALSE(QFileInfo::exists(document));
  EXPECT_EQ(Read(trash() + "/files/Lettera al 50% è.doc"), "lettera");
  EXPECT_EQ(QString::fromStdString(result.entry.trashFolder), trash());
  QString info = QString::fromUtf8(Read(trash() + "/info/Lettera al 50% è.doc.trashinfo"));
  QString encoded = QString::fromStdString(EncodeTrashPath(document.toStdString()));
  EXPECT_TRUE(encoded.endsWith("/Lettera%20al%2050%25%20%C3%A8.doc")) << encoded.toStdString();
  EXPECT_TRUE(QRegularExpression("^\\[Trash Info\\]\nPath=" + QRegularExpression::escape(encoded) +
                                 "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$")
                  .match(info)
                  .hasMatch())
      << info.toStdString();

  EXPECT_TRUE(RunTrashCli("trash-list", {}).contains(document))
      << RunTrashCli("trash-list", {}).toStdString();
  RunTrashCli("trash-restore", {m_documents.path()}, "0\n");
  EXPECT_EQ(Read(document), "lettera");
  EXPECT_EQ(Entries(trash() + "/files"), QStringList());
  EXPECT_EQ(Entries(trash() + "/info"), QStringList());
}

// Two documents of one name from two folders, and a name whose info file would be too
// long: each gets a Trash name of its own, and each comes back where it was.
TEST_F(HomeTrash, NamesThatClashOrAreLongGetTheirOwnAndRestoreToTheirPlace) {
  if (!TrashCliPresent()) GTEST_SKIP() << "trash-cli is not installed";
  const QString first = m_documents.filePath("Clienti/Fattura.doc");
  const QString second = m_documents.filePath("Fornitori/Fattura.doc");
  const QString longName = m_documents.filePath(QString(250, 'x') + ".doc");
  Write(first, "clienti");
  Write(second, "fornitori");
  Write(longName, "lungo");
  for (const QString& document : {first, second, longName})
    ASSERT_EQ(MoveToTrash(document.toStdString()).error, 0) << document.toStdString();
  EXPECT_EQ(Read(trash() + "/files/Fattura.doc"), "clienti");
  EXPECT_EQ(Read(trash() + "/files/Fattura.2.doc"), "fornitori");
  EXPECT_EQ(Entries(trash() + "/info").size(), 3);
  QString listed = RunTrashCli("trash-list", {});
  for (const QString& document : {first, second, longName})
    EXPECT_TRUE(listed.contains(document)) << listed.toStdString();
  RunTrashCli("trash-restore", {m_documents.filePath("Fornitori")}, "0\n");
  EXPECT_EQ(Read(second), "fornitori");
  EXPECT_FALSE(QFileInfo::exists(first));
}

// The file chosen was replaced under its name: the newcomer stays and no info is left.
TEST_F(HomeTrash, AnotherFileUnderTheChosenNameStaysAndLeavesNoInfo) {
  const QString document = m_documents.filePath("Lettera.doc");
  Write(document, "chosen");
  fileops::FileIdentity chosen;
  ASSERT_EQ(fileops::IdentityOf(document.toStdString(), chosen), 0);
  ASSERT_TRUE(QFile::rename(document, m_documents.filePath("Altra.doc")));
  Write(document, "a colleague's");
  EXPECT_EQ(MoveToTrash(document.toStdString(), chosen).error, ESTALE);
  EXPECT_EQ(Read(document), "a colleague's");
  EXPECT_EQ(Entries(trash() + "/info"), QStringList());
  EXPECT_EQ(Entries(trash() + "/files"), QStringList());
}

// A link where the Trash keeps its files is not followed: nothing moves, nothing lands
// where it points.
TEST_F(HomeTrash, ALinkInsideTheTrashIsNotFollowed) {
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QDir().mkpath(trash() + "/info"));
  ASSERT_EQ(symlink(elsewhere.path().toLocal8Bit(), (trash() + "/files").toLocal8Bit()), 0);
  const QString document = m_documents.filePath("Lettera.doc");
  Write(document, "lettera");
  TrashResult result = MoveToTrash(document.toStdString());
  EXPECT_NE(result.error, 0);
  EXPECT_EQ(result.noTrash, NoTrash::kUnsafeTrash);
  EXPECT_EQ(Read(document), "lettera");
  EXPECT_EQ(Entries(elsewhere.path()), QStringList());
}

// A restore puts back only the file the entry left, never over another file nor where its
// folder is gone; a refused one leaves the entry as it was.
TEST_F(HomeTrash, ARestoreRefusesATakenNameAGoneFolderAndAChangedFile) {
  const QString document = m_documents.filePath("Ufficio/Lettera.doc");
  Write(document, "lettera");
  TrashResult trashed = MoveToTrash(document.toStdString());
  ASSERT_EQ(trashed.error, 0);
  const QString inTrash = trash() + "/files/Lettera.doc";

  Write(document, "a colleague's");
  EXPECT_EQ(RestoreFromTrash(trashed.entry), EEXIST);
  EXPECT_EQ(Read(document), "a colleague's");
  ASSERT_TRUE(QDir(m_documents.filePath("Ufficio")).removeRecursively());
  EXPECT_EQ(RestoreFromTrash(trashed.entry), ENOTDIR);
  ASSERT_TRUE(QDir().mkpath(m_documents.filePath("Ufficio")));
  Write(inTrash, "written in the Trash");
  EXPECT_EQ(RestoreFromTrash(trashed.entry), ESTALE);
  EXPECT_FALSE(QFileInfo::exists(document));
  EXPECT_TRUE(QFileInfo::exists(trash() + "/info/Lettera.doc.trashinfo"));
}

// On a client that renames only within a folder (the no_links_shim with
// VELLORIA_SHIM_NO_MOVES) the move into the Trash fails: the document stays, its info file
// goes, and the answer says that this file system will not move it.
using NoMovesClient = HomeTrash;
TEST_F(NoMovesClient, TheDocumentStaysAndNoInfoIsLeft) {
  if (qEnvironmentVariableIsEmpty("VELLORIA_SHIM_NO_MOVES"))
    GTEST_SKIP() << "needs the no_links_shim with VELLORIA_SHIM_NO_MOVES (platform_no_moves)";
  const QString document = m_documents.filePath("Lettera.doc");
  Write(document, "lettera");
  TrashResult result = MoveToTrash(document.toStdString());
  EXPECT_EQ(result.error, EXDEV);
  EXPECT_EQ(result.noTrash, NoTrash::kNoMove);
  EXPECT_EQ(Read(document), "lettera");
  EXPECT_EQ(Entries(trash() + "/info"), QStringList());
  EXPECT_EQ(Entries(trash() + "/files"), QStringList());
}

void EndAsACrashWould() { _exit(77); }

// A process that ends between the info file and the move leaves the document where it
// was and at most the info file, which a later Cancella passes by.
TEST_F(HomeTrash, ACrashBeforeTheMoveLeavesTheDocumentAndAtMostAnOrphanInfo) {
  const QString document = m_documents.filePath("Lettera.doc");
  Write(document, "lettera");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetBeforeMoveHookForTesting(EndAsACrashWould);
    MoveToTrash(document.toStdString());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 77) << "the crash point was not reached";
  EXPECT_EQ(Read(document), "lettera");
  EXPECT_EQ(Entries(trash() + "/files"), QStringList());
  EXPECT_LE(Entries(trash() + "/info").size(), 1);

  TrashResult again = MoveToTrash(document.toStdString());
  ASSERT_EQ(again.error, 0);
  EXPECT_EQ(Read(trash() + "/files/" + QString::fromStdString(again.entry.name)), "lettera");
  EXPECT_TRUE(QFileInfo::exists(trash() + "/info/" + QString::fromStdString(again.entry.name) +
                                ".trashinfo"));
}

// A file system of its own, emptied before each case, with the home Trash elsewhere.
class VolumeTrash : public HomeTrash {
 protected:
  void SetUp() override {
    m_volume = qEnvironmentVariable("VELLORIA_TEST_VOLUME");
    if (m_volume.isEmpty())
      GTEST_SKIP() << "no separate file system given (VELLORIA_TEST_VOLUME; trash_volume.sh "
                      "mounts one when run as root)";
    HomeTrash::SetUp();
    for (const QString& entry : Entries(m_volume)) {
      QFileInfo info(m_volume + "/" + entry);
      if (info.isDir() && !info.isSymLink())
        QDir(info.filePath()).removeRecursively();
      else
        QFile::remove(info.filePath());
    }
    m_document = m_volume + "/Ufficio/Lettera.doc";
    Write(m_document, "lettera");
  }
  QString own() const { return m_volume + "/.Trash-" + QString::number(getuid()); }

  QString m_volume, m_document;
};

TEST_F(VolumeTrash, GoesToTrashUidWithARelativePathThatTrashCliRestores) {
  if (!TrashCliPresent()) GTEST_SKIP() << "trash-cli is not installed";
  TrashResult result = MoveToTrash(m_document.toStdString());
  ASSERT_EQ(result.error, 0);
  EXPECT_EQ(QString::fromStdString(result.entry.trashFolder), own());
  EXPECT_EQ(QFileInfo(own()).permissions() & 0x0077, 0) << "group and others have no access";
  EXPECT_EQ(Read(own() + "/files/Lettera.doc"), "lettera");
  EXPECT_TRUE(Read(own() + "/info/Lettera.doc.trashinfo").contains("\nPath=Ufficio/Lettera.doc\n"));
  EXPECT_TRUE(Entries(trash() + "/files").isEmpty()) << "the home Trash took a volume's document";
  QString listed = RunTrashCli("trash-list", {});
  EXPECT_TRUE(listed.contains(m_document)) << listed.toStdString();
  RunTrashCli("trash-restore", {m_volume + "/Ufficio"}, "0\n");
  EXPECT_EQ(Read(m_document), "lettera");
}

// The administrator's .Trash is used only as a real folder with the sticky bit.
TEST_F(VolumeTrash, TheSharedTrashIsUsedOnlyWhenStickyAndNoLink) {
  const QString uid = QString::number(getuid());
  QTemporaryDir elsewhere;
  ASSERT_EQ(chmod(elsewhere.path().toLocal8Bit(), 01777), 0);
  ASSERT_EQ(symlink(elsewhere.path().toLocal8Bit(), (m_volume + "/.Trash").toLocal8Bit()), 0);
  ASSERT_EQ(MoveToTrash(m_document.toStdString()).error, 0);
  EXPECT_EQ(Read(own() + "/files/Lettera.doc"), "lettera") << "a linked .Trash";
  EXPECT_EQ(Entries(elsewhere.path()), QStringList());

  ASSERT_TRUE(QFile::remove(m_volume + "/.Trash"));
  ASSERT_EQ(mkdir((m_volume + "/.Trash").toLocal8Bit(), 0777), 0);
  Write(m_document, "second");
  ASSERT_EQ(MoveToTrash(m_document.toStdString()).error, 0);
  EXPECT_EQ(Read(own() + "/files/Lettera.2.doc"), "second") << "a .Trash without the sticky bit";
  EXPECT_EQ(Entries(m_volume + "/.Trash"), QStringList());

  ASSERT_EQ(chmod((m_volume + "/.Trash").toLocal8Bit(), 01777), 0);
  Write(m_document, "third");
  TrashResult result = MoveToTrash(m_document.toStdString());
  ASSERT_EQ(result.error, 0);
  EXPECT_EQ(QString::fromStdString(result.entry.trashFolder), m_volume + "/.Trash/" + uid);
  EXPECT_EQ(Read(m_volume + "/.Trash/" + uid + "/files/Lettera.doc"), "third");
  EXPECT_TRUE(Read(m_volume + "/.Trash/" + uid + "/info/Lettera.doc.trashinfo")
                  .contains("\nPath=Ufficio/Lettera.doc\n"));
}

// A .Trash-$uid that is a link or belongs to another account takes nothing.
TEST_F(VolumeTrash, AnOwnTrashThatIsALinkOrAnotherAccountsIsRefused) {
  QTemporaryDir elsewhere;
  ASSERT_EQ(symlink(elsewhere.path().toLocal8Bit(), own().toLocal8Bit()), 0);
  TrashResult linked = MoveToTrash(m_document.toStdString());
  EXPECT_EQ(linked.noTrash, NoTrash::kUnsafeTrash);
  EXPECT_EQ(Entries(elsewhere.path()), QStringList());

  ASSERT_TRUE(QFile::remove(own()));
  ASSERT_EQ(mkdir(own().toLocal8Bit(), 0700), 0);
  if (getuid() != 0) GTEST_SKIP() << "another account's folder needs root to make";
  ASSERT_EQ(chown(own().toLocal8Bit(), getuid() + 1000, getgid()), 0);
  TrashResult foreign = MoveToTrash(m_document.toStdString());
  EXPECT_EQ(foreign.noTrash, NoTrash::kUnsafeTrash);
  EXPECT_EQ(Entries(own()), QStringList());
  EXPECT_EQ(Read(m_document), "lettera");
}

// An account that may not write the top of the document's volume makes no Trash there:
// the document stays and the answer says why (VELLORIA_TEST_VOLUME_NO_RIGHTS, a volume
// whose top is another account's and whose Ufficio folder is this one's).
TEST(VolumeTrashWithoutRights, NoTrashAtATopThatMayNotBeWrittenAndTheDocumentStays) {
  const QString volume = qEnvironmentVariable("VELLORIA_TEST_VOLUME_NO_RIGHTS");
  if (volume.isEmpty()) GTEST_SKIP() << "no volume given (trash_volume.sh runs this as nobody)";
  QTemporaryDir data;
  qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
  const QString document = volume + "/Ufficio/Lettera.doc";
  Write(document, "lettera");
  NoTrash why = NoTrash::kNone;
  int error = 0;
  EXPECT_EQ(TrashFolderFor(document.toStdString(), why, error), "");
  EXPECT_EQ(why, NoTrash::kNoRights);
  TrashResult result = MoveToTrash(document.toStdString());
  EXPECT_EQ(result.noTrash, NoTrash::kNoRights);
  EXPECT_EQ(Read(document), "lettera");
  EXPECT_EQ(Entries(volume), QStringList{"Ufficio"});
}

}  // namespace
}  // namespace velloria::trash
