// TDBGrid: the data-bound grid that shows a dataset's records one per row under a
// title row, always marks the dataset's current record and moves it on mouse, key,
// wheel and scroll-bar input. Custom painted; bound through TGridDataLink. GUI thread only.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QMimeData>
#include <QPointer>
#include <QRegion>
#include <functional>
#include <stdexcept>
#include <vector>

#include "dataset/data_source.h"
#include "ui/dbgrid_bookmarks.h"
#include "ui/dbgrid_columns.h"
#include "ui/dbgrid_options.h"
#include "ui/grid_canvas.h"

class QTimer;

namespace velloria {

class TDBGrid;

// The width of the frame around the row a drag would drop on, in pixels.
inline constexpr int kDropFrameWidth = 2;

// Raised when the current cell would leave the grid ("Grid index out of range").
class EInvalidGridOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The grid's link to its data source: the base keeps the grid's window onto the
// dataset's record buffers; the notices become grid updates.
class TGridDataLink : public TDataLink {
 public:
  explicit TGridDataLink(TDBGrid* grid) : m_grid(grid) {}

 protected:
  void ActiveChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void RecordChanged(TField* field) override;
  void LayoutChanged() override;

 private:
  TDBGrid* m_grid;
};

// Handler signatures of the grid's events.
using TDrawColumnCellEvent = std::function<void(TDBGrid* sender, const QRect& rect, int dataCol,
                                                TColumn* column, TGridDrawState state)>;
using TDBGridClickEvent = std::function<void(TColumn* column)>;
// `key` is the Qt key code; a handler that sets it to 0 consumes the key.
using TGridKeyEvent =
    std::function<void(TDBGrid* sender, int& key, Qt::KeyboardModifiers shift)>;
using TGridMouseMoveEvent =
    std::function<void(TDBGrid* sender, Qt::KeyboardModifiers shift, int x, int y)>;
using TGridNotifyEvent = std::function<void(TDBGrid* sender)>;
// Asked with a row's record active: what the row says beyond its texts.
using TGridRowTextEvent = std::function<QString(TDBGrid* sender)>;
// Asked with a data row's record active (record number `recNo`): whether the drag
// carrying `data` may drop on that row.
using TGridDropQuery = std::function<bool(TDBGrid* sender, int recNo, const QMimeData* data)>;
// A drop on a data row, with its record active (record number `recNo`), as `action`
// (Qt::MoveAction, or Qt::CopyAction with Ctrl held). The handler runs inside the drag:
// one that may open a box should queue its work.
using TGridDropEvent =
    std::function<void(TDBGrid* sender, int recNo, const QMimeData* data, Qt::DropAction action)>;

class TDBGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TDBGrid(QWidget* parent = nullptr);
  ~TDBGrid() override;

  // ---- Configuration
  TDataSource* DataSource() const { return m_link.DataSource(); }
  void SetDataSource(TDataSource* source);
  TDBGridOptions Options() const { return m_options; }
  // Raises EInvalidGridOperation for the options this grid does not support
  // (dgEditing, dgAlwaysShowEditor, dgIndicator, dgColumnResize, dgMultiSelect).
  void SetOptions(TDBGridOptions options);
  QFont TitleFont() const { return m_titleFont; }
  void SetTitleFont(const QFont& font);
  // The data font is the widget's font (inherited from the parent unless set).
  QColor Color() const { return m_color; }
  void SetColor(const QColor& color);
  QColor FixedColor() const { return m_fixedColor; }
  void SetFixedColor(const QColor& color);
  bool DefaultDrawing() const { return m_defaultDrawing; }
  void SetDefaultDrawing(bool value) { m_defaultDrawing = value; }
  bool ReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool value) { m_readOnly = value; }
  TDBGridColumns& Columns() { return m_columns; }
  TGridDataLink& DataLink() { return m_link; }

  // Layout lock: nested holders run one layout when the outermost calls EndLayout.
  void BeginLayout();
  void EndLayout();
  // Lays out now unless a layout or update lock is held.
  void LayoutChanged();

  // ---- Geometry and current cell
  int ColCount() const { return m_colCount; }
  int RowCount() const { return m_rowCount; }
  int TitleOffset() const { return m_titleOffset; }
  int Col() const { return m_col; }
  int Row() const { return m_row; }
  int TitleRowHeight() const { return m_titleRowHeight; }
  int DataRowHeight() const { return m_dataRowHeight; }
  // Data rows that fit completely below the title row.
  int VisibleRowCount() const;
  // The cell's rectangle in viewport coordinates (lines excluded).
  QRect CellRect(int col, int row) const;
  // Raises EInvalidGridOperation "Grid index out of range" outside the grid.
  void MoveCurrentCell(int col, int row);

  // ---- Services for handlers
  // The canvas of the cell being drawn; valid only inside OnDrawColumnCell.
  TGridCanvas& Canvas() { return m_canvas; }
  TBookmarkList& SelectedRows() { return m_selectedRows; }
  // True when the current record's bookmark is in the row-selection list. Raises
  // EDatabaseError "Cannot perform this operation on a closed dataset" when closed.
  bool CurrentRowSelected() const;
  void SetCurrentRowSelected(bool selected);

  // ---- Events
  TDrawColumnCellEvent OnDrawColumnCell;
  TDBGridClickEvent OnCellClick;
  TDBGridClickEvent OnTitleClick;
  TGridKeyEvent OnKeyDown;
  TGridMouseMoveEvent OnMouseMove;
  TGridNotifyEvent OnDblClick;
  // Screen readers read it as each data row's description (what a row's colour means,
  // for instance); none when unset.
  TGridRowTextEvent OnRowDescription;

  // ---- Drops on rows
  // Drags whose data has `format` (a MIME type) may drop on the data rows that
  // AcceptsDrop agrees to; OnDropOnRow hears of the drop. While a drag hovers over such a
  // row, a frame marks it. Ctrl chooses a copy, else a move. A drag held near the top or
  // bottom edge of the rows scrolls them a row at a time, as the scroll bar's arrows do
  // (the current record follows), so that every row can be reached. None by default.
  void SetDropFormat(const QString& format);
  QString DropFormat() const { return m_dropFormat; }
  TGridDropQuery AcceptsDrop;
  TGridDropEvent OnDropOnRow;
  // The grid row (title rows counted) marked as the drop target, or -1.
  int DropTargetRow() const { return m_dropRow; }

 protected:
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class TGridDataLink;
  friend class TColumn;
  friend class TDBGridColumns;
  struct Cell {
    int col = -1;
    int row = -1;
  };
  class UpdateLock;

  // Notices from the link.
  void linkActiveChanged();
  void dataChanged();
  void scrollData(int distance);
  void scrollDataArea(int distance, const QRect& oldRow);
  void recordChanged(TField* field);
  void layoutChangedByDataSet();
  void layoutForDataSet();

  // Layout and rows.
  void internalLayout();
  void postDeferredLayout();
  void runDeferredLayout();
  void measureRowHeights();
  void setColumnAttributes();
  void updateRowCount();
  void followCurrentRecord();
  int fittingDataRows() const;
  void updateScrollBars();
  void updateVerticalScrollBar();
  void updateHorizontalScrollBar();

  // Geometry helpers.
  int columnLeft(int col) const;
  int rowTop(int row) const;
  int rowHeight(int row) const;
  int columnsRight() const;
  int rowsBottom() const;
  QRect rowRect(int row) const;
  Cell cellAt(const QPoint& point) const;
  void invalidate(const QRect& rect);
  void invalidateAll();
  void invalidateCell(int col, int row);
  void paintPendingNow();

  // Painting.
  void paintGridLines(QPainter& painter, const QRect& dirty);
  void paintTitleCell(QPainter& painter, int col, const QRect& rect);
  void paintDataCell(QPainter& painter, int col, int row, const QRect& rect);
  void paintOutsideArea(QPainter& painter);
  void paintDropFrame(QPainter& painter, const QRect& row);
  bool isActiveControl() const;
  bool holdsKeyboardFocus() const { return hasFocus(); }
  bool highlights(bool selected) const;
  bool rowInSelection() const;
  TColumn* columnOfCell(int col) const;

  // Input.
  bool takeFocusLikePress();
  void moveBy(int distance);
  void moveByOneRow(int distance);
  void selectColumn(int col);
  bool handleKey(int key, Qt::KeyboardModifiers modifiers);
  bool handleControlKey(int key);
  void stepTab(bool backwards);
  void deleteCurrentRecord();
  void scrollBarAction(int action);
  void scrollBarReleased();
  void cancelUnchangedInsert();

  // Drops.
  int dropRowAt(const QPoint& point, const QMimeData* data, bool askAgain = false);
  void setDropRow(int row);
  int dragScrollDirection(const QPoint& point) const;
  void followDragEdge(const QPoint& point, const QMimeData* data);
  void stopDragScroll();
  void dragScrollStep();

  TDataSet* dataSet() const { return m_link.DataSet(); }
  bool linkActive() const { return m_link.Active(); }

  TGridDataLink m_link{this};
  TDBGridColumns m_columns{this};
  TBookmarkList m_selectedRows;
  SharedGridBitmap m_bitmap;
  TGridCanvas m_canvas;
  TDBGridOptions m_options;
  QFont m_titleFont;
  QColor m_color;
  QColor m_fixedColor;
  bool m_defaultDrawing = true;
  bool m_readOnly = false;
  bool m_destroying = false;

  int m_colCount = 0;
  int m_rowCount = 2;
  int m_titleOffset = 1;
  int m_col = 0;
  int m_row = 1;
  int m_titleRowHeight = 17;
  int m_dataRowHeight = 17;

  int m_layoutLock = 0;
  int m_updateLock = 0;
  bool m_deferredLayoutPending = false;
  bool m_inRowCountUpdate = false;
  QRegion m_pendingPaint;
  int m_wheelRemainder = 0;
  QString m_dropFormat;
  int m_dropRow = -1;
  int m_dropAskedRow = -1;    // the row AcceptsDrop last answered for in this drag, -1 none
  bool m_dropAnswer = false;  // and its answer
  QTimer* m_dragScrollTimer = nullptr;  // made on the first drag that reaches an edge
  QPoint m_dragPoint;                   // where the drag hovers, in viewport coordinates
  QPointer<const QMimeData> m_dragData;  // what it carries, while it lasts
};

}  // namespace velloria
