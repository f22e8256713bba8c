// The grid's binding and layout: rows before and after the dataset opens, the buffer
// window the grid asks for, row heights and the grid's own errors.
#include <QFontMetrics>
#include <QScrollBar>

#include "tests/ui/dbgrid_fixture.h"

namespace velloria::testing {
namespace {

using GridLayoutTest = GridFixture;

TEST_F(GridLayoutTest, ClosedTableShowsOneBlankRowAndCallsNoHandler) {
  ShowFocused();
  QImage image = Grab();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_TRUE(draws.empty());
  EXPECT_EQ(image.pixelColor(CellCenter(1)), grid->Color());

  OpenData(50);
  image = Grab();
  EXPECT_EQ(data->BufferCount(), grid->VisibleRowCount());
  EXPECT_EQ(grid->RowCount(), grid->VisibleRowCount() + 1);
  EXPECT_EQ(static_cast<int>(draws.size()), grid->VisibleRowCount());
}

TEST_F(GridLayoutTest, RowHeightsComeFromTheTextWgAndFillTheMainWindowGrid) {
  OpenData(50);
  ShowFocused();
  int textHeight = QFontMetrics(WindowFont()).height();
  EXPECT_EQ(grid->TitleRowHeight(), textHeight + 4);
  EXPECT_EQ(grid->DataRowHeight(), textHeight + 4);
  int pitch = grid->DataRowHeight() + 1;
  EXPECT_EQ(grid->VisibleRowCount(), (383 - 4 - pitch) / pitch);
  EXPECT_EQ(grid->CellRect(0, 2), QRect(0, 2 * pitch, 158, pitch - 1));
}

TEST_F(GridLayoutTest, ResizingChangesTheBufferedWindow) {
  OpenData(50);
  ShowFocused();
  int before = grid->VisibleRowCount();
  grid->resize(179, 383 - 5 * (grid->DataRowHeight() + 1));
  QApplication::processEvents();
  EXPECT_EQ(grid->VisibleRowCount(), before - 5);
  EXPECT_EQ(data->BufferCount(), before - 5);
}

TEST_F(GridLayoutTest, ClosingAndReopeningFollowsTheDataSet) {
  OpenData(30);
  ShowFocused();
  data->MoveBy(5);
  EXPECT_EQ(grid->Row(), 6);
  data->Close();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_THROW(grid->CurrentRowSelected(), EDatabaseError);
  data->Open();
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_EQ(grid->RowCount(), grid->VisibleRowCount() + 1);
}

TEST_F(GridLayoutTest, CurrentRowSelectedNeedsAnOpenTable) {
  try {
    grid->CurrentRowSelected();
    FAIL() << "closed table accepted";
  } catch (const EDatabaseError& error) {
    EXPECT_STREQ(error.what(), "Cannot perform this operation on a closed dataset");
  }
  OpenData(5);
  EXPECT_FALSE(grid->CurrentRowSelected());
  grid->SetCurrentRowSelected(true);
  EXPECT_TRUE(grid->CurrentRowSelected());
  data->Next();
  EXPECT_FALSE(grid->CurrentRowSelected());
  data->Close();
  data->Open();
  EXPECT_TRUE(grid->SelectedRows().IsEmpty());
}

TEST_F(GridLayoutTest, MovingTheCurrentCellOutsideTheGridFails) {
  OpenData(3);
  ShowFocused();
  try {
    grid->MoveCurrentCell(0, 4);
    FAIL() << "row 4 of 4 rows accepted";
  } catch (const EInvalidGridOperation& error) {
    EXPECT_STREQ(error.what(), "Grid index out of range");
  }
  EXPECT_THROW(grid->MoveCurrentCell(1, 1), EInvalidGridOperation);
  EXPECT_NO_THROW(grid->MoveCurrentCell(0, 3));
}

TEST_F(GridLayoutTest, UnsupportedOptionsAreRefusedAndKeepTheOldSet) {
  TDBGridOptions before = grid->Options();
  try {
    grid->SetOptions(before.With(dgEditing));
    FAIL() << "dgEditing accepted";
  } catch (const EInvalidGridOperation& error) {
    EXPECT_STREQ(error.what(), "Grid option not supported: dgEditing");
  }
  EXPECT_THROW(grid->SetOptions(before.With(dgMultiSelect)), EInvalidGridOperation);
  EXPECT_EQ(grid->Options(), before);
}

TEST_F(GridLayoutTest, MissingFieldDrawsEmptyCellsAndIsNoTabStop) {
  grid->Columns()[0]->SetFieldName("NOSUCH");
  OpenData(3);
  ShowFocused();
  Grab();
  ASSERT_FALSE(draws.empty());
  EXPECT_EQ(grid->Columns()[0]->Field(), nullptr);
  EXPECT_FALSE(grid->Columns()[0]->TabStop());
  grid->Columns()[0]->SetFieldName("DESCRIZIO");
  EXPECT_TRUE(grid->Columns()[0]->TabStop());
}

TEST_F(GridLayoutTest, LayoutWaitsForTheOutermostLockHolder) {
  ShowFocused();
  grid->BeginLayout();
  grid->BeginLayout();
  OpenData(10);
  grid->EndLayout();
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(data->BufferCount(), 1);
  grid->EndLayout();
  EXPECT_EQ(grid->RowCount(), 11);
  EXPECT_GT(data->BufferCount(), 10);
}

TEST_F(GridLayoutTest, TableClosedDuringAPressIsShownClosedOnceThePressEnds) {
  OpenData(10);
  ShowFocused();
  data->AfterScroll = [this](TDataSet&) { data->Close(); };
  Press(CellCenter(4));
  QApplication::processEvents();
  EXPECT_EQ(grid->RowCount(), 2);
  Grab();
  EXPECT_TRUE(draws.empty());
}

TEST_F(GridLayoutTest, ColumnsNeverKeepTheFieldsOfAClosedTable) {
  OpenData(3);
  ShowFocused();
  data->DisableControls();
  data->Close();
  EXPECT_EQ(grid->Columns()[0]->Field(), nullptr);
  Grab();
  data->Open();
  EXPECT_EQ(grid->Columns()[0]->Field(), data->FindField("DESCRIZIO"));
  data->EnableControls();
  Grab();
  ASSERT_EQ(draws.size(), 3u);
  EXPECT_EQ(draws[2].text, "Row 3");
}

}  // namespace
}  // namespace velloria::testing
