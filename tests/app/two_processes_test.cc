// STAMPE.DBF held by a real second process (table_holder) and on a read-only folder: the
// open refused with the general message, a sweep stopped by another's record lock within
// the lock timeout, a read-only open that reads; the file unchanged where nothing is written.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QKeyEvent>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/main_window.h"
#include "dataset/field.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"
#include "tests/xbase/faulty_disk.h"
#include "xbase/xbase_table.h"

namespace velloria {
namespace {

using testing::CategoryRecord;
using testing::NextBoxAnswer;
using testing::TempOffice;

using testing::kHeaderSize;
using testing::kRecordSize;
using testing::kVisualizzaOffset;

// table_holder on a table: holds it in a mode (and a record lock) until released.
class TableHolder {
 public:
  ~TableHolder() { release(); }
  // True once the holder has opened `table` as `arguments` say ("exclusive", "shared 2").
  bool hold(const QString& table, const QStringList& arguments) {
    m_process.start(QStringLiteral(VELLORIA_TABLE_HOLDER), QStringList{table} + arguments);
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) return false;
    m_answer = QString::fromUtf8(m_process.readLine()).trimmed();
    return m_answer.startsWith("ready");
  }
  void release() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.closeWriteChannel();
    m_process.waitForFinished(10000);
  }
  QString answer() const { return m_answer; }

 private:
  QProcess m_process;
  QString m_answer;
};

// While alive, the calling thread's effective capabilities lack those that pass over file
// permissions, so that a read-only folder is read-only for root too. Nothing for others.
class WithoutPermissionOverride {
 public:
  WithoutPermissionOverride() {
    if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
      reduced[0].effective &= ~(1u << cap);
    m_changed = syscall(SYS_capset, &m_header, reduced) == 0;
  }
  ~WithoutPermissionOverride() {
    if (m_changed) syscall(SYS_capset, &m_header, m_saved);
  }
  WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
  WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

 private:
  __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct m_saved[2]{};
  bool m_changed = false;
};

class TwoProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTahoma();
    office.writeTable(
        {{"Contabilità", "CONTAB", 1}, {"Lettere", "LETT", 1}, {"Didattica", "DIDA", 2}});
    for (const char* dir : {"CONTAB", "LETT", "DIDA"}) office.makeFolder(dir, {"Lettera.doc"});
  }
  void TearDown() override {
    QFile::setPermissions(office.stampe(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    TApplication::instance()->resumeAfterTerminationForTesting();
  }

  // Starts the program on the office; returns the text of the box it showed, if any.
  QString startExpectingFailure() {
    NextBoxAnswer box(mrOk);
    TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
    EXPECT_TRUE(form.startupFailed());
    m_lastError = form.categoryTable()->LastErrorText();
    return box.text();
  }
  // A shared or read-only table component on the office's table, open.
  std::unique_ptr<xbase::TXbTable> openTable(bool readOnly) {
    auto table = std::make_unique<xbase::TXbTable>("Condivisa");
    table->SetTableName("STAMPE.DBF");
    table->SetTableType(xbase::TXBaseTableType::ttXBNTX);
    table->SetReadOnly(readOnly);
    table->SetDatabaseName(office.stampe().toStdString());
    table->Open();
    return table;
  }
  // The fixture's three categories with the stored VISUALIZZA of the two of type 1.
  void writeCategories(bool contab, bool lett) {
    office.writeTable({{"Contabilità", "CONTAB", 1, contab}, {"Lettere", "LETT", 1, lett},
                       {"Didattica", "DIDA", 2, true}});
  }
  // The categories the grid shows (the filtered records); leaves the table at its end.
  static int shownCategories(xbase::TXbTable& table) {
    int shown = 0;
    for (table.First(); !table.Eof(); table.Next()) ++shown;
    return shown;
  }
  char visualizzaOf(const QByteArray& table, int record) const {
    return table[kHeaderSize + record * kRecordSize + kVisualizzaOffset];
  }

  TempOffice office;
  std::string m_lastError;
};

// A table held exclusively elsewhere: after a short wait the start says what it waits for;
// Annulla gives up with the general failure naming the file, Riprova waits again and starts
// once the holder has let go.
TEST_F(TwoProcesses, ATableHeldExclusivelyElsewhereAsksWhetherToWaitNamingTheFile) {
  QByteArray before = office.tableBytes();
  TableHolder other;
  ASSERT_TRUE(other.hold(office.tablePath(), {"exclusive"})) << other.answer().toStdString();
  {
    NextBoxAnswer wait(mrCancel);
    NextBoxAnswer failure(mrOk);
    QElapsedTimer clock;
    clock.start();
    TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
    EXPECT_TRUE(form.startupFailed());
    EXPECT_GE(clock.elapsed(), kTableInUseWaitMs);
    EXPECT_EQ(wait.text().toStdString(), TableInUseQuestion(office.tablePath().toStdString()));
    EXPECT_EQ(wait.asked().kind, mtWarning);
    EXPECT_EQ(failure.text(), kStartupFailureMessage);
    EXPECT_EQ(failure.asked().detail.toStdString(), TableInUseDetail(office.tablePath().toStdString()));
    EXPECT_EQ(office.tableBytes(), before);
  }
  TApplication::instance()->resumeAfterTerminationForTesting();
  NextBoxAnswer retry(mrRetry);
  retry.whileAsked([&other] { other.release(); });
  TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
  EXPECT_TRUE(retry.answered());
  EXPECT_FALSE(form.startupFailed());
  EXPECT_EQ(shownCategories(*form.categoryTable()), 2);
}

// Other workstations browsing (a shared or read-only open) leave the start alone; one that
// keeps a record locked past the lock timeout makes it go on with the stored values.
TEST_F(TwoProcesses, TheProgramStartsBesideOtherOpenersAndSweepsWhenItGetsTheLock) {
  const QStringList holds[] = {{"shared"}, {"readonly"}, {"shared", "2"}};
  for (const QStringList& hold : holds) {
    SCOPED_TRACE(hold.join(' ').toStdString());
    writeCategories(false, false);
    TableHolder other;
    ASSERT_TRUE(other.hold(office.tablePath(), hold)) << other.answer().toStdString();
    TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
    ASSERT_FALSE(form.startupFailed());
    bool recordHeld = hold.size() == 2;
    EXPECT_EQ(visualizzaOf(office.tableBytes(), 0), recordHeld ? 'F' : 'T');
    EXPECT_EQ(shownCategories(*form.categoryTable()), recordHeld ? 0 : 2);
  }
}

TEST_F(TwoProcesses, AnExclusiveOpenElsewhereIsRefusedWhileTheProgramRuns) {
  TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
  ASSERT_FALSE(form.startupFailed());
  TableHolder exclusive;
  EXPECT_FALSE(exclusive.hold(office.tablePath(), {"exclusive"}));
  EXPECT_EQ(exclusive.answer().toStdString(),
            "refused: Table " + office.tablePath().toStdString() +
                " cannot be opened exclusively: it is open by another program (close it there first)");
  for (const char* mode : {"shared", "readonly"}) {
    TableHolder other;
    EXPECT_TRUE(other.hold(office.tablePath(), {mode})) << mode << other.answer().toStdString();
  }
}

// A record locked elsewhere keeps the sweep's table lock out: within the engine's lock
// timeout it gives up and writes nothing; once the record is free it sweeps everything.
TEST_F(TwoProcesses, ASweepThatCannotLockTheTableWritesNothing) {
  QByteArray before = office.tableBytes();
  auto table = openTable(false);
  TableHolder other;
  ASSERT_TRUE(other.hold(office.tablePath(), {"shared", "2"})) << other.answer().toStdString();
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(SweepSharedCatalogue(*table, office.stampe().toStdString()), TSweepOutcome::lockTimedOut);
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(table->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(office.tableBytes(), before);

  other.release();
  EXPECT_EQ(SweepSharedCatalogue(*table, office.stampe().toStdString()), TSweepOutcome::swept);
  QByteArray swept = office.tableBytes();
  for (int record = 0; record < 3; ++record) EXPECT_EQ(visualizzaOf(swept, record), 'T') << record;
  // The table lock is let go: another program can lock a record again.
  TableHolder after;
  EXPECT_TRUE(after.hold(office.tablePath(), {"shared", "1"})) << after.answer().toStdString();
}

// A sweep writes only the records whose folder came or went: in a settled office the
// table file is not touched at all.
TEST_F(TwoProcesses, ASweepWritesOnlyTheRecordsThatChange) {
  writeCategories(false, true);
  auto table = openTable(false);
  ASSERT_EQ(SweepSharedCatalogue(*table, office.stampe().toStdString()), TSweepOutcome::swept);
  QByteArray swept = office.tableBytes();
  EXPECT_EQ(visualizzaOf(swept, 0), 'T');
  QFileInfo before(office.tablePath());
  QDateTime written = before.lastModified();

  QThread::msleep(20);
  ASSERT_EQ(SweepSharedCatalogue(*table, office.stampe().toStdString()), TSweepOutcome::swept);
  EXPECT_EQ(office.tableBytes(), swept);
  EXPECT_EQ(QFileInfo(office.tablePath()).lastModified(), written);

  QDir(office.stampe() + "/LETT").removeRecursively();
  ASSERT_EQ(SweepSharedCatalogue(*table, office.stampe().toStdString()), TSweepOutcome::swept);
  QByteArray after = office.tableBytes();
  EXPECT_EQ(visualizzaOf(after, 1), 'F');
  after[kHeaderSize + kRecordSize + kVisualizzaOffset] = 'T';
  EXPECT_EQ(after.mid(kHeaderSize), swept.mid(kHeaderSize));
}

// Read rights only: the program starts, writes nothing and shows the categories whose folders
// exist, as a sweep would have recorded them (LETT is stored hidden, CONTAB's folder is gone).
TEST_F(TwoProcesses, AReadOnlyStampeFolderOrTableStartsReadOnlyAndWritesNothing) {
  writeCategories(true, false);
  QDir(office.stampe() + "/CONTAB").removeRecursively();
  QByteArray before = office.tableBytes();
  for (bool folderToo : {false, true}) {
    SCOPED_TRACE(folderToo ? "folder and table" : "table");
    QFile::setPermissions(office.tablePath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    if (folderToo) QFile::setPermissions(office.stampe(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WithoutPermissionOverride asUser;
    TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
    ASSERT_FALSE(form.startupFailed());
    EXPECT_EQ(form.documentList()->Root(), office.stampe() + "/LETT");
    EXPECT_EQ(shownCategories(*form.categoryTable()), 1);
    EXPECT_EQ(office.tableBytes(), before);
  }
}

// A table the account may write, on a mount whose locks stay on the desk: the engine opens it
// read-only, and the start goes on as on a read-only desk, with the categories whose folders
// exist and the note saying why nothing is written, rather than failing at the sweep.
TEST_F(TwoProcesses, ATableTheEngineOpensReadOnlyForItsMountStartsAsAReadOnlyDesk) {
  writeCategories(true, false);
  QDir(office.stampe() + "/CONTAB").removeRecursively();
  QByteArray before = office.tableBytes();
  xbase::testing::FaultyDisk disk;
  disk.SetMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n2 1 0:50 / " + office.stampe().toStdString() +
                    " rw,nosuid - fuse.smbnetfs smbnetfs rw\n");
  TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
  ASSERT_FALSE(form.startupFailed());
  xbase::TXbTable* table = form.categoryTable();
  EXPECT_NE(table->WriteRefusal(), "");
  EXPECT_EQ(form.documentList()->Root(), office.stampe() + "/LETT");
  EXPECT_EQ(shownCategories(*table), 1);
  EXPECT_EQ(office.tableBytes(), before);
  std::string note = ShareRiskWarning(table->MountRisks(), table->WriteRefusal());
  EXPECT_NE(note.find("Le categorie mostrate sono quelle la cui cartella esiste ora"), std::string::npos) << note;
}

// F5 in the grid checks the folders as a start does and re-reads what another program
// changed: a category added with its folder made after it (stored hidden, as the
// administrator's recipe has it) shows, a renamed one shows its new name, one hidden by hand
// while its folder exists is shown and stored again; the filter stays and so does the
// current category.
TEST_F(TwoProcesses, F5InTheGridShowsWhatAnotherProgramChanged) {
  TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
  ASSERT_FALSE(form.startupFailed());
  xbase::TXbTable* table = form.categoryTable();
  table->Next();
  ASSERT_EQ(table->FieldByName("DIR").AsString(), "LETT");
  office.makeFolder("NUOVA");
  for (QStringList change : {QStringList{"append", "DESCRIZIO=Nuova", "DIR=NUOVA", "VISUALIZZA=F", "TIPO=1"},
                             QStringList{"set", "2", "DESCRIZIO=Lettere e moduli"},
                             QStringList{"set", "1", "VISUALIZZA=F"}}) {
    change.insert(1, office.tablePath());
    ASSERT_EQ(QProcess::execute(QStringLiteral(VELLORIA_XBTOOL), change), 0) << change.join(' ').toStdString();
  }
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
  QApplication::sendEvent(form.findChild<QWidget*>("DBGrid"), &press);
  EXPECT_EQ(table->FieldByName("DESCRIZIO").AsString(), "Lettere e moduli");
  EXPECT_EQ(table->Filter(), "TIPO=1 AND VISUALIZZA=TRUE");
  table->Next();
  EXPECT_EQ(table->FieldByName("DIR").AsString(), "NUOVA");
  EXPECT_EQ(shownCategories(*table), 3);
  EXPECT_EQ(visualizzaOf(office.tableBytes(), 0), 'T');
  EXPECT_EQ(visualizzaOf(office.tableBytes(), 3), 'T');
}

}  // namespace
}  // namespace velloria
