// TDBGrid: binding to the data link, layout and row count, painting, scrolling and
// mouse, wheel and key input. The grid never moves its marked row on its own: every
// input moves the dataset, and the dataset's notices move the marked row.
#include "ui/dbgrid.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "ui/messagebox.h"

namespace velloria {
namespace {

constexpr int kWheelNotch = 120;
// The vertical bar of a dataset that is not sequenced: top, middle, bottom.
constexpr int kBarTop = 0;
constexpr int kBarMiddle = 2;
constexpr int kBarBottom = 4;

// Options this grid does not offer: no in-place editor, indicator column, column
// sizing or multi-selection.
constexpr TDBGridOption kUnsupportedOptions[] = {dgEditing, dgAlwaysShowEditor, dgIndicator,
                                                 dgColumnResize, dgMultiSelect};

// Makes another record buffer the dataset's active one and restores it on every path.
class ActiveRecordSwap {
 public:
  ActiveRecordSwap(TDataSet* dataSet, int index)
      : m_dataSet(dataSet), m_saved(dataSet->ActiveRecordIndex()) {
    m_dataSet->SetActiveRecordIndex(index);
  }
  ~ActiveRecordSwap() { m_dataSet->SetActiveRecordIndex(m_saved); }
  ActiveRecordSwap(const ActiveRecordSwap&) = delete;
  ActiveRecordSwap& operator=(const ActiveRecordSwap&) = delete;

 private:
  TDataSet* m_dataSet;
  int m_saved;
};

bool IsEditingState(TDataSetState state) {
  return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
}

}  // namespace

// Raises the update lock for its lifetime.
class TDBGrid::UpdateLock {
 public:
  explicit UpdateLock(TDBGrid* grid) : m_grid(grid) { ++m_grid->m_updateLock; }
  ~UpdateLock() { --m_grid->m_updateLock; }
  UpdateLock(const UpdateLock&) = delete;
  UpdateLock& operator=(const UpdateLock&) = delete;

 private:
  TDBGrid* m_grid;
};

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
  for (TDBGridOption option : kUnsupportedOptions) {
    if (options.Contains(option)) {
      throw EInvalidGridOperation("Grid option not supported");
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
  invalidate(oldRow);
  invalidate(rowRect(m_row));
  if (distance != 0) {
    if (std::abs(distance) > VisibleRowCount()) {
      invalidateAll();
    } else {
      int pitch = m_dataRowHeight + (m_options.Contains(dgRowLines) ? 1 : 0);
      int top = rowTop(m_titleOffset);
      QRect dataArea(0, top, viewport()->width(), viewport()->height() - top);
      int dy = -distance * pitch;
      viewport()->scroll(0, dy, dataArea);
      QRect uncovered = dy < 0 ? QRect(0, dataArea.bottom() + 1 + dy, dataArea.width(), -dy)
                               : QRect(0, top, dataArea.width(), dy);
      invalidate(uncovered);
    }
  }
  if (m_updateLock == 0) paintPendingNow();
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

void TDBGrid::scrollBarAction(int action) {
  if (action == QAbstractSlider::SliderMove || action == QAbstractSlider::SliderNoAction) return;
  struct ShowDataSetPosition {
    TDBGrid* grid;
    int shown;
    ~ShowDataSetPosition() {
      grid->verticalScrollBar()->setSliderPosition(shown);
      grid->updateVerticalScrollBar();
    }
  } restore{this, verticalScrollBar()->value()};
  if (!takeFocusLikePress() || !linkActive()) return;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
      moveBy(-(m_link.ActiveRecord() + 1));
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      moveBy(m_link.RecordCount() - m_link.ActiveRecord());
      break;
    case QAbstractSlider::SliderPageStepSub:
      moveBy(-VisibleRowCount());
      break;
    case QAbstractSlider::SliderPageStepAdd:
      moveBy(VisibleRowCount());
      break;
    case QAbstractSlider::SliderToMinimum:
      dataSet()->First();
      break;
    case QAbstractSlider::SliderToMaximum:
      dataSet()->Last();
      break;
    default:
      break;
  }
}

void TDBGrid::scrollBarReleased() {
  int released = verticalScrollBar()->sliderPosition();
  struct ShowDataSetPosition {
    TDBGrid* grid;
    ~ShowDataSetPosition() {
      grid->verticalScrollBar()->setSliderPosition(grid->verticalScrollBar()->value());
      grid->updateVerticalScrollBar();
    }
  } restore{this};
  if (!takeFocusLikePress() || !linkActive()) return;
  switch (released) {
    case 0:
      dataSet()->First();
      break;
    case 1:
      moveBy(-VisibleRowCount());
      break;
    case 3:
      moveBy(VisibleRowCount());
      break;
    case 4:
      dataSet()->Last();
      break;
    default:
      break;
  }
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

// ---- Painting

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

// ---- Mouse and wheel

bool TDBGrid::takeFocusLikePress() {
  bool focusable = isEnabled() && isVisible() && (focusPolicy() & Qt::ClickFocus);
  if (!focusable) return true;
  if (!isActiveControl()) setFocus(Qt::MouseFocusReason);
  return isActiveControl();
}

void TDBGrid::mousePressEvent(QMouseEvent* event) {
  if (!takeFocusLikePress()) return;
  Cell cell = cellAt(event->position().toPoint());
  if (cell.row < 0 || !linkActive()) return;
  UpdateLock lock(this);
  bool wasCurrent = cell.col == m_col && cell.row == m_row;
  if (cell.row < m_titleOffset) return;
  if (cell.row != m_row) moveBy(cell.row - m_row);
  if (cell.col != m_col) MoveCurrentCell(cell.col, m_row);
  if (event->button() == Qt::LeftButton && wasCurrent) m_editorMode = true;
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    mousePressEvent(event);
    return;
  }
  if (!takeFocusLikePress()) return;
  if (OnDblClick) OnDblClick(this);
}

void TDBGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  Cell cell = cellAt(event->position().toPoint());
  if (cell.row < 0) return;
  if (cell.row < m_titleOffset) {
    if (OnTitleClick) OnTitleClick(columnOfCell(cell.col));
  } else if (OnCellClick) {
    OnCellClick(columnOfCell(m_col));
  }
}

void TDBGrid::mouseMoveEvent(QMouseEvent* event) {
  QPoint point = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, event->modifiers(), point.x(), point.y());
}

void TDBGrid::wheelEvent(QWheelEvent* event) {
  event->accept();
  if (!linkActive()) return;
  m_wheelRemainder += event->angleDelta().y();
  int notches = m_wheelRemainder / kWheelNotch;
  m_wheelRemainder -= notches * kWheelNotch;
  if (notches != 0) moveByOneRow(-notches);
}

bool TDBGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::eventFilter(watched, event);
}

// ---- Keys and focus

bool TDBGrid::event(QEvent* event) {
  if (event->type() == QEvent::KeyPress && m_options.Contains(dgTabs)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TDBGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  int key = event->key();
  Qt::KeyboardModifiers modifiers = event->modifiers();
  if (OnKeyDown) OnKeyDown(this, key, modifiers);
  if (key == 0) return;
  if (!handleKey(key, modifiers)) event->ignore();
}

bool TDBGrid::handleKey(int key, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::ControlModifier) return handleControlKey(key);
  bool active = linkActive();
  switch (key) {
    case Qt::Key_Up:
      if (active) moveByOneRow(-1);
      return true;
    case Qt::Key_Down:
      if (active) moveByOneRow(1);
      return true;
    case Qt::Key_PageUp:
      if (active) moveBy(-VisibleRowCount());
      return true;
    case Qt::Key_PageDown:
      if (active) moveBy(VisibleRowCount());
      return true;
    case Qt::Key_Home:
      if (active) dataSet()->First();
      return true;
    case Qt::Key_End:
      if (active) dataSet()->Last();
      return true;
    case Qt::Key_Left:
      if (active) selectColumn(m_col - 1);
      return true;
    case Qt::Key_Right:
      if (active) selectColumn(m_col + 1);
      return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (active && !(modifiers & Qt::AltModifier)) stepTab(key == Qt::Key_Backtab);
      return true;
    case Qt::Key_Escape:
      if (active && IsEditingState(dataSet()->State())) dataSet()->Cancel();
      m_selectedRows.Clear();
      invalidateAll();
      return true;
    case Qt::Key_F2:
      m_editorMode = true;
      return true;
    case Qt::Key_Insert:
      return true;
    default:
      return false;
  }
}

bool TDBGrid::handleControlKey(int key) {
  bool active = linkActive();
  switch (key) {
    case Qt::Key_Up:
    case Qt::Key_PageUp:
      if (active) moveBy(-m_link.ActiveRecord());
      return true;
    case Qt::Key_Down:
    case Qt::Key_PageDown:
      if (active) moveBy(m_link.BufferCount() - m_link.ActiveRecord() - 1);
      return true;
    case Qt::Key_Home:
      if (active) dataSet()->First();
      return true;
    case Qt::Key_End:
      if (active) dataSet()->Last();
      return true;
    case Qt::Key_Left:
      if (active) selectColumn(0);
      return true;
    case Qt::Key_Right:
      if (active) selectColumn(m_colCount - 1);
      return true;
    case Qt::Key_Delete:
      if (active) deleteCurrentRecord();
      return true;
    default:
      return false;
  }
}

void TDBGrid::moveBy(int distance) {
  if (distance != 0) dataSet()->MoveBy(distance);
}

void TDBGrid::moveByOneRow(int distance) {
  UpdateLock lock(this);
  moveBy(distance);
}

void TDBGrid::selectColumn(int col) {
  if (col < 0 || col >= m_colCount || col == m_col) return;
  MoveCurrentCell(col, m_row);
}

void TDBGrid::stepTab(bool backwards) {
  int step = backwards ? -1 : 1;
  for (int col = m_col + step; col >= 0 && col < m_colCount; col += step) {
    if (m_columns[col]->TabStop()) {
      selectColumn(col);
      return;
    }
  }
  UpdateLock lock(this);
  if (dataSet()->MoveBy(step) != 0) selectColumn(backwards ? m_colCount - 1 : 0);
}

void TDBGrid::deleteCurrentRecord() {
  TDataSet* data = dataSet();
  if (m_readOnly || data->IsEmpty() || !data->CanModify()) return;
  if (m_options.Contains(dgConfirmDelete)) {
    QString question = m_selectedRows.Count() > 1 ? QStringLiteral("Delete all selected records?")
                                                  : QStringLiteral("Delete record?");
    if (ShowMessageDialog(question, mtConfirmation, {mbOK, mbCancel}) != mrOk) return;
  }
  if (m_selectedRows.IsEmpty()) {
    data->Delete();
    return;
  }
  for (int i = m_selectedRows.Count() - 1; i >= 0; --i) {
    data->GotoBookmark(m_selectedRows[i]);
    data->Delete();
  }
  m_selectedRows.Clear();
}

void TDBGrid::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  invalidateCell(m_col, m_row);
}

void TDBGrid::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  invalidateCell(m_col, m_row);
  bool leavesControl = event->reason() != Qt::ActiveWindowFocusReason &&
                       event->reason() != Qt::PopupFocusReason;
  if (!leavesControl || !m_options.Contains(dgCancelOnExit) || !linkActive()) return;
  try {
    cancelUnchangedInsert();
  } catch (...) {
    setFocus(Qt::OtherFocusReason);
    throw;
  }
}

void TDBGrid::cancelUnchangedInsert() {
  TDataSet* data = dataSet();
  if (data->State() == TDataSetState::dsInsert && !data->Modified()) data->Cancel();
}

void TDBGrid::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) LayoutChanged();
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) {
    invalidateAll();
  }
}

}  // namespace velloria
