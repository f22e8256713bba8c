// TDBGrid input: mouse presses and releases, the wheel, scroll-bar requests, the key
// table and leaving the grid. Every move goes through the dataset; failures propagate
// to the application's failure display.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "dataset/scope_guard.h"
#include "ui/dbgrid.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

constexpr int kWheelNotch = 120;

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

// ---- Scroll-bar requests

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
  // The five positions: first record, a page up, nothing, a page down, last record.
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
  if (cell.row < m_titleOffset) return;
  if (cell.row != m_row) moveBy(cell.row - m_row);
  if (cell.col != m_col) MoveCurrentCell(cell.col, m_row);
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

// With dgTabs the grid keeps Tab and Shift+Tab for itself; Ctrl+Tab and Ctrl+Shift+Tab
// then move the focus on, as in any control that uses Tab, so the keyboard can leave it.
bool TDBGrid::event(QEvent* event) {
  if (event->type() == QEvent::KeyPress && m_options.Contains(dgTabs)) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      if (key->modifiers() & Qt::ControlModifier) {
        bool backwards = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        focusNextPrevChild(!backwards);
      } else {
        keyPressEvent(key);
      }
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
    case Qt::Key_F2:      // the grid has no in-place editor to show
    case Qt::Key_Insert:  // and creates no records
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
  auto keepFocus = OnScopeFailure([this] { setFocus(Qt::OtherFocusReason); });
  cancelUnchangedInsert();
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
