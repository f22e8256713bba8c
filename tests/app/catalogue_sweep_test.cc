// The start-up sweep over a real STAMPE.DBF: a VISUALIZZA byte other than the T or F the
// sweep writes is written, and a sweep whose write the disk refuses raises, leaves the
// file as it was and sets no value.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "app/catalogue.h"
#include "dataset/field.h"
#include "tests/app/office_fixture.h"
#include "tests/xbase/faulty_disk.h"
#include "xbase/xbase_table.h"

namespace velloria {
namespace {

using testing::kHeaderSize;
using testing::kRecordSize;
using testing::kVisualizzaOffset;
using testing::TempOffice;

class CatalogueSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    office.writeTable({{"Contabilità", "CONTAB", 1, false},
                       {"Lettere", "LETT", 1, true},
                       {"Didattica", "DIDA", 2, false}});
    office.makeFolder("CONTAB");
    office.makeFolder("LETT");
  }
  std::unique_ptr<xbase::TXbTable> openTable() {
    auto table = std::make_unique<xbase::TXbTable>("Condivisa");
    table->SetTableName("STAMPE.DBF");
    table->SetTableType(xbase::TXBaseTableType::ttXBNTX);
    table->SetDatabaseName(stampe());
    table->Open();
    return table;
  }
  std::string stampe() const { return office.stampe().toStdString(); }
  static int visualizzaAt(int record) { return kHeaderSize + record * kRecordSize + kVisualizzaOffset; }
  char visualizzaOf(int record) const { return office.tableBytes()[visualizzaAt(record)]; }
  void storeVisualizza(int record, char byte) {
    QByteArray bytes = office.tableBytes();
    bytes[visualizzaAt(record)] = byte;
    TempOffice::writeFile(office.tablePath(), bytes);
  }

  TempOffice office;
};

// "y" reads true and "?" (dBase's "not set") reads false, yet other programs read them
// otherwise than T and F: both are written, and a settled T is left alone.
TEST_F(CatalogueSweep, AVisualizzaByteOtherThanTOrFIsWritten) {
  storeVisualizza(0, 'y');
  storeVisualizza(2, '?');
  QByteArray before = office.tableBytes();
  auto table = openTable();
  ASSERT_EQ(SweepSharedCatalogue(*table, stampe()), TSweepOutcome::swept);
  EXPECT_EQ(visualizzaOf(0), 'T');
  EXPECT_EQ(visualizzaOf(1), 'T');
  EXPECT_EQ(visualizzaOf(2), 'F');
  QByteArray after = office.tableBytes();
  after[visualizzaAt(0)] = 'y';
  after[visualizzaAt(2)] = '?';
  EXPECT_EQ(after.mid(kHeaderSize), before.mid(kHeaderSize));
}

TEST_F(CatalogueSweep, ASweepWhoseWriteTheDiskRefusesRaisesAndSetsNothing) {
  xbase::testing::FaultyDisk disk;
  auto table = openTable();
  QByteArray before = office.tableBytes();
  disk.RefuseWrites(ENOSPC);
  xbase::testing::ExpectRefused([&] { SweepSharedCatalogue(*table, stampe()); }, "No space left on device");
  EXPECT_EQ(table->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(office.tableBytes(), before);

  disk.Mend();
  table->First();
  EXPECT_FALSE(table->FieldByName("VISUALIZZA").AsBoolean());
  table->Close();
  EXPECT_EQ(office.tableBytes().mid(kHeaderSize), before.mid(kHeaderSize));
}

}  // namespace
}  // namespace velloria
