// The grid's input, sent as real Qt events: mouse presses and releases, double clicks,
// the wheel, the key table, the five-position scroll bar and leaving the grid.
#include <QScrollBar>
#include <memory>

#include "tests/ui/dbgrid_fixture.h"
#include "ui/messagebox.h"

namespace velloria::testing {
namespace {

using GridMouseTest = GridFixture;
using GridKeyTest = GridFixture;
using GridScrollBarTest = GridFixture;

TEST_F(GridMouseTest, ClickOnTheThirdRowMovesTwoRecordsThenReportsTheClick) {
  OpenData(10);
  ShowFocused();
  Click(CellCenter(3));
  EXPECT_EQ(clicks, std::vector<std::string>{"Row 3"});
  EXPECT_EQ(ActiveRow(), 2);
  EXPECT_EQ(grid->Row(), 3);
}

TEST_F(GridMouseTest, ClicksOutsideEveryCellDoNothing) {
  OpenData(3);
  ShowFocused();
  QRect last = grid->CellRect(0, 3);
  Click(QPoint(last.right() + 2, grid->CellRect(0, 2).center().y()));
  Click(QPoint(last.center().x(), last.bottom() + 5));
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(ActiveRow(), 0);
}

TEST_F(GridMouseTest, DoubleClickReportsTwoClicksAndItsSecondPressDoesNotMove) {
  OpenData(10);
  ShowFocused();
  DoubleClick(CellCenter(4));
  EXPECT_EQ(clicks, (std::vector<std::string>{"Row 4", "Row 4"}));
  EXPECT_EQ(doubleClicks, 1);

  clicks.clear();
  Click(CellCenter(2));
  data->First();
  Mouse(QEvent::MouseButtonDblClick, CellCenter(2), Qt::LeftButton);
  Release(CellCenter(2));
  EXPECT_EQ(clicks, (std::vector<std::string>{"Row 2", "Row 1"}));
  EXPECT_EQ(ActiveRow(), 0);
}

TEST_F(GridMouseTest, RightPressMovesWithoutAClick) {
  OpenData(10);
  ShowFocused();
  Click(CellCenter(5), Qt::RightButton);
  EXPECT_EQ(ActiveRow(), 4);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(GridMouseTest, ReleaseOverAnotherRowReportsThePressedRow) {
  OpenData(10);
  ShowFocused();
  Press(CellCenter(2));
  Release(CellCenter(6));
  EXPECT_EQ(clicks, std::vector<std::string>{"Row 2"});
  EXPECT_EQ(ActiveRow(), 1);
}

TEST_F(GridMouseTest, PressGivesTheGridTheFocusAndMovesReachTheHandler) {
  OpenData(10);
  ShowFocused();
  other->setFocus();
  std::vector<QPoint> moves;
  grid->OnMouseMove = [&](TDBGrid*, Qt::KeyboardModifiers, int x, int y) {
    moves.emplace_back(x, y);
  };
  Mouse(QEvent::MouseMove, CellCenter(2), Qt::NoButton);
  Click(CellCenter(2));
  EXPECT_TRUE(grid->hasFocus());
  EXPECT_EQ(ActiveRow(), 1);
  ASSERT_FALSE(moves.empty());
  EXPECT_EQ(moves[0], CellCenter(2));
}

// The wheel moves the table, not only the marked row, so a click after wheel turns
// lands on the clicked category.
TEST_F(GridMouseTest, WheelMovesTheTableSoTheNextClickSelectsTheClickedRow) {
  OpenData(30);
  ShowFocused();
  Wheel(-3);
  EXPECT_EQ(ActiveRow(), 3);
  EXPECT_EQ(grid->Row(), 4);
  Click(CellCenter(2));
  EXPECT_EQ(clicks, std::vector<std::string>{"Row 2"});
  Wheel(5);
  EXPECT_EQ(ActiveRow(), 0);
  EXPECT_TRUE(data->Bof());
  data->Last();
  Wheel(-2);
  EXPECT_EQ(ActiveRow(), 29);
  EXPECT_EQ(grid->Row(), grid->RowCount() - 1);
}

TEST_F(GridKeyTest, DownAndUpAtTheEndsMoveTheThumb) {
  OpenData(5);
  ShowFocused();
  data->Last();
  Key(Qt::Key_Down);
  EXPECT_EQ(ActiveRow(), 4);
  EXPECT_TRUE(data->Eof());
  EXPECT_EQ(ThumbPosition(), 4);

  data->First();
  data->Next();
  Key(Qt::Key_Up);
  EXPECT_EQ(ActiveRow(), 0);
  EXPECT_EQ(ThumbPosition(), 2);
  Key(Qt::Key_Up);
  EXPECT_EQ(ThumbPosition(), 0);
}

TEST_F(GridKeyTest, HomeEndAndPageKeys) {
  OpenData(30);
  ShowFocused();
  int visible = grid->VisibleRowCount();
  Key(Qt::Key_End);
  EXPECT_EQ(ActiveRow(), 29);
  EXPECT_EQ(grid->Row(), visible);
  Key(Qt::Key_Home);
  EXPECT_EQ(ActiveRow(), 0);
  EXPECT_EQ(grid->Row(), 1);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(ActiveRow(), visible);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(ActiveRow(), 29);
  Key(Qt::Key_PageUp);
  EXPECT_EQ(ActiveRow(), 29 - visible);
}

TEST_F(GridKeyTest, ControlKeysGoToTheWindowEdges) {
  OpenData(30);
  ShowFocused();
  data->MoveBy(3);
  Key(Qt::Key_Down, Qt::ControlModifier);
  EXPECT_EQ(ActiveRow(), grid->VisibleRowCount() - 1);
  Key(Qt::Key_Up, Qt::ControlModifier);
  EXPECT_EQ(ActiveRow(), 0);
  Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(ActiveRow(), 29);
}

TEST_F(GridKeyTest, TabAndShiftTabStepRecordsAndKeepTheFocus) {
  OpenData(5);
  ShowFocused();
  Key(Qt::Key_Tab);
  Key(Qt::Key_Tab);
  EXPECT_EQ(ActiveRow(), 2);
  Key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(ActiveRow(), 1);
  EXPECT_TRUE(grid->hasFocus());
}

TEST_F(GridKeyTest, EnterIsLeftToTheWindowAndHandlersSeeKeysFirst) {
  OpenData(5);
  ShowFocused();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(grid, &enter);
  EXPECT_FALSE(enter.isAccepted());

  std::vector<int> seen;
  grid->OnKeyDown = [&](TDBGrid*, int& key, Qt::KeyboardModifiers) {
    seen.push_back(key);
    if (key == Qt::Key_Down) key = 0;
  };
  Key(Qt::Key_Down);
  Key(Qt::Key_End);
  EXPECT_EQ(seen, (std::vector<int>{Qt::Key_Down, Qt::Key_End}));
  EXPECT_EQ(ActiveRow(), 4);
}

TEST_F(GridKeyTest, ControlDeleteDeletesNothingWhenBeforeDeleteAborts) {
  OpenData(5);
  ShowFocused();
  data->MoveBy(2);
  data->BeforeDelete = [](TDataSet&) { Abort(); };
  EXPECT_THROW(Key(Qt::Key_Delete, Qt::ControlModifier), EAbort);
  EXPECT_EQ(memory->RowsHeld(), 5);
  EXPECT_EQ(ActiveText(), "Row 3");
  EXPECT_EQ(grid->Row(), 3);

  data->BeforeDelete = nullptr;
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(memory->RowsHeld(), 4);
  EXPECT_EQ(ActiveText(), "Row 4");
  grid->SetReadOnly(true);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(memory->RowsHeld(), 4);
}

TEST_F(GridKeyTest, ControlDeleteAsksFirstWithConfirmDeleteAndOnlyOkDeletes) {
  OpenData(5);
  grid->SetOptions(grid->Options().With(dgConfirmDelete));
  ShowFocused();
  data->MoveBy(2);
  auto answer = std::make_shared<BoxAnswerForTesting>();
  answer->result = mrCancel;
  QueueBoxAnswerForTesting(answer);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(answer->text, "Delete record?");
  EXPECT_EQ(answer->kind, mtConfirmation);
  EXPECT_EQ(answer->buttons, (QStringList{"OK", "Cancel"}));
  EXPECT_EQ(memory->RowsHeld(), 5);

  answer = std::make_shared<BoxAnswerForTesting>();
  QueueBoxAnswerForTesting(answer);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_TRUE(answer->answered);
  EXPECT_EQ(memory->RowsHeld(), 4);
  EXPECT_EQ(ActiveText(), "Row 4");
}

TEST_F(GridKeyTest, KeysDoNothingWhileTheTableIsClosed) {
  ShowFocused();
  Key(Qt::Key_Down);
  Key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(grid->Row(), 1);
}

TEST_F(GridKeyTest, LeavingTheGridCancelsAnUntouchedInsert) {
  OpenData(5);
  ShowFocused();
  data->Insert();
  ASSERT_EQ(data->State(), TDataSetState::dsInsert);
  other->setFocus();
  EXPECT_EQ(data->State(), TDataSetState::dsBrowse);
  EXPECT_EQ(memory->RowsHeld(), 5);
}

TEST_F(GridScrollBarTest, LineAndPageRequestsMoveByTheWindow) {
  OpenData(60);
  ShowFocused();
  QScrollBar* bar = grid->verticalScrollBar();
  int visible = grid->VisibleRowCount();
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(ActiveRow(), visible);
  EXPECT_EQ(ThumbPosition(), 2);
  bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(ActiveRow(), 0);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(ActiveRow(), visible);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(ActiveRow(), 59);
  EXPECT_EQ(ThumbPosition(), 4);
  bar->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(ActiveRow(), 0);
  EXPECT_EQ(ThumbPosition(), 0);
}

TEST_F(GridScrollBarTest, ThumbReleasedAtEachPosition) {
  OpenData(60);
  ShowFocused();
  QScrollBar* bar = grid->verticalScrollBar();
  auto dragTo = [&](int position) {
    bar->setSliderDown(true);
    bar->setSliderPosition(position);
    bar->setSliderDown(false);
  };
  int visible = grid->VisibleRowCount();
  dragTo(4);
  EXPECT_EQ(ActiveRow(), 59);
  dragTo(1);
  EXPECT_EQ(ActiveRow(), 59 - visible);
  EXPECT_EQ(ThumbPosition(), 2);
  dragTo(2);
  EXPECT_EQ(ActiveRow(), 59 - visible);
  dragTo(3);
  EXPECT_EQ(ActiveRow(), 59);
  dragTo(0);
  EXPECT_EQ(ActiveRow(), 0);
  EXPECT_EQ(ThumbPosition(), 0);
}

TEST_F(GridScrollBarTest, RequestTakesTheFocusAndIsDroppedWhileClosed) {
  ShowFocused();
  other->setFocus();
  grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_TRUE(grid->hasFocus());
  OpenData(30);
  other->setFocus();
  grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_TRUE(grid->hasFocus());
  EXPECT_EQ(ActiveRow(), grid->VisibleRowCount());
}

}  // namespace
}  // namespace velloria::testing
