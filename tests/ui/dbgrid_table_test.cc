// The category grid over the real table component on a real STAMPE.DBF, read through
// the engine library: the behaviour the main window relies on, checked end to end.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/support/stampe_table.h"
#include "tests/ui/dbgrid_fixture.h"
#include "xbase/xbase_table.h"

namespace velloria::testing {
namespace {

using Category = CategoryRecord;

std::vector<Category> Numbered(int count, int tipo = 1) {
  std::vector<Category> rows;
  for (int i = 1; i <= count; ++i) rows.push_back({"Cat " + std::to_string(i), "DIR" + std::to_string(i), tipo, true});
  return rows;
}

class GridTableTest : public GridFixture {
 protected:
  // Writes the table and opens it as the main window does: NTX type, filtered to the
  // categories of type 1 with a folder.
  xbase::TXbTable* OpenTable(const std::vector<Category>& rows) {
    QFile file(m_folder.filePath("STAMPE.DBF"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(StampeTableBytes(rows));
    file.close();
    auto table = std::make_unique<xbase::TXbTable>("TbArchivio");
    xbase::TXbTable* raw = table.get();
    raw->SetTableType(xbase::TXBaseTableType::ttXBNTX);
    raw->SetDatabaseName(m_folder.path().toStdString());
    raw->SetTableName("STAMPE.DBF");
    raw->SetFilter("TIPO=1 AND VISUALIZZA=TRUE");
    raw->SetFiltered(true);
    Bind(std::move(table));
    raw->Open();
    return raw;
  }

  std::int32_t RecNo() const { return data->RecNo(); }
  QByteArray TableBytes() const {
    QFile file(m_folder.filePath("STAMPE.DBF"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir m_folder;
};

TEST_F(GridTableTest, EmptyFilteredTableShowsOneBlankCurrentRowAndCallsTheHandler) {
  OpenTable(Numbered(4, 2));
  ShowFocused();
  paintOver = true;
  ASSERT_TRUE(data->IsEmpty());
  QImage image = Grab();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].state, (TGridDrawState{true, true, false}));
  EXPECT_EQ(image.pixelColor(CellCenter(1)), kCream);
  EXPECT_EQ(ThumbPosition(), 0);
}

TEST_F(GridTableTest, HandlerReadsTheDrawnRowAndTheCurrentRecordStays) {
  std::vector<Category> rows = Numbered(30);
  rows.insert(rows.begin() + 1, {"Hidden", "HIDDEN", 1, false});
  OpenTable(rows);
  ShowFocused();
  data->MoveBy(4);
  Grab();
  ASSERT_EQ(static_cast<int>(draws.size()), grid->VisibleRowCount());
  for (size_t i = 0; i < draws.size(); ++i) EXPECT_EQ(draws[i].text, "Cat " + std::to_string(i + 1));
  EXPECT_EQ(ActiveText(), "Cat 5");
}

TEST_F(GridTableTest, ClickOnTheThirdRowSelectsItsRecordBeforeTheClickIsReported) {
  OpenTable(Numbered(10));
  ShowFocused();
  Click(CellCenter(3));
  EXPECT_EQ(clicks, std::vector<std::string>{"Cat 3"});
  EXPECT_EQ(RecNo(), 3);
}

TEST_F(GridTableTest, WheelTurnsFollowedByAClickSelectTheClickedRow) {
  OpenTable(Numbered(40));
  ShowFocused();
  Wheel(-2);
  EXPECT_EQ(ActiveText(), "Cat 3");
  EXPECT_EQ(grid->Row(), 3);
  Click(CellCenter(6));
  EXPECT_EQ(clicks, std::vector<std::string>{"Cat 6"});
}

TEST_F(GridTableTest, ArrowsPagesAndTheThumbAtTheEnds) {
  OpenTable(Numbered(30));
  ShowFocused();
  Key(Qt::Key_End);
  EXPECT_EQ(ActiveText(), "Cat 30");
  Key(Qt::Key_Down);
  EXPECT_EQ(ActiveText(), "Cat 30");
  EXPECT_TRUE(data->Eof());
  EXPECT_EQ(ThumbPosition(), 4);
  Key(Qt::Key_Home);
  Key(Qt::Key_Down);
  Key(Qt::Key_Up);
  EXPECT_EQ(ActiveText(), "Cat 1");
  EXPECT_EQ(ThumbPosition(), 2);
  Key(Qt::Key_Up);
  EXPECT_EQ(ThumbPosition(), 0);
  Key(Qt::Key_PageDown);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(ActiveText(), "Cat 30");
  EXPECT_EQ(grid->Row(), grid->RowCount() - 1);
}

TEST_F(GridTableTest, ControlDeleteDeletesNothingWhenBeforeDeleteAborts) {
  OpenTable(Numbered(5));
  ShowFocused();
  data->MoveBy(1);
  data->BeforeDelete = [](TDataSet&) { Abort(); };
  QByteArray before = TableBytes();
  EXPECT_THROW(Key(Qt::Key_Delete, Qt::ControlModifier), EAbort);
  EXPECT_EQ(ActiveText(), "Cat 2");
  EXPECT_EQ(grid->Row(), 2);
  data->Close();
  EXPECT_EQ(TableBytes(), before);
}

TEST_F(GridTableTest, PaintingTwentyTwoRowsFetchesOnlyTheWindow) {
  ShowFocused();
  OpenTable(Numbered(300));
  Grab();
  ASSERT_EQ(grid->VisibleRowCount(), 22);
  EXPECT_LE(data->RecordFetches(), 23u);
  std::uint64_t before = data->RecordFetches();
  Grab();
  EXPECT_EQ(data->RecordFetches(), before);
}

}  // namespace
}  // namespace velloria::testing
