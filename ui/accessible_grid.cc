// Accessibility interfaces of the category grid and its rows, and the announcer that
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
    QAccessibleInterface* rowInterface = gridInterface->child(row);
    QAccessibleEvent selection(rowInterface, QAccessible::Selection);
    QAccessible::updateAccessibility(&selection);
    if (m_grid->hasFocus()) {
      QAccessibleEvent focus(rowInterface, QAccessible::Focus);
      QAccessible::updateAccessibility(&focus);
    }
  }

  TDBGrid* m_grid;
  bool m_pending = false;
};

namespace {

// Makes one buffered record the dataset's active one while the row's texts are read.
class ActiveRecordScope {
 public:
  ActiveRecordScope(TDataSet* dataSet, int index)
      : m_dataSet(dataSet), m_saved(dataSet->ActiveRecordIndex()) {
    m_dataSet->SetActiveRecordIndex(index);
  }
  ~ActiveRecordScope() { m_dataSet->SetActiveRecordIndex(m_saved); }
  ActiveRecordScope(const ActiveRecordScope&) = delete;
  ActiveRecordScope& operator=(const ActiveRecordScope&) = delete;

 private:
  TDataSet* m_dataSet;
  int m_saved;
};

QString EnclosingGroupTitle(const QWidget* widget) {
  for (const QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
    if (auto* box = qobject_cast<const QGroupBox*>(w)) return box->title();
  }
  return QString();
}

}  // namespace

AccessibleGrid::AccessibleGrid(TDBGrid* grid)
    : QAccessibleWidget(grid, QAccessible::List), m_announcer(new GridRowAnnouncer(grid)) {}

AccessibleGrid::~AccessibleGrid() {
  for (const auto& [row, id] : m_rows) QAccessible::deleteAccessibleInterface(id);
  delete m_announcer.data();
}

TDBGrid* AccessibleGrid::grid() const { return static_cast<TDBGrid*>(widget()); }

int AccessibleGrid::childCount() const {
  if (m_announcer) m_announcer->follow();
  return grid()->DataLink().RecordCount();
}

QAccessibleInterface* AccessibleGrid::child(int index) const {
  if (!hasRow(index)) return nullptr;
  auto found = m_rows.find(index);
  if (found != m_rows.end()) return QAccessible::accessibleInterface(found->second);
  auto* row = new AccessibleGridRow(const_cast<AccessibleGrid*>(this), index);
  m_rows[index] = QAccessible::registerAccessibleInterface(row);
  return row;
}

int AccessibleGrid::indexOfChild(const QAccessibleInterface* child) const {
  for (const auto& [row, id] : m_rows) {
    if (QAccessible::accessibleInterface(id) == child) return hasRow(row) ? row : -1;
  }
  return -1;
}

QAccessibleInterface* AccessibleGrid::childAt(int x, int y) const {
  for (int row = 0; row < childCount(); ++row) {
    if (rowScreenRect(row).contains(x, y)) return child(row);
  }
  return nullptr;
}

QAccessibleInterface* AccessibleGrid::focusChild() const {
  int row = currentRow();
  return row >= 0 && grid()->hasFocus() ? child(row) : nullptr;
}

// Without a name of its own the grid is named after the group box around it, else after
// its column titles; the description lists the column titles.
QString AccessibleGrid::text(QAccessible::Text t) const {
  QString own = QAccessibleWidget::text(t);
  if (!own.isEmpty() || (t != QAccessible::Name && t != QAccessible::Description)) return own;
  QStringList titles;
  TDBGridColumns& columns = grid()->Columns();
  for (int c = 0; c < columns.Count(); ++c) {
    if (columns[c]->Visible()) titles << columns[c]->Title().Caption();
  }
  QString group = EnclosingGroupTitle(grid());
  if (t == QAccessible::Name && !group.isEmpty()) return group;
  return titles.join(QStringLiteral(", "));
}

QString AccessibleGrid::rowText(int row) const {
  TGridDataLink& link = grid()->DataLink();
  ActiveRecordScope scope(link.DataSet(), link.FirstRecord() + row);
  QStringList cells;
  TDBGridColumns& columns = grid()->Columns();
  for (int c = 0; c < columns.Count(); ++c) {
    if (!columns[c]->Visible()) continue;
    TField* field = columns[c]->Field();
    cells << (field != nullptr ? QString::fromStdString(field->DisplayText()).trimmed() : QString());
  }
  return cells.join(QStringLiteral(", "));
}

int AccessibleGrid::currentRow() const {
  int row = grid()->DataLink().ActiveRecord();
  return hasRow(row) ? row : -1;
}

QRect AccessibleGrid::rowScreenRect(int row) const {
  TDBGrid* g = grid();
  int gridRow = row + g->TitleOffset();
  QRect local = g->CellRect(0, gridRow).united(g->CellRect(g->ColCount() - 1, gridRow));
  return QRect(g->viewport()->mapToGlobal(local.topLeft()), local.size());
}

bool AccessibleGridRow::isValid() const { return m_grid->isValid() && m_grid->hasRow(m_row); }

QWindow* AccessibleGridRow::window() const { return m_grid->window(); }

QString AccessibleGridRow::text(QAccessible::Text t) const {
  if (!isValid() || t != QAccessible::Name) return QString();
  return m_grid->rowText(m_row);
}

QRect AccessibleGridRow::rect() const { return isValid() ? m_grid->rowScreenRect(m_row) : QRect(); }

QAccessible::State AccessibleGridRow::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  s.selectable = true;
  s.focusable = true;
  if (m_row == m_grid->currentRow()) {
    s.selected = true;
    s.focused = m_grid->grid()->hasFocus();
  }
  return s;
}

}  // namespace velloria
