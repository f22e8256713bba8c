// STAMPE.DBF held by a real second process (table_holder) and on a read-only folder: the
// open refused with the general message, a sweep stopped by another's record lock within
// the lock timeout, a read-only open that reads; the file unchanged where nothing is written.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/main_window.h"
#include "dataset/field.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"
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
  char visualizzaOf(const QByteArray& table, int record) const {
    return table[kHeaderSize + record * kRecordSize + kVisualizzaOffset];
  }

  TempOffice office;
  std::string m_lastError;
};

TEST_F(TwoProcesses, ATableHeldByAnotherProcessFailsStartUpAndStaysByteForByte) {
  const QStringList holds[] = {{"exclusive"}, {"shared", "2"}, {"readonly"}};
  for (const QStringList& hold : holds) {
    SCOPED_TRACE(hold.join(' ').toStdString());
    QByteArray before = office.tableBytes();
    TableHolder other;
    ASSERT_TRUE(other.hold(office.tablePath(), hold)) << other.answer().toStdString();
    EXPECT_EQ(startExpectingFailure(), kStartupFailureMessage);
    EXPECT_EQ(m_lastError, "Unable to open table: " + office.tablePath().toStdString());
    other.release();
    EXPECT_EQ(office.tableBytes(), before);
    TApplication::instance()->resumeAfterTerminationForTesting();
  }
}

TEST_F(TwoProcesses, AnotherProcessCannotOpenTheTableWhileTheProgramRuns) {
  TfrmMain form({"velloria", "1", "12", office.dataPath(), ""});
  ASSERT_FALSE(form.startupFailed());
  for (const char* mode : {"exclusive", "shared", "readonly"}) {
    TableHolder other;
    EXPECT_FALSE(other.hold(office.tablePath(), {mode})) << mode;
    EXPECT_TRUE(other.answer().startsWith("refused")) << other.answer().toStdString();
  }
}

// The program itself opens exclusively; a shared open (as other programs of the office
// use) meets other processes' record locks: the sweep stops with the lock message once
// the engine's lock timeout has passed, every record wholly old or wholly new.
TEST_F(TwoProcesses, ASweepOverASharedTableStopsAtARecordLockedElsewhere) {
  QByteArray before = office.tableBytes();
  auto table = openTable(false);
  TableHolder other;
  ASSERT_TRUE(other.hold(office.tablePath(), {"shared", "2"})) << other.answer().toStdString();
  QElapsedTimer clock;
  clock.start();
  try {
    SweepCategoryFolders(*table, office.stampe().toStdString());
    ADD_FAILURE() << "the sweep went through a locked record";
  } catch (const xbase::EXBaseError& failure) {
    EXPECT_STREQ(failure.what(), "Record Lock Failure. May be locked by another user or task.");
  }
  EXPECT_LT(clock.elapsed(), 5000);
  EXPECT_EQ(table->State(), TDataSetState::dsBrowse);
  EXPECT_FALSE(table->ControlsDisabled()) << "the stopped sweep left the grid deaf";
  QByteArray stopped = office.tableBytes();
  EXPECT_EQ(visualizzaOf(stopped, 0), 'T');
  EXPECT_EQ(stopped.mid(kHeaderSize + kRecordSize), before.mid(kHeaderSize + kRecordSize));

  other.release();
  SweepCategoryFolders(*table, office.stampe().toStdString());
  QByteArray swept = office.tableBytes();
  for (int record = 0; record < 3; ++record) EXPECT_EQ(visualizzaOf(swept, record), 'T') << record;
}

TEST_F(TwoProcesses, AReadOnlyStampeFolderFailsStartUpButOpensForReading) {
  QFile::setPermissions(office.tablePath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup);
  QFile::setPermissions(office.stampe(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  QByteArray before = office.tableBytes();
  {
    WithoutPermissionOverride asUser;
    EXPECT_EQ(startExpectingFailure(), kStartupFailureMessage);
    EXPECT_EQ(office.tableBytes(), before);

    auto table = openTable(true);
    EXPECT_EQ(table->FieldByName("DESCRIZIO").AsString(), "Contabilità");
    EXPECT_EQ(table->RecordCount(), 3);
    EXPECT_THROW(table->Edit(), std::exception);
  }
  EXPECT_EQ(office.tableBytes(), before);
}

}  // namespace
}  // namespace velloria
