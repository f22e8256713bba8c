// TDBGrid as a drop target: drags of one format onto the data rows its handler agrees
// to, the row under the pointer framed while a drag hovers over it, Ctrl for a copy.
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QTimer>
#include <algorithm>

#include "ui/active_record_swap.h"
#include "ui/dbgrid.h"

namespace velloria {
namespace {

// A move by default and a copy with Ctrl, as file managers do; IgnoreAction when the
// drag offers neither.
Qt::DropAction DropActionOf(const QDropEvent& event) {
  Qt::DropAction action = event.modifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction;
  return event.possibleActions() & action ? action : Qt::IgnoreAction;
}

// How often a drag held at an edge scrolls the rows by one.
constexpr int kDragScrollIntervalMs = 120;

}  // namespace

void TDBGrid::SetDropFormat(const QString& format) {
  m_dropFormat = format;
  viewport()->setAcceptDrops(!format.isEmpty());
}

// The grid row under `point` (viewport coordinates) that a drag carrying `data` may drop
// on, or -1: the title row, the room outside the rows and the rows AcceptsDrop refuses
// take nothing. While the drag hovers, AcceptsDrop is asked once per row (it may look at
// the disk), not at every move, until the rows scroll; `askAgain` asks it afresh.
int TDBGrid::dropRowAt(const QPoint& point, const QMimeData* data, bool askAgain) {
  if (m_dropFormat.isEmpty() || data == nullptr || !data->hasFormat(m_dropFormat) || !AcceptsDrop ||
      !linkActive()) {
    return -1;
  }
  Cell cell = cellAt(point);
  int dataRow = cell.row - m_titleOffset;
  if (cell.row < 0 || dataRow < 0 || dataRow >= m_link.RecordCount()) return -1;
  if (askAgain || cell.row != m_dropAskedRow) {
    ActiveRecordSwap swap(dataSet(), m_link.FirstRecord() + dataRow);
    m_dropAskedRow = cell.row;
    m_dropAnswer = AcceptsDrop(this, dataSet()->RecNo(), data);
  }
  return m_dropAnswer ? cell.row : -1;
}

void TDBGrid::setDropRow(int row) {
  if (row == m_dropRow) return;
  if (m_dropRow >= 0) invalidate(rowRect(m_dropRow));
  m_dropRow = row;
  if (m_dropRow >= 0) invalidate(rowRect(m_dropRow));
}

// Qt follows the enter with a move at the same place, which decides whether this place
// takes the drop; the enter only says whether the grid takes such drags at all.
void TDBGrid::dragEnterEvent(QDragEnterEvent* event) {
  bool takes = !m_dropFormat.isEmpty() && event->mimeData()->hasFormat(m_dropFormat);
  m_dropAskedRow = -1;  // a new drag: every row is asked anew
  event->setAccepted(takes);
}

void TDBGrid::dragMoveEvent(QDragMoveEvent* event) {
  followDragEdge(event->position().toPoint(), event->mimeData());
  Qt::DropAction action = DropActionOf(*event);
  int row =
      action == Qt::IgnoreAction ? -1 : dropRowAt(event->position().toPoint(), event->mimeData());
  setDropRow(row);
  if (row < 0) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
}

void TDBGrid::dragLeaveEvent(QDragLeaveEvent* event) {
  stopDragScroll();
  setDropRow(-1);
  event->accept();
}

// The row and the action are looked at again: the drop may come without a move at its
// place (Ctrl pressed or released since).
void TDBGrid::dropEvent(QDropEvent* event) {
  stopDragScroll();
  setDropRow(-1);
  Qt::DropAction action = DropActionOf(*event);
  int row = action == Qt::IgnoreAction
                ? -1
                : dropRowAt(event->position().toPoint(), event->mimeData(), true);
  if (row < 0 || !OnDropOnRow) {
    event->ignore();
    return;
  }
  event->setDropAction(action);
  event->accept();
  ActiveRecordSwap swap(dataSet(), m_link.FirstRecord() + row - m_titleOffset);
  OnDropOnRow(this, dataSet()->RecNo(), event->mimeData(), action);
}

// -1 over the upper half of the first data row, 1 over the lower half of the last whole
// row and below it while the rows fill the grid, else 0.
int TDBGrid::dragScrollDirection(const QPoint& point) const {
  int margin = std::max(m_dataRowHeight / 2, 1);
  int dataTop = rowTop(m_titleOffset);
  if (point.y() >= dataTop && point.y() < dataTop + margin) return -1;
  int rows = fittingDataRows();
  bool rowsFill = rows > 0 && m_link.RecordCount() >= rows;
  if (rowsFill && point.y() >= rowTop(m_titleOffset + rows) - margin) return 1;
  return 0;
}

// A drag of the grid's format at an edge starts the scrolling; elsewhere it stops.
void TDBGrid::followDragEdge(const QPoint& point, const QMimeData* data) {
  bool ours = !m_dropFormat.isEmpty() && data != nullptr && data->hasFormat(m_dropFormat);
  if (!ours || dragScrollDirection(point) == 0) return stopDragScroll();
  m_dragPoint = point;
  m_dragData = data;
  if (!m_dragScrollTimer) {
    m_dragScrollTimer = new QTimer(this);
    m_dragScrollTimer->setInterval(kDragScrollIntervalMs);
    connect(m_dragScrollTimer, &QTimer::timeout, this, &TDBGrid::dragScrollStep);
  }
  if (!m_dragScrollTimer->isActive()) m_dragScrollTimer->start();
}

void TDBGrid::stopDragScroll() {
  if (m_dragScrollTimer) m_dragScrollTimer->stop();
  m_dragData = nullptr;
}

// One row further, as the scroll bar's arrows move: to the record just outside the rows
// shown. The frame then follows the record now under the pointer.
void TDBGrid::dragScrollStep() {
  int direction = dragScrollDirection(m_dragPoint);
  if (!linkActive() || !m_dragData || direction == 0) return stopDragScroll();
  moveByOneRow(direction < 0 ? -(m_link.ActiveRecord() + 1)
                             : m_link.RecordCount() - m_link.ActiveRecord());
  m_dropAskedRow = -1;  // other records now lie under the rows
  setDropRow(dropRowAt(m_dragPoint, m_dragData));
  if (direction < 0 ? dataSet()->Bof() : dataSet()->Eof()) stopDragScroll();  // at the end
}

}  // namespace velloria
