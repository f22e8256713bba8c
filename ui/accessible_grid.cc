// Accessibility interfaces of the category grid and its cells, and the announcer that
// tells screen readers when the current row or the rows' contents change.
#include "ui/accessible_grid.h"

#include <QGroupBox>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "dataset/data_source.h"
#include "dataset/dataset.h"
#include "dataset/field.h"
#include "ui/active_record_swap.h"
#include "ui/dbgrid.h"

namespace velloria {

// Follows the grid's data source through a passive data link of its own (one buffer) and,
// after any notice, reports the current row to the screen reader once the event loop is
// back, so that the grid has finished its own update. Lives as a child of the grid.
class GridRowAnnouncer : public QObject, public TDataLink {
 public:
  explicit GridRowAnnouncer(TDBGrid* grid) : QObject(grid), m_grid(grid) { follow(); }

  // Attaches to the grid's current data source when it has changed.
  void follow() {
    if (DataSource() != m_grid->DataSource()) SetDataSource(m_grid->DataSource());
  }

 protected:
  void ActiveChanged() override { schedule(); }
  void DataSetChanged() override { schedule(); }
  void DataSetScrolled(int distance) override {
    TDataLink::DataSetScrolled(distance);
    schedule();
  }
  void RecordChanged(TField*) override { schedule(); }

 private:
  void schedule() {
    if (m_pending || !QAccessible::isActive()) return;
    m_pending = true;
    QTimer::singleShot(0, this, [this] { announce(); });
  }

  void announce() {
    m_pending = false;
    auto* gridInterface = static_cast<AccessibleGrid*>(QAccessible::queryAccessibleInterface(m_grid));
    if (gridInterface == nullptr) return;
    QAccessibleEvent reorder(gridInterface, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&reorder);
    int row = gridInterface->currentRow();
    if (row < 0) return;
    QAccessibleInterface* cell = gridInterface->cell(row, 0);
    QAccessibleEvent selection(cell, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (m_grid->hasFocus()) {
      QAccessibleEvent focus(cell, QAccessible::Focus);
      QAccessible::updateAccessibility(&focus);
    }
  }

  TDBGrid* m_grid;
  bool m_pending = false;
};

namespace {

QString EnclosingGroupTitle(const QWidget* widget) {
  for (const QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
    if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  }
  return QString();
}

}  // namespace

AccessibleGrid::AccessibleGrid(TDBGrid* grid)
    : QAccessibleWidget(grid, QAccessible::Table), m_announcer(new GridRowAnnouncer(grid)) {}

AccessibleGrid::~AccessibleGrid() {
  for (const auto& [cell, id] : m_cells) QAccessible::deleteAccessibleInterface(id);
  delete m_announcer.data();
}

void* AccessibleGrid::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
  return QAccessibleWidget::interface_cast(type);
}

TDBGrid* AccessibleGrid::grid() const { return static_cast<TDBGrid*>(widget()); }

bool AccessibleGrid::hasTitles() const { return grid()->TitleOffset() > 0; }

int AccessibleGrid::columnCount() const {
  TDBGridColumns& columns = grid()->Columns();
  int visible = 0;
  for (int c = 0; c < columns.Count(); ++c) visible += columns[c]->Visible() ? 1 : 0;
  return visible;
}

int AccessibleGrid::rowCount() const {
  if (m_announcer) m_announcer->follow();
  return grid()->DataLink().RecordCount();
}

TColumn* AccessibleGrid::visibleColumn(int column) const {
  TDBGridColumns& columns = grid()->Columns();
  for (int c = 0; c < columns.Count(); ++c) {
    if (columns[c]->Visible() && column-- == 0) return columns[c];
  }
  return nullptr;
}

// The column headers first, then the cells row by row.
int AccessibleGrid::childCount() const { return headerCount() + rowCount() * columnCount(); }

QAccessibleInterface* AccessibleGrid::child(int index) const {
  int columns = columnCount();
  if (index < 0 || columns == 0) return nullptr;
  if (index < headerCount()) return cell(-1, index);
  index -= headerCount();
  return cell(index / columns, index % columns);
}

QAccessibleInterface* AccessibleGrid::cell(int row, int column) const {
  if (!hasCell(row, column) || (row < 0 && !hasTitles())) return nullptr;
  auto found = m_cells.find({row, column});
  if (found != m_cells.end()) {
    if (QAccessibleInterface* known = QAccessible::accessibleInterface(found->second)) return known;
  }
  auto* cell = new AccessibleGridCell(const_cast<AccessibleGrid*>(this), row, column);
  m_cells[{row, column}] = QAccessible::registerAccessibleInterface(cell);
  return cell;
}

QAccessibleInterface* AccessibleGrid::cellAt(int row, int column) const { return row < 0 ? nullptr : cell(row, column); }

int AccessibleGrid::indexOfChild(const QAccessibleInterface* child) const {
  const QAccessibleTableCellInterface* cell =
      child != nullptr && child->parent() == this
          ? const_cast<QAccessibleInterface*>(child)->tableCellInterface()
          : nullptr;
  if (cell == nullptr || !hasCell(cell->rowIndex(), cell->columnIndex())) return -1;
  if (cell->rowIndex() < 0) return hasTitles() ? cell->columnIndex() : -1;
  return headerCount() + cell->rowIndex() * columnCount() + cell->columnIndex();
}

QAccessibleInterface* AccessibleGrid::childAt(int x, int y) const {
  for (int i = 0; i < childCount(); ++i) {
    QAccessibleInterface* c = child(i);
    if (c->rect().contains(x, y)) return c;
  }
  return nullptr;
}

QAccessibleInterface* AccessibleGrid::focusChild() const {
  int row = currentRow();
  return row >= 0 && grid()->hasFocus() ? cell(row, 0) : nullptr;
}

int AccessibleGrid::selectedCellCount() const { return currentRow() >= 0 ? columnCount() : 0; }

QList<QAccessibleInterface*> AccessibleGrid::selectedCells() const {
  QList<QAccessibleInterface*> cells;
  int row = currentRow();
  for (int column = 0; row >= 0 && column < columnCount(); ++column) cells << cell(row, column);
  return cells;
}

QList<int> AccessibleGrid::selectedRows() const {
  int row = currentRow();
  return row >= 0 ? QList<int>{row} : QList<int>{};
}

QString AccessibleGrid::columnDescription(int column) const {
  TColumn* c = visibleColumn(column);
  return c != nullptr ? c->Title().Caption() : QString();
}

// Without a name of its own the grid is named after the group box around it, else after
// its column titles. Its description says how the keyboard leaves it when it keeps Tab.
QString AccessibleGrid::text(QAccessible::Text t) const {
  QString own = QAccessibleWidget::text(t);
  if (!own.isEmpty()) return own;
  if (t == QAccessible::Description && grid()->Options().Contains(dgTabs)) {
    return QStringLiteral("Tab passa da una riga all'altra; Ctrl+Tab esce dall'elenco.");
  }
  if (t != QAccessible::Name) return own;
  QString group = EnclosingGroupTitle(grid());
  if (!group.isEmpty()) return group;
  QStringList titles;
  for (int column = 0; column < columnCount(); ++column) titles << columnDescription(column);
  return titles.join(QStringLiteral(", "));
}

QString AccessibleGrid::cellText(int row, int column) const {
  TColumn* c = visibleColumn(column);
  if (row < 0) return c->Title().Caption();
  TGridDataLink& link = grid()->DataLink();
  ActiveRecordSwap scope(link.DataSet(), link.FirstRecord() + row);
  TField* field = c->Field();
  return field != nullptr ? QString::fromStdString(field->DisplayText()).trimmed() : QString();
}

QString AccessibleGrid::rowWords(int row) const {
  if (!grid()->OnRowDescription) return QString();
  TGridDataLink& link = grid()->DataLink();
  ActiveRecordSwap scope(link.DataSet(), link.FirstRecord() + row);
  return grid()->OnRowDescription(grid());
}

int AccessibleGrid::currentRow() const {
  int row = grid()->DataLink().ActiveRecord();
  return hasRow(row) ? row : -1;
}

QRect AccessibleGrid::cellScreenRect(int row, int column) const {
  TDBGrid* g = grid();
  TDBGridColumns& columns = g->Columns();
  int gridColumn = 0;
  while (gridColumn < columns.Count() && columns[gridColumn] != visibleColumn(column)) ++gridColumn;
  QRect local = g->CellRect(gridColumn, row < 0 ? 0 : row + g->TitleOffset());
  return QRect(g->viewport()->mapToGlobal(local.topLeft()), local.size());
}

bool AccessibleGridCell::isValid() const {
  return m_grid->isValid() && m_grid->hasCell(m_row, m_column) && (m_row >= 0 || m_grid->hasTitles());
}

QWindow* AccessibleGridCell::window() const { return m_grid->window(); }

void* AccessibleGridCell::interface_cast(QAccessible::InterfaceType type) {
  return type == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface*>(this) : nullptr;
}

QString AccessibleGridCell::text(QAccessible::Text t) const {
  if (!isValid()) return QString();
  if (t == QAccessible::Name) return m_grid->cellText(m_row, m_column);
  if (t == QAccessible::Description && m_row >= 0) return m_grid->rowWords(m_row);
  return QString();
}

QRect AccessibleGridCell::rect() const { return isValid() ? m_grid->cellScreenRect(m_row, m_column) : QRect(); }

QList<QAccessibleInterface*> AccessibleGridCell::columnHeaderCells() const {
  QAccessibleInterface* header = m_row >= 0 ? m_grid->cell(-1, m_column) : nullptr;
  return header != nullptr ? QList<QAccessibleInterface*>{header} : QList<QAccessibleInterface*>{};
}

QAccessible::State AccessibleGridCell::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  if (m_row < 0) return s;
  s.selectable = true;
  s.focusable = true;
  if (isSelected()) {
    s.selected = true;
    s.focused = m_grid->grid()->hasFocus();
  }
  return s;
}

}  // namespace velloria
