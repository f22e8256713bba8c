// The category grid as screen readers see it: TDBGrid paints its rows itself, so this
// interface presents it as a table of its visible columns, with one column header cell per
// title and one cell per column of each data row on screen; the current record's row is
// the selected one. A cell's description is the grid's row description (OnRowDescription).
// GUI thread only.
#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <map>
#include <utility>

namespace velloria {

class TDBGrid;
class TColumn;
class GridRowAnnouncer;

class AccessibleGrid : public QAccessibleWidget, public QAccessibleTableInterface {
 public:
  explicit AccessibleGrid(TDBGrid* grid);
  ~AccessibleGrid() override;

  void* interface_cast(QAccessible::InterfaceType type) override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;
  QString text(QAccessible::Text t) const override;

  // QAccessibleTableInterface. Rows count the data rows on screen from 0; the selection
  // follows the dataset's current record and is not changed through this interface.
  QAccessibleInterface* caption() const override { return nullptr; }
  QAccessibleInterface* summary() const override { return nullptr; }
  QAccessibleInterface* cellAt(int row, int column) const override;
  int selectedCellCount() const override;
  QList<QAccessibleInterface*> selectedCells() const override;
  QString columnDescription(int column) const override;
  QString rowDescription(int) const override { return QString(); }
  int selectedColumnCount() const override { return 0; }
  int selectedRowCount() const override { return currentRow() >= 0 ? 1 : 0; }
  int columnCount() const override;
  int rowCount() const override;
  QList<int> selectedColumns() const override { return {}; }
  QList<int> selectedRows() const override;
  bool isColumnSelected(int) const override { return false; }
  bool isRowSelected(int row) const override { return row >= 0 && row == currentRow(); }
  bool selectRow(int) override { return false; }
  bool selectColumn(int) override { return false; }
  bool unselectRow(int) override { return false; }
  bool unselectColumn(int) override { return false; }
  void modelChange(QAccessibleTableModelChangeEvent*) override {}

  // Services for the cell interfaces.
  TDBGrid* grid() const;
  bool hasRow(int row) const { return row >= 0 && row < rowCount(); }
  bool hasCell(int row, int column) const {
    return row >= -1 && row < rowCount() && column >= 0 && column < columnCount();
  }
  // Whether the grid shows a title row (row -1 of the cells).
  bool hasTitles() const;
  // The interface of a cell; row -1 is the column's header. nullptr outside the table.
  QAccessibleInterface* cell(int row, int column) const;
  // The text shown in a cell, trimmed; a header's title. REQUIRES: hasCell(row, column).
  QString cellText(int row, int column) const;
  // The grid's description of a data row. REQUIRES: hasRow(row).
  QString rowWords(int row) const;
  // The row that shows the dataset's current record, or -1 when there is none.
  int currentRow() const;
  // The cell's rectangle in screen coordinates. REQUIRES: hasCell(row, column).
  QRect cellScreenRect(int row, int column) const;

 private:
  TColumn* visibleColumn(int column) const;
  int headerCount() const { return hasTitles() ? columnCount() : 0; }

  QPointer<GridRowAnnouncer> m_announcer;
  mutable std::map<std::pair<int, int>, QAccessible::Id> m_cells;  // registered with Qt
};

// One cell of the grid, or a column header (row -1); it has no QObject of its own and
// lives as long as the grid's interface, which owns it.
class AccessibleGridCell : public QAccessibleInterface, public QAccessibleTableCellInterface {
 public:
  AccessibleGridCell(AccessibleGrid* grid, int row, int column) : m_grid(grid), m_row(row), m_column(column) {}

  bool isValid() const override;
  QObject* object() const override { return nullptr; }
  QWindow* window() const override;
  QAccessibleInterface* parent() const override { return m_grid; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override { return m_row < 0 ? QAccessible::ColumnHeader : QAccessible::Cell; }
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  // QAccessibleTableCellInterface.
  bool isSelected() const override { return m_row >= 0 && m_grid->isRowSelected(m_row); }
  QList<QAccessibleInterface*> columnHeaderCells() const override;
  QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
  int columnIndex() const override { return m_column; }
  int rowIndex() const override { return m_row; }
  int columnExtent() const override { return 1; }
  int rowExtent() const override { return 1; }
  QAccessibleInterface* table() const override { return m_grid; }

 private:
  AccessibleGrid* m_grid;
  int m_row;
  int m_column;
};

}  // namespace velloria
