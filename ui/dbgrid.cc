// TDBGrid: configuration, layout and row count, the dataset's notices, scroll-bar state
// and geometry (painting in dbgrid_paint.cc, input in dbgrid_input.cc). The marked row
// only ever follows the dataset's notices; input moves the dataset, never the row.
#include "ui/dbgrid.h"

#include <QFontMetrics>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>
#include <string>

namespace velloria {
namespace {

// The vertical bar of a dataset that is not sequenced: top, middle, bottom.
constexpr int kBarTop = 0;
constexpr int kBarMiddle = 2;
constexpr int kBarBottom = 4;

// Options this grid does not offer: no in-place editor, indicator column, column
// sizing or multi-selection.
struct UnsupportedOption {
  TDBGridOption option;
  const char* name;
};
constexpr UnsupportedOption kUnsupportedOptions[] = {{dgEditing, "dgEditing"},
                                                     {dgAlwaysShowEditor, "dgAlwaysShowEditor"},
                                                     {dgIndicator, "dgIndicator"},
                                                     {dgColumnResize, "dgColumnResize"},
                                                     {dgMultiSelect, "dgMultiSelect"}};

}  // namespace

// ---- Data link

void TGridDataLink::ActiveChanged() { m_grid->linkActiveChanged(); }
void TGridDataLink::DataSetChanged() { m_grid->dataChanged(); }
void TGridDataLink::DataSetScrolled(int distance) { m_grid->scrollData(distance); }
void TGridDataLink::RecordChanged(TField* field) { m_grid->recordChanged(field); }
void TGridDataLink::LayoutChanged() { m_grid->layoutChangedByDataSet(); }

// ---- Construction and configuration

TDBGrid::TDBGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  m_color = palette().color(QPalette::Base);
  m_fixedColor = palette().color(QPalette::Button);
  m_titleFont = font();
  m_options = TDBGridOptions{dgTitles, dgColLines, dgRowLines, dgTabs, dgConfirmDelete,
                             dgCancelOnExit};
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(2);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, 0);
  bar->setPageStep(0);
  bar->installEventFilter(this);
  connect(bar, &QScrollBar::actionTriggered, this, &TDBGrid::scrollBarAction);
  connect(bar, &QScrollBar::sliderReleased, this, &TDBGrid::scrollBarReleased);
  measureRowHeights();
}

TDBGrid::~TDBGrid() {
  m_destroying = true;
  m_link.SetDataSource(nullptr);
}

void TDBGrid::SetDataSource(TDataSource* source) {
  if (source == m_link.DataSource()) return;
  m_selectedRows.Clear();
  m_link.SetDataSource(source);
  LayoutChanged();
}

void TDBGrid::SetOptions(TDBGridOptions options) {
  if (options == m_options) return;
  for (const UnsupportedOption& unsupported : kUnsupportedOptions) {
    if (options.Contains(unsupported.option)) {
      throw EInvalidGridOperation(std::string("Grid option not supported: ") + unsupported.name);
    }
  }
  TDBGridOptions changes = m_options.Changes(options);
  m_options = options;
  TDBGridOptions layoutChanges = changes.Without(dgColumnResize)
                                     .Without(dgTabs)
                                     .Without(dgConfirmDelete)
                                     .Without(dgCancelOnExit)
                                     .Without(dgMultiSelect);
  if (layoutChanges.Bits() != 0) {
    LayoutChanged();
  } else {
    invalidateAll();
  }
}

void TDBGrid::SetTitleFont(const QFont& font) {
  m_titleFont = font;
  LayoutChanged();
}

void TDBGrid::SetColor(const QColor& color) {
  m_color = color;
  invalidateAll();
}

void TDBGrid::SetFixedColor(const QColor& color) {
  m_fixedColor = color;
  invalidateAll();
}

// ---- Layout

void TDBGrid::BeginLayout() {
  ++m_updateLock;
  ++m_layoutLock;
}

void TDBGrid::EndLayout() {
  if (m_layoutLock == 0) return;
  struct Release {
    TDBGrid* grid;
    ~Release() {
      --grid->m_layoutLock;
      --grid->m_updateLock;
    }
  } release{this};
  if (m_layoutLock == 1) internalLayout();
}

void TDBGrid::LayoutChanged() {
  if (m_layoutLock > 0 || m_updateLock > 0) return;
  BeginLayout();
  EndLayout();
}

void TDBGrid::internalLayout() {
  if (m_destroying) return;
  m_deferredLayoutPending = false;
  m_colCount = m_columns.Count();
  m_titleOffset = m_options.Contains(dgTitles) ? 1 : 0;
  measureRowHeights();
  updateRowCount();
  setColumnAttributes();
  followCurrentRecord();
  updateHorizontalScrollBar();
  invalidateAll();
}

void TDBGrid::postDeferredLayout() {
  if (m_deferredLayoutPending) return;
  m_deferredLayoutPending = true;
  QMetaObject::invokeMethod(this, [this] { runDeferredLayout(); }, Qt::QueuedConnection);
}

void TDBGrid::runDeferredLayout() {
  if (!m_deferredLayoutPending) return;
  m_deferredLayoutPending = false;
  if (m_layoutLock > 0 || m_updateLock > 0) {
    postDeferredLayout();
    return;
  }
  LayoutChanged();
}

void TDBGrid::measureRowHeights() {
  int lineWidth = m_options.Contains(dgRowLines) ? 1 : 0;
  m_dataRowHeight = QFontMetrics(font()).height() + 3 + lineWidth;
  m_titleRowHeight = QFontMetrics(m_titleFont).height() + 4;
}

void TDBGrid::setColumnAttributes() {
  for (int i = 0; i < m_columns.Count(); ++i) {
    TColumn* column = m_columns[i];
    TField* field = linkActive() ? column->Field() : nullptr;
    column->SetTabStop(column->Visible() && !column->ReadOnly() && field != nullptr &&
                       !field->Calculated() && !field->ReadOnly);
  }
}

int TDBGrid::fittingDataRows() const {
  int pitch = m_dataRowHeight + (m_options.Contains(dgRowLines) ? 1 : 0);
  int available = viewport()->height() - rowTop(m_titleOffset);
  return std::max(0, available / pitch);
}

int TDBGrid::VisibleRowCount() const {
  return std::min(fittingDataRows(), m_rowCount - m_titleOffset);
}

void TDBGrid::updateRowCount() {
  if (m_inRowCountUpdate) return;
  m_inRowCountUpdate = true;
  struct Leave {
    bool& flag;
    ~Leave() { flag = false; }
  } leave{m_inRowCountUpdate};
  int oldRowCount = m_rowCount;
  if (!linkActive() || m_link.RecordCount() == 0) {
    m_rowCount = m_titleOffset + 1;
  } else {
    m_link.SetBufferCount(std::max(1, fittingDataRows()));
    m_rowCount = std::max(1, m_link.RecordCount()) + m_titleOffset;
  }
  m_row = std::clamp(m_row, m_titleOffset, m_rowCount - 1);
  m_col = std::clamp(m_col, 0, std::max(0, m_colCount - 1));
  followCurrentRecord();
  if (m_rowCount != oldRowCount) invalidateAll();
}

void TDBGrid::followCurrentRecord() {
  if (!linkActive()) return;
  int row = m_link.ActiveRecord() + m_titleOffset;
  if (row == m_row) return;
  if (row >= m_rowCount) updateRowCount();
  if (row < m_titleOffset || row >= m_rowCount) return;
  invalidateCell(m_col, m_row);
  m_row = row;
  invalidateCell(m_col, m_row);
}

void TDBGrid::MoveCurrentCell(int col, int row) {
  if (col < 0 || col >= std::max(1, m_colCount) || row < 0 || row >= m_rowCount) {
    throw EInvalidGridOperation("Grid index out of range");
  }
  invalidateCell(m_col, m_row);
  m_col = col;
  m_row = row;
  invalidateCell(m_col, m_row);
}

// ---- Notices

void TDBGrid::linkActiveChanged() {
  if (m_destroying) return;
  m_selectedRows.Clear();
  layoutForDataSet();
  updateVerticalScrollBar();
}

void TDBGrid::dataChanged() {
  updateRowCount();
  updateVerticalScrollBar();
  followCurrentRecord();
  m_pendingPaint = QRegion();
  invalidateAll();
}

void TDBGrid::scrollData(int distance) {
  QRect oldRow = rowRect(m_row);
  if (m_link.ActiveRecord() >= m_rowCount - m_titleOffset) updateRowCount();
  updateVerticalScrollBar();
  followCurrentRecord();
  if (distance != 0) scrollDataArea(distance, oldRow);
  invalidate(oldRow);
  invalidate(rowRect(m_row));
  if (m_updateLock == 0) paintPendingNow();
}

void TDBGrid::scrollDataArea(int distance, const QRect& oldRow) {
  if (std::abs(distance) > VisibleRowCount()) {
    invalidateAll();
    return;
  }
  int pitch = m_dataRowHeight + (m_options.Contains(dgRowLines) ? 1 : 0);
  int top = rowTop(m_titleOffset);
  QRect dataArea(0, top, viewport()->width(), viewport()->height() - top);
  int dy = -distance * pitch;
  viewport()->scroll(0, dy, dataArea);
  // The rows may end above the window's bottom edge: rows moving up are replaced from the
  // last row's bottom on, and rows moving down leave their pixels below it.
  int rowsEnd = std::min(rowsBottom(), viewport()->height());
  int width = dataArea.width();
  QRect uncovered = dy < 0 ? QRect(0, rowsEnd + dy, width, viewport()->height() - rowsEnd - dy)
                           : QRect(0, top, width, dy);
  invalidate(uncovered);
  invalidate(QRect(0, rowsEnd, width, viewport()->height() - rowsEnd));
  // The old current row's highlight moved with the pixels.
  invalidate(oldRow.translated(0, dy).intersected(dataArea));
}

void TDBGrid::recordChanged(TField* field) {
  if (field == nullptr) {
    invalidateAll();
    return;
  }
  for (int i = 0; i < m_columns.Count(); ++i) {
    if (m_columns[i]->Field() != field) continue;
    QRect column = CellRect(i, 0).united(CellRect(i, m_rowCount - 1));
    invalidate(column);
  }
}

void TDBGrid::layoutChangedByDataSet() { layoutForDataSet(); }

void TDBGrid::layoutForDataSet() {
  // A notice that arrives while a lock is held (the dataset moved from inside a mouse
  // press or a key) must not be lost: its layout runs once the lock is gone.
  if (m_layoutLock > 0 || m_updateLock > 0) {
    postDeferredLayout();
  } else {
    LayoutChanged();
  }
}

// ---- Scroll bars

void TDBGrid::updateScrollBars() {
  updateVerticalScrollBar();
  updateHorizontalScrollBar();
}

void TDBGrid::updateVerticalScrollBar() {
  if (!linkActive()) return;
  TDataSet* data = dataSet();
  int position = data->Bof() ? kBarTop : data->Eof() ? kBarBottom : kBarMiddle;
  QScrollBar* bar = verticalScrollBar();
  if (bar->minimum() == kBarTop && bar->maximum() == kBarBottom && bar->pageStep() == 0 &&
      bar->value() == position && bar->sliderPosition() == position) {
    return;
  }
  bar->setRange(kBarTop, kBarBottom);
  bar->setPageStep(0);
  bar->setValue(position);
}

void TDBGrid::updateHorizontalScrollBar() {
  QScrollBar* bar = horizontalScrollBar();
  int contentWidth = columnsRight() + bar->value();
  bar->setPageStep(viewport()->width());
  bar->setRange(0, std::max(0, contentWidth - viewport()->width()));
}

void TDBGrid::scrollContentsBy(int dx, int) {
  if (dx != 0) invalidateAll();
}

void TDBGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateRowCount();
  updateScrollBars();
  followCurrentRecord();
}

// ---- Geometry

int TDBGrid::columnLeft(int col) const {
  int lineWidth = m_options.Contains(dgColLines) ? 1 : 0;
  int x = -horizontalScrollBar()->value();
  for (int i = 0; i < col && i < m_columns.Count(); ++i) x += m_columns[i]->Width() + lineWidth;
  return x;
}

int TDBGrid::rowTop(int row) const {
  int lineWidth = m_options.Contains(dgRowLines) ? 1 : 0;
  int titleRows = std::min(row, m_titleOffset);
  int dataRows = std::max(0, row - m_titleOffset);
  return titleRows * (m_titleRowHeight + lineWidth) + dataRows * (m_dataRowHeight + lineWidth);
}

int TDBGrid::rowHeight(int row) const {
  return row < m_titleOffset ? m_titleRowHeight : m_dataRowHeight;
}

int TDBGrid::columnsRight() const { return columnLeft(m_colCount); }

int TDBGrid::rowsBottom() const { return rowTop(m_rowCount); }

QRect TDBGrid::CellRect(int col, int row) const {
  if (col < 0 || col >= m_colCount || row < 0 || row >= m_rowCount) return QRect();
  return QRect(columnLeft(col), rowTop(row), m_columns[col]->Width(), rowHeight(row));
}

QRect TDBGrid::rowRect(int row) const {
  if (m_colCount == 0) return QRect();
  return CellRect(0, row).united(CellRect(m_colCount - 1, row));
}

TDBGrid::Cell TDBGrid::cellAt(const QPoint& point) const {
  if (point.x() < 0 || point.y() < 0) return {};
  if (point.x() >= columnsRight() || point.y() >= rowsBottom()) return {};
  Cell cell;
  for (int col = 0; col < m_colCount; ++col) {
    if (point.x() < columnLeft(col + 1)) {
      cell.col = col;
      break;
    }
  }
  for (int row = 0; row < m_rowCount; ++row) {
    if (point.y() < rowTop(row + 1)) {
      cell.row = row;
      break;
    }
  }
  if (cell.col < 0 || cell.row < 0) return {};
  return cell;
}

void TDBGrid::invalidate(const QRect& rect) {
  if (rect.isEmpty()) return;
  viewport()->update(rect);
  m_pendingPaint += rect;
}

void TDBGrid::invalidateAll() { invalidate(viewport()->rect()); }

void TDBGrid::invalidateCell(int col, int row) {
  if (m_options.Contains(dgRowSelect)) {
    invalidate(rowRect(row));
  } else {
    invalidate(CellRect(col, row));
  }
}

void TDBGrid::paintPendingNow() {
  QRegion pending = m_pendingPaint;
  m_pendingPaint = QRegion();
  if (!pending.isEmpty() && viewport()->isVisible()) viewport()->repaint(pending);
}

// ---- Row-selection service

bool TDBGrid::CurrentRowSelected() const {
  if (!linkActive()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  return m_selectedRows.Find(dataSet()->GetBookmark());
}

void TDBGrid::SetCurrentRowSelected(bool selected) {
  if (!linkActive()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
  m_selectedRows.SetSelected(dataSet()->GetBookmark(), selected);
  invalidate(rowRect(m_row));
}

}  // namespace velloria
