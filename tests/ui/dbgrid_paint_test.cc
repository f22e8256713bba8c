// The grid's painting, read back from the grabbed widget: lines, title, data cells,
// the draw handler's view of the table, cell states and colours, and the fetch cost.
#include <QPainter>
#include <QScreen>
#include <QPalette>

#include "tests/ui/dbgrid_fixture.h"

namespace velloria::testing {
namespace {

using GridPaintTest = GridFixture;

QColor Inverted(const QColor& color) { return QColor(color.rgb() ^ 0x00FFFFFF); }

TEST_F(GridPaintTest, EmptyTableShowsTitleAndOneBlankCurrentRowDrawnByTheHandler) {
  OpenData(0);
  ShowFocused();
  paintOver = true;
  QImage image = Grab();
  ASSERT_EQ(draws.size(), 1u);
  EXPECT_EQ(draws[0].rect, grid->CellRect(0, 1));
  EXPECT_EQ(draws[0].state, (TGridDrawState{true, true, false}));
  EXPECT_EQ(image.pixelColor(CellCenter(1)), kCream);
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_EQ(ThumbPosition(), 0);
  QRect title = grid->CellRect(0, 0);
  EXPECT_EQ(image.pixelColor(title.right() - 3, title.center().y()), grid->FixedColor());
}

TEST_F(GridPaintTest, HandlerReadsTheDrawnRowAndTheCurrentRecordIsRestored) {
  OpenData(40);
  ShowFocused();
  data->MoveBy(4);
  Grab();
  ASSERT_EQ(static_cast<int>(draws.size()), grid->VisibleRowCount());
  for (size_t i = 0; i < draws.size(); ++i) {
    EXPECT_EQ(draws[i].text, "Row " + std::to_string(i + 1));
    EXPECT_EQ(draws[i].rect, grid->CellRect(0, static_cast<int>(i) + 1));
  }
  EXPECT_EQ(ActiveText(), "Row 5");
}

TEST_F(GridPaintTest, FailingHandlerStillRestoresTheCurrentRecord) {
  OpenData(10);
  ShowFocused();
  data->MoveBy(6);
  grid->OnDrawColumnCell = [this](TDBGrid*, const QRect&, int, TColumn*, TGridDrawState) {
    if (ActiveText() == "Row 3") throw EDatabaseError("handler failed");
  };
  EXPECT_THROW(Grab(), EDatabaseError);
  EXPECT_EQ(ActiveText(), "Row 7");
}

TEST_F(GridPaintTest, LinesTitleEdgesAndTheAreaOutsideTheCells) {
  OpenData(3);
  ShowFocused();
  QImage image = Grab();
  QRect title = grid->CellRect(0, 0);
  QRect first = grid->CellRect(0, 1);
  QColor silver(192, 192, 192);
  EXPECT_EQ(image.pixelColor(title.center().x(), title.bottom() + 1), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(title.right() + 1, title.center().y()), QColor(Qt::black));
  EXPECT_EQ(image.pixelColor(first.center().x(), first.bottom() + 1), silver);
  EXPECT_EQ(image.pixelColor(first.right() + 1, first.center().y()), silver);
  QPalette palette;
  EXPECT_EQ(image.pixel(title.topLeft() + QPoint(2, 0)), palette.color(QPalette::Light).rgb());
  EXPECT_EQ(image.pixel(title.bottomRight() - QPoint(2, 0)), palette.color(QPalette::Dark).rgb());
  QRect below = grid->CellRect(0, 3);
  EXPECT_EQ(image.pixelColor(below.center().x(), below.bottom() + 5), grid->Color());
  ASSERT_GT(image.width(), first.right() + 2);
  EXPECT_EQ(image.pixelColor(first.right() + 2, first.center().y()), grid->Color());

  grid->SetColor(silver);
  image = Grab();
  EXPECT_EQ(image.pixelColor(first.center().x(), first.bottom() + 1), QColor(128, 128, 128));
}

TEST_F(GridPaintTest, FocusedGridHighlightsTheCurrentCellAndFramesIt) {
  OpenData(5);
  ShowFocused();
  QImage image = Grab();
  QPalette palette = grid->palette();
  const DrawCall& current = draws[0];
  EXPECT_EQ(current.state, (TGridDrawState{true, true, false}));
  EXPECT_EQ(current.fontColor, palette.color(QPalette::HighlightedText));
  EXPECT_EQ(current.brushColor, palette.color(QPalette::Highlight));
  QRect cell = grid->CellRect(0, 1);
  EXPECT_EQ(image.pixelColor(cell.topLeft()), Inverted(palette.color(QPalette::Highlight)));
  EXPECT_EQ(image.pixelColor(cell.topLeft() + QPoint(1, 0)), palette.color(QPalette::Highlight));
  EXPECT_EQ(draws[1].state, (TGridDrawState{false, false, false}));
  EXPECT_EQ(draws[1].brushColor, grid->Color());
}

TEST_F(GridPaintTest, UnfocusedGridDrawsTheCurrentCellPlain) {
  OpenData(5);
  ShowFocused();
  other->setFocus();
  QImage image = Grab();
  EXPECT_EQ(draws[0].state, (TGridDrawState{true, false, false}));
  EXPECT_EQ(draws[0].fontColor, grid->palette().color(QPalette::WindowText));
  EXPECT_EQ(draws[0].brushColor, grid->Color());
  EXPECT_EQ(image.pixelColor(grid->CellRect(0, 1).topLeft()), grid->Color());
}

TEST_F(GridPaintTest, InactiveWindowKeepsTheFocusedStateButDrawsNoHighlight) {
  OpenData(5);
  ShowFocused();
  QWidget elsewhere;
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  QApplication::processEvents();
  QImage image = Grab();
  EXPECT_EQ(draws[0].state, (TGridDrawState{true, true, false}));
  EXPECT_EQ(draws[0].fontColor, grid->palette().color(QPalette::WindowText));
  EXPECT_EQ(draws[0].brushColor, grid->Color());
  EXPECT_EQ(image.pixelColor(grid->CellRect(0, 1).topLeft()), grid->Color());
}

// Reads what the window system shows, scrolled pixels included (grab() repaints).
QImage ShownPixels(QWidget* viewport) {
  QApplication::processEvents();
  QPoint origin = viewport->mapTo(viewport->window(), QPoint(0, 0));
  return QGuiApplication::primaryScreen()
      ->grabWindow(viewport->window()->winId(), origin.x(), origin.y(), viewport->width(),
                   viewport->height())
      .toImage();
}

TEST_F(GridPaintTest, ScrollingByOneRowLeavesNoHighlightBehind) {
  OpenData(40);
  ShowFocused();
  int bottom = grid->VisibleRowCount();
  data->MoveBy(bottom - 1);
  ShownPixels(grid->viewport());
  Key(Qt::Key_Down);
  QImage shown = ShownPixels(grid->viewport());
  QColor highlight = grid->palette().color(QPalette::Highlight);
  auto edge = [&](int row) { return shown.pixelColor(grid->CellRect(0, row).left() + 1,
                                                     grid->CellRect(0, row).center().y()); };
  EXPECT_EQ(edge(bottom), highlight);
  EXPECT_EQ(edge(bottom - 1), grid->Color());
  Key(Qt::Key_Up);
  shown = ShownPixels(grid->viewport());
  EXPECT_EQ(edge(bottom - 1), highlight);
  EXPECT_EQ(edge(bottom), grid->Color());
}

// Rows end above the window's bottom edge; a move of several rows must repaint every row
// the scroll brought in, measured from the last row's bottom.
TEST_F(GridPaintTest, ScrollingSeveralRowsRepaintsEveryRow) {
  OpenData(80);
  ShowFocused();
  ASSERT_LT(grid->CellRect(0, grid->VisibleRowCount()).bottom(), grid->viewport()->height() - 1);
  for (auto keys : {std::vector<int>{Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageDown},
                    std::vector<int>{Qt::Key_End, Qt::Key_PageUp}}) {
    for (int key : keys) Key(key);
    QImage shown = ShownPixels(grid->viewport());
    QImage repainted = Grab();
    for (int row = 1; row <= grid->VisibleRowCount(); ++row) {
      QRect cell = grid->CellRect(0, row);
      EXPECT_EQ(shown.copy(cell), repainted.copy(cell))
          << "row " << row << " after key " << keys.back();
    }
    EXPECT_EQ(shown, repainted);
  }
}

TEST_F(GridPaintTest, OnlyTheVisibleWindowIsFetched) {
  ShowFocused();
  OpenData(200);
  Grab();
  EXPECT_EQ(grid->VisibleRowCount(), 22);
  EXPECT_EQ(data->BufferCount(), 22);
  EXPECT_LE(data->RecordFetches(), 23u);
  std::uint64_t before = data->RecordFetches();
  Grab();
  EXPECT_EQ(data->RecordFetches(), before);
  data->MoveBy(22);
  Grab();
  EXPECT_EQ(data->RecordFetches(), before + 1);
}

TEST_F(GridPaintTest, TextThroughTheOffscreenBitmapLandsWhereDirectTextDoes) {
  const QRect rect(3, 2, 60, 15);
  auto draw = [&](QImage::Format format, const QColor& brush) {
    QImage image(80, 20, format);
    image.fill(Qt::white);
    QPainter painter(&image);
    TGridCanvas canvas(&painter);
    canvas.Font = WindowFont();
    canvas.FontColor = Qt::black;
    canvas.BrushColor = brush;
    EXPECT_EQ(IsPureColor(painter, brush), format != QImage::Format_RGB16);
    WriteText(canvas, rect, 2, 2, "Wg", taRightJustify);
    painter.end();
    return image.convertToFormat(QImage::Format_RGB32);
  };
  QColor odd(3, 3, 3);
  QImage direct = draw(QImage::Format_RGB32, odd);
  QImage viaBitmap = draw(QImage::Format_RGB16, odd);
  auto darkColumns = [&](const QImage& image) {
    std::vector<int> columns;
    for (int x = rect.left(); x <= rect.right(); ++x) {
      for (int y = rect.top(); y <= rect.bottom(); ++y) {
        if (qGray(image.pixel(x, y)) > 100) {
          columns.push_back(x);
          break;
        }
      }
    }
    return columns;
  };
  EXPECT_EQ(direct.pixelColor(0, 0), QColor(Qt::white));
  EXPECT_EQ(viaBitmap.pixelColor(0, 0), QColor(Qt::white));
  EXPECT_NE(viaBitmap.pixelColor(rect.topLeft()), QColor(Qt::white));
  EXPECT_EQ(darkColumns(direct), darkColumns(viaBitmap));
}

}  // namespace
}  // namespace velloria::testing
