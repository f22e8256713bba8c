// The owner-data model of the folder list and the caption editor's delegate: the model
// holds only a row count and asks the list for every cell when the view draws it.
// GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

namespace velloria {

class TCustomShellListView;

class ShellListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ShellListModel(TCustomShellListView* list);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // Row and column changes happen between BeginUpdate and EndUpdate (nested calls
  // count); the view is reset once at the outermost end.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return m_updates > 0; }
  void SetRowCount(int rows) { m_rows = rows; }
  void SetEditable(bool editable) { m_editable = editable; }
  void RowChanged(int row);
  // Every row's icon changed.
  void IconsChanged();

 private:
  TCustomShellListView* m_list;
  int m_rows = 0;
  int m_updates = 0;
  bool m_editable = true;
};

// Makes the caption editor known to the list and routes the editor's keys through the
// list's key path first.
class ShellItemDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit ShellItemDelegate(TCustomShellListView* list);
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  TCustomShellListView* m_list;
};

}  // namespace velloria
