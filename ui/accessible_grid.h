// The category grid as screen readers see it: TDBGrid paints its rows itself, so this
// interface presents it as a list whose items are the data rows on screen, named by their
// cell texts, with the current record's row selected and focused. GUI thread only.
#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <map>

namespace velloria {

class TDBGrid;
class GridRowAnnouncer;

class AccessibleGrid : public QAccessibleWidget {
 public:
  explicit AccessibleGrid(TDBGrid* grid);
  ~AccessibleGrid() override;

  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;
  QString text(QAccessible::Text t) const override;

  // Row services for the row interfaces; `row` counts the data rows on screen from 0.
  TDBGrid* grid() const;
  bool hasRow(int row) const { return row >= 0 && row < childCount(); }
  // The row's cell texts as displayed, joined by ", ". REQUIRES: hasRow(row).
  QString rowText(int row) const;
  // The row that shows the dataset's current record, or -1 when there is none.
  int currentRow() const;
  // The row's rectangle in screen coordinates. REQUIRES: hasRow(row).
  QRect rowScreenRect(int row) const;

 private:
  QPointer<GridRowAnnouncer> m_announcer;
  mutable std::map<int, QAccessible::Id> m_rows;  // row interfaces, registered with Qt
};

// One data row of the grid; it has no QObject of its own and lives as long as the grid's
// interface, which owns it.
class AccessibleGridRow : public QAccessibleInterface {
 public:
  AccessibleGridRow(AccessibleGrid* grid, int row) : m_grid(grid), m_row(row) {}

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
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override;

 private:
  AccessibleGrid* m_grid;
  int m_row;
};

}  // namespace velloria
