// TDBGrid painting: grid lines, the title cell, data cells handed to the draw handler
// with the drawn row made the dataset's active record, the highlight and focus rules.
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "ui/active_record_swap.h"
#include "ui/dbgrid.h"

namespace velloria {

void TDBGrid::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  struct CanvasScope {
    TGridCanvas& canvas;
    ~CanvasScope() { canvas = TGridCanvas(); }
  } scope{m_canvas};
  m_canvas = TGridCanvas(&painter);
  m_pendingPaint -= event->region();
  QRect dirty = event->rect();
  paintGridLines(painter, dirty);
  for (int row = 0; row < m_rowCount; ++row) {
    for (int col = 0; col < m_colCount; ++col) {
      QRect rect = CellRect(col, row);
      if (!rect.intersects(dirty)) continue;
      if (row < m_titleOffset) {
        paintTitleCell(painter, col, rect);
      } else {
        paintDataCell(painter, col, row, rect);
      }
    }
  }
  paintOutsideArea(painter);
  if (m_dropRow >= 0) paintDropFrame(painter, rowRect(m_dropRow));
}

void TDBGrid::paintGridLines(QPainter& painter, const QRect& dirty) {
  const QColor silver(192, 192, 192);
  QColor dataLine = m_color == silver ? QColor(128, 128, 128) : silver;
  int right = columnsRight();
  int bottom = rowsBottom();
  int titleBottom = rowTop(m_titleOffset);
  if (m_options.Contains(dgColLines)) {
    for (int col = 0; col < m_colCount; ++col) {
      int x = columnLeft(col + 1) - 1;
      if (x < dirty.left() || x > dirty.right()) continue;
      painter.fillRect(x, 0, 1, titleBottom, Qt::black);
      painter.fillRect(x, titleBottom, 1, bottom - titleBottom, dataLine);
    }
  }
  if (m_options.Contains(dgRowLines)) {
    for (int row = 0; row < m_rowCount; ++row) {
      int y = rowTop(row + 1) - 1;
      if (y < dirty.top() || y > dirty.bottom()) continue;
      painter.fillRect(0, y, right, 1, row < m_titleOffset ? QColor(Qt::black) : dataLine);
    }
  }
}

void TDBGrid::paintTitleCell(QPainter& painter, int col, const QRect& rect) {
  TColumn* column = m_columns[col];
  m_canvas.Font = m_titleFont;
  m_canvas.FontColor = palette().color(QPalette::WindowText);
  m_canvas.BrushColor = column->Title().Color();
  bool bothLines = m_options.Contains(dgRowLines) && m_options.Contains(dgColLines);
  QRect textRect = bothLines ? rect.adjusted(1, 1, -1, -1) : rect;
  int offset = bothLines ? 1 : 2;
  WriteText(m_canvas, textRect, offset, offset, column->Title().Caption(),
            column->Title().Alignment());
  if (m_options.Contains(dgRowLines)) DrawRaisedInnerEdge(painter, rect);
}

void TDBGrid::paintDataCell(QPainter& painter, int col, int row, const QRect& rect) {
  TColumn* column = m_columns[col];
  m_canvas.Font = column->Font();
  m_canvas.FontColor = palette().color(QPalette::WindowText);
  m_canvas.BrushColor = column->Color();
  if (!linkActive()) {
    m_canvas.FillRect(rect);
    return;
  }
  bool selected = row == m_row && (col == m_col || m_options.Contains(dgRowSelect));
  int dataRow = row - m_titleOffset;
  bool hasRecord = dataRow < m_link.RecordCount();
  {
    int drawn = hasRecord ? m_link.FirstRecord() + dataRow : dataSet()->ActiveRecordIndex();
    ActiveRecordSwap swap(dataSet(), drawn);
    QString value;
    TField* field = hasRecord ? column->Field() : nullptr;
    if (field != nullptr) value = QString::fromStdString(field->DisplayText());
    if ((hasRecord && rowInSelection()) || highlights(selected)) {
      m_canvas.BrushColor = palette().color(QPalette::Highlight);
      m_canvas.FontColor = palette().color(QPalette::HighlightedText);
    }
    if (!isEnabled()) m_canvas.FontColor = palette().color(QPalette::Disabled, QPalette::Text);
    if (m_defaultDrawing) WriteText(m_canvas, rect, 2, 2, value, column->Alignment());
    if (OnDrawColumnCell) {
      OnDrawColumnCell(this, rect, col, column, {selected, selected && isActiveControl(), false});
    }
  }
  bool showsSelection = m_options.Contains(dgAlwaysShowSelection) || holdsKeyboardFocus();
  if (m_defaultDrawing && selected && showsSelection && !m_options.Contains(dgRowSelect) &&
      m_updateLock == 0 && isActiveControl()) {
    DrawFocusRect(painter, rect);
  }
}

void TDBGrid::paintOutsideArea(QPainter& painter) {
  int right = std::max(0, columnsRight());
  int bottom = rowsBottom();
  QRect area = viewport()->rect();
  painter.fillRect(QRect(right, 0, area.width() - right, area.height()), m_color);
  painter.fillRect(QRect(0, bottom, right, area.height() - bottom), m_color);
}

// The row a drag would drop on: a frame of the highlight colour inside its cells, drawn
// as four filled bands so that every side keeps its width at fractional scale factors.
void TDBGrid::paintDropFrame(QPainter& painter, const QRect& row) {
  const QColor color = palette().color(QPalette::Highlight);
  const int width = std::min(kDropFrameWidth, row.height() / 2);
  painter.fillRect(QRect(row.left(), row.top(), row.width(), width), color);
  painter.fillRect(QRect(row.left(), row.bottom() - width + 1, row.width(), width), color);
  painter.fillRect(QRect(row.left(), row.top(), width, row.height()), color);
  painter.fillRect(QRect(row.right() - width + 1, row.top(), width, row.height()), color);
}

bool TDBGrid::isActiveControl() const { return window()->focusWidget() == this; }

bool TDBGrid::highlights(bool selected) const {
  bool showsSelection = m_options.Contains(dgAlwaysShowSelection) || holdsKeyboardFocus();
  return selected && showsSelection && (m_updateLock == 0 || m_options.Contains(dgRowSelect));
}

bool TDBGrid::rowInSelection() const {
  return !m_selectedRows.IsEmpty() && m_selectedRows.Find(dataSet()->GetBookmark());
}

TColumn* TDBGrid::columnOfCell(int col) const {
  return col >= 0 && col < m_columns.Count() ? m_columns[col] : nullptr;
}

}  // namespace velloria
