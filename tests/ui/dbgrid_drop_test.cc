// Drops on the grid's rows, sent as real Qt drag events: only drags of the grid's format
// reach the handlers, with the record of the row under the pointer active (also when the
// grid shows the table's end), the title row and the room outside the rows take nothing,
// the hovered row is framed, Ctrl makes the drop a copy, and a drag held at an edge
// scrolls the rows.
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>

#include "tests/ui/dbgrid_fixture.h"

namespace velloria::testing {
namespace {

constexpr const char* kFormat = "application/x-test-row-drop";

class GridDropTest : public GridFixture {
 protected:
  void SetUp() override {
    GridFixture::SetUp();
    mime.setData(kFormat, "payload");
    grid->SetDropFormat(kFormat);
    grid->AcceptsDrop = [this](TDBGrid*, int, const QMimeData* data) {
      asked.push_back(ActiveText());
      return data->data(kFormat) == "payload" && ActiveText() != refused;
    };
    grid->OnDropOnRow = [this](TDBGrid*, int, const QMimeData*, Qt::DropAction action) {
      drops.push_back(ActiveText() + (action == Qt::CopyAction ? " copy" : " move"));
    };
  }

  // Enters at `point` and moves there, as Qt does; true when the place takes the drop.
  bool Hover(QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QMimeData* data = nullptr) {
    const QMimeData* carried = data != nullptr ? data : &mime;
    QDragEnterEvent enter(point, Qt::CopyAction | Qt::MoveAction, carried, Qt::LeftButton,
                          modifiers);
    Send(&enter);
    if (!enter.isAccepted()) return false;
    QDragMoveEvent move(point, Qt::CopyAction | Qt::MoveAction, carried, Qt::LeftButton, modifiers);
    Send(&move);
    lastAction = move.dropAction();
    return move.isAccepted();
  }
  bool Drop(QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QDropEvent drop(point, Qt::CopyAction | Qt::MoveAction, &mime, Qt::NoButton, modifiers);
    Send(&drop);
    return drop.isAccepted();
  }

  QMimeData mime;
  std::vector<std::string> asked;
  std::vector<std::string> drops;
  std::string refused;
  Qt::DropAction lastAction = Qt::IgnoreAction;
};

TEST_F(GridDropTest, ADropReachesTheRowsRecordAlsoWithTheTableEndShown) {
  OpenData(100);
  ShowFocused();
  data->Last();
  QApplication::processEvents();
  const std::string third = "Row " + std::to_string(100 - grid->VisibleRowCount() + 3);
  ASSERT_TRUE(Hover(CellCenter(3)));
  EXPECT_EQ(asked.back(), third);
  EXPECT_EQ(grid->DropTargetRow(), 3);
  EXPECT_EQ(lastAction, Qt::MoveAction);
  EXPECT_TRUE(Hover(CellCenter(2), Qt::ControlModifier));
  EXPECT_EQ(lastAction, Qt::CopyAction);
  EXPECT_TRUE(Drop(CellCenter(3), Qt::ControlModifier));
  EXPECT_EQ(drops, std::vector<std::string>{third + " copy"});
  EXPECT_EQ(grid->DropTargetRow(), -1) << "the frame goes with the drop";
  EXPECT_EQ(ActiveText(), "Row 100") << "the grid's current record stays";
  EXPECT_TRUE(Hover(CellCenter(1)));
  asked.clear();
  QDragMoveEvent again(CellCenter(1) + QPoint(3, 1), Qt::CopyAction | Qt::MoveAction, &mime,
                       Qt::LeftButton, Qt::NoModifier);
  Send(&again);
  EXPECT_TRUE(again.isAccepted());
  EXPECT_TRUE(asked.empty()) << "a row is asked once while the drag hovers over it";
  EXPECT_TRUE(Drop(CellCenter(1)));
  EXPECT_EQ(asked.size(), 1u) << "the drop asks again";
  EXPECT_EQ(drops.back(), "Row " + std::to_string(100 - grid->VisibleRowCount() + 1) + " move");
}

TEST_F(GridDropTest, TitleRowRoomOutsideRowsRefusedRowsAndOtherDragsTakeNothing) {
  OpenData(3);
  ShowFocused();
  EXPECT_FALSE(Hover(CellCenter(0))) << "the title row";
  QRect last = grid->CellRect(0, 3);
  EXPECT_FALSE(Hover(QPoint(last.center().x(), last.bottom() + 5))) << "below the rows";
  EXPECT_FALSE(Hover(QPoint(last.right() + 2, last.center().y()))) << "right of the column";
  EXPECT_EQ(grid->DropTargetRow(), -1);

  refused = "Row 2";
  EXPECT_FALSE(Hover(CellCenter(2)));
  EXPECT_TRUE(Hover(CellCenter(1)));
  asked.clear();
  EXPECT_FALSE(Drop(CellCenter(2))) << "a drop looks at its place again";
  EXPECT_EQ(asked, std::vector<std::string>{"Row 2"});
  EXPECT_TRUE(drops.empty());
  EXPECT_TRUE(Hover(CellCenter(1)));
  QDragLeaveEvent leave;
  Send(&leave);
  EXPECT_EQ(grid->DropTargetRow(), -1) << "the frame goes when the drag leaves";

  QMimeData files;
  files.setData("text/uri-list", "file:///tmp/x\r\n");
  asked.clear();
  EXPECT_FALSE(Hover(CellCenter(1), Qt::NoModifier, &files));
  EXPECT_TRUE(asked.empty()) << "a drag of another format is not even offered";
  EXPECT_FALSE(Drop(CellCenter(0)));
  EXPECT_TRUE(drops.empty());
}

TEST_F(GridDropTest, TheHoveredRowIsFramedInTheHighlightColour) {
  OpenData(5);
  ShowFocused();
  other->setFocus();  // no highlight of the current row in the way
  QApplication::processEvents();
  const QRgb highlight = grid->palette().color(QPalette::Highlight).rgb();
  QRect row = grid->CellRect(0, 3);
  auto framed = [&](const QImage& image) {
    return image.pixel(row.left() + 1, row.center().y()) == highlight &&
           image.pixel(row.center().x(), row.top()) == highlight &&
           image.pixel(row.center().x(), row.bottom()) == highlight &&
           image.pixel(row.right() - 1, row.center().y()) == highlight;
  };
  EXPECT_FALSE(framed(Grab()));
  ASSERT_TRUE(Hover(CellCenter(3)));
  EXPECT_TRUE(framed(Grab()));
  QDragLeaveEvent leave;
  Send(&leave);
  EXPECT_FALSE(framed(Grab()));
}

// Hundreds of categories: a drag held at the bottom edge brings the rows below into view
// and one at the top edge goes back, the frame following the record under the pointer;
// a drag that leaves, or one held where the rows do not fill the grid, scrolls nothing.
TEST_F(GridDropTest, ADragHeldAtAnEdgeScrollsTheRows) {
  OpenData(300);
  ShowFocused();
  const int visible = grid->VisibleRowCount();
  QPoint bottom(CellCenter(1).x(), grid->viewport()->height() - 2);
  ASSERT_TRUE(Hover(CellCenter(visible)));
  Hover(bottom);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ActiveText() == "Row " + std::to_string(visible + 3); }))
      << ActiveText();
  QDragLeaveEvent leave;
  Send(&leave);
  const std::string stopped = ActiveText();
  QTest::qWait(400);
  EXPECT_EQ(ActiveText(), stopped) << "a drag that left scrolls no more";

  QPoint top(CellCenter(1).x(), grid->CellRect(0, 1).top() + 1);
  Hover(top);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ActiveText() == "Row 1"; })) << ActiveText();
  EXPECT_EQ(grid->DropTargetRow(), 1);
  asked.clear();
  EXPECT_TRUE(Drop(top));
  EXPECT_EQ(drops.back(), "Row 1 move");
  QTest::qWait(400);
  EXPECT_EQ(ActiveText(), "Row 1");

  OpenData(3);
  QPoint below(CellCenter(1).x(), grid->viewport()->height() - 2);
  Hover(below);
  QTest::qWait(400);
  EXPECT_EQ(ActiveText(), "Row 1") << "nothing to scroll to";
}

}  // namespace
}  // namespace velloria::testing
