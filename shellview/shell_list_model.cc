// The owner-data model of the folder list and the caption editor's delegate.
#include "shellview/shell_list_model.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "shellview/shell_list_view.h"

namespace velloria {

ShellListModel::ShellListModel(TCustomShellListView* list) : QAbstractTableModel(list), m_list(list) {}

int ShellListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_rows; }

int ShellListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_list->Columns().size());
}

QVariant ShellListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
  return m_list->RowData(index.row(), index.column(), role);
}

QVariant ShellListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  return m_list->HeaderData(section, role);
}

Qt::ItemFlags ShellListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  if (index.isValid()) flags |= Qt::ItemNeverHasChildren;
  if (index.isValid() && index.column() == 0 && m_editable) flags |= Qt::ItemIsEditable;
  if (index.isValid() && m_list->RowIsDocument(index.row())) flags |= Qt::ItemIsDragEnabled;
  return flags;
}

bool ShellListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid)) return false;
  try {
    m_list->CommitLabelEdit(index.row(), value.toString());
  } catch (...) {
    ReportShellViewFailure(std::current_exception());
    return false;
  }
  return true;
}

void ShellListModel::BeginUpdate() {
  if (m_updates++ == 0) beginResetModel();
}

void ShellListModel::EndUpdate() {
  if (--m_updates == 0) endResetModel();
}

void ShellListModel::RowChanged(int row) {
  if (row < 0 || row >= m_rows || columnCount() == 0) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void ShellListModel::IconsChanged() {
  if (m_rows == 0 || columnCount() == 0) return;
  emit dataChanged(index(0, 0), index(m_rows - 1, 0), {Qt::DecorationRole});
}

ShellItemDelegate::ShellItemDelegate(TCustomShellListView* list) : QStyledItemDelegate(list), m_list(list) {}

QWidget* ShellItemDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
  QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
  if (auto* line = qobject_cast<QLineEdit*>(editor)) m_list->EditorCreated(line);
  return editor;
}

bool ShellItemDelegate::eventFilter(QObject* object, QEvent* event) {
  bool press = event->type() == QEvent::KeyPress;
  if (!press && event->type() != QEvent::KeyRelease) return QStyledItemDelegate::eventFilter(object, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (press && m_list->EditorKeyPress(key)) {
    event->accept();
    return true;
  }
  if (!press) m_list->EditorKeyRelease(key);
  if (QStyledItemDelegate::eventFilter(object, event)) return true;
  // The editor takes the key here: a key it ignores must not travel on to the list,
  // whose key path has run already.
  object->event(event);
  event->accept();  // an ignored key event would be offered to the parent widgets
  return true;
}

}  // namespace velloria
