// TXbTable on a disk that refuses the engine's writes or reads, opened shared as the
// program opens the category table: each refusal raises with the engine's text, the file
// keeps the bytes it had, and the dataset is left to cancel or to do the step again.
#include <cerrno>
#include <fstream>
#include <sstream>

#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

constexpr const char* kNoSpace = "No space left on device";
constexpr const char* kIoError = "Input/output error";

class TableFaultsTest : public XBaseTest {
 protected:
  TXbTable& OpenCategories() {
    CreateTable(StampeFile(), StampeFields(),
                {Stampe("Lettere", "LETTERE", 1, true), Stampe("Moduli", "MODULI", 1, false),
                 Stampe("Circolari", "CIRC", 2, true)});
    m_disk = &UseFaultyDisk();
    TXbTable& table = OpenTable("STAMPE.DBF", /*exclusive=*/false);
    m_opened = FileBytes();
    return table;
  }
  std::string StampeFile() const { return m_folder.File("STAMPE.DBF"); }
  std::string FileBytes() const {
    std::ifstream in(StampeFile(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  static std::string Description(TXbTable& table) {
    return table.FieldByName("DESCRIZIO").AsString();
  }

  FaultyDisk* m_disk = nullptr;
  std::string m_opened;  // the file's bytes when OpenCategories opened it
};

TEST_F(TableFaultsTest, APostTheDiskRefusesRaisesKeepsTheFileAndCanBePostedAgain) {
  TXbTable& table = OpenCategories();
  table.Edit();
  table.FieldByName("DESCRIZIO").SetAsString("Lettere 2027");
  m_disk->RefuseWrites(ENOSPC);
  ExpectRefused([&] { table.Post(); }, kNoSpace);
  EXPECT_EQ(TDataSetState::dsEdit, table.State());
  EXPECT_EQ("Lettere 2027", Description(table));
  EXPECT_EQ(m_opened, FileBytes());

  m_disk->Mend();
  table.Post();
  EXPECT_EQ(TDataSetState::dsBrowse, table.State());
  EXPECT_EQ(0, ReadRecords(StampeFile()).at(0).find(" Lettere 2027 "));
}

// Cancelled while the disk still refuses, the edit ends and the engine keeps the lock until
// it can write: a cancel then lets it go, and what reaches the file is the record as it was,
// never the cancelled change.
TEST_F(TableFaultsTest, APostTheDiskRefusedCanBeCancelledWithoutTheChangeReachingTheFile) {
  TXbTable& table = OpenCategories();
  table.Edit();
  table.FieldByName("DESCRIZIO").SetAsString("Annullata");
  m_disk->RefuseWrites(EIO);
  ExpectRefused([&] { table.Post(); }, kIoError);
  ExpectRefused([&] { table.Cancel(); }, kIoError);
  EXPECT_EQ(TDataSetState::dsBrowse, table.State());
  EXPECT_EQ("Lettere", Description(table));

  m_disk->Mend();
  table.Cancel();
  Xb().xb_Select(table.WorkArea());
  EXPECT_EQ(0, Xb().xb_LockCount());
  table.Next();
  EXPECT_EQ("Moduli", Description(table));
  table.Close();
  EXPECT_EQ(m_opened, FileBytes());
}

TEST_F(TableFaultsTest, AnAppendTheDiskRefusesAddsNoRecord) {
  TXbTable& table = OpenCategories();
  table.Append();
  table.FieldByName("DESCRIZIO").SetAsString("Verbali");
  m_disk->RefuseWrites(ENOSPC);
  ExpectRefused([&] { table.Post(); }, kNoSpace);
  EXPECT_EQ(TDataSetState::dsInsert, table.State());
  table.Cancel();
  ExpectRefused([&] { table.AppendRecord({std::string("Avvisi"), std::string("AVV")}); },
                kNoSpace);
  EXPECT_EQ(TDataSetState::dsBrowse, table.State());
  EXPECT_EQ(m_opened, FileBytes());

  m_disk->Mend();
  table.Append();
  table.FieldByName("DESCRIZIO").SetAsString("Verbali");
  table.Post();
  std::vector<std::string> records = ReadRecords(StampeFile());
  ASSERT_EQ(4u, records.size());
  EXPECT_EQ(0, records[3].find(" Verbali "));
}

TEST_F(TableFaultsTest, ADeleteTheDiskRefusesLeavesTheRecordLiveAndCurrent) {
  TXbTable& table = OpenCategories();
  m_disk->RefuseWrites(EIO);
  ExpectRefused([&] { table.Delete(); }, kIoError);
  EXPECT_EQ(1, table.RecNo());
  EXPECT_EQ("Lettere", Description(table));
  EXPECT_EQ(m_opened, FileBytes());

  m_disk->Mend();
  table.Delete();
  EXPECT_EQ("Moduli", Description(table));
  EXPECT_EQ('*', ReadRecords(StampeFile()).at(0)[0]);
}

// A record that cannot be read is never shown as the one before it: the move raises, the
// dataset stays on the record it stood on, and the same move goes on once the disk reads.
// The table is larger than one read-ahead block, so that the scan must read the file.
TEST_F(TableFaultsTest, AReadTheDiskRefusesDuringAScanRaisesAndTheScanCanGoOn) {
  std::vector<RawRecord> records;
  for (int i = 1; i <= 5000; ++i) records.push_back(Stampe("Cat " + std::to_string(i), "D", 1, true));
  CreateTable(StampeFile(), StampeFields(), records);
  m_disk = &UseFaultyDisk();
  TXbTable& table = OpenTable("STAMPE.DBF", /*exclusive=*/false);
  table.First();
  m_disk->RefuseReads(EIO);
  std::int32_t reached = table.RecNo();
  bool refused = false;
  while (!refused && !table.Eof()) {
    try {
      table.Next();
      reached = table.RecNo();
    } catch (const EXBaseError& error) {
      refused = true;
      EXPECT_NE(std::string(error.what()).find(kIoError), std::string::npos) << error.what();
    }
  }
  ASSERT_TRUE(refused);
  EXPECT_EQ(reached, table.RecNo());
  EXPECT_EQ("Cat " + std::to_string(reached), Description(table));

  m_disk->Mend();
  table.Next();
  EXPECT_EQ(reached + 1, table.RecNo());
  EXPECT_EQ("Cat " + std::to_string(reached + 1), Description(table));
}

}  // namespace
}  // namespace velloria::xbase::testing
