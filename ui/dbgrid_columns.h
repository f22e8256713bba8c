// The grid's column model: TDBGridColumns, a collection of TColumn, each with its
// TColumnTitle. A column names a field of the grid's dataset and finds it by name
// while the dataset is open. GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "ui/grid_canvas.h"

namespace velloria {

class TField;

class TDBGrid;
class TColumn;

// A column's title row cell: caption, font, colour and alignment.
class TColumnTitle {
 public:
  explicit TColumnTitle(TColumn* column) : m_column(column) {}

  QString Caption() const { return m_caption; }
  void SetCaption(const QString& caption);
  QFont Font() const;
  QColor Color() const;
  TAlignment Alignment() const { return taLeftJustify; }

 private:
  TColumn* m_column;
  QString m_caption;
};

class TColumn {
 public:
  explicit TColumn(TDBGrid* grid);

  TDBGrid* Grid() const { return m_grid; }
  QString FieldName() const { return m_fieldName; }
  void SetFieldName(const QString& name);
  // The column's field in the grid's open dataset; null when the dataset is closed or
  // has no such field. Looked up on every call and never kept: the dataset may drop
  // and recreate its fields while its controls are disabled and the grid is not told.
  TField* Field() const;

  TColumnTitle& Title() { return m_title; }
  const TColumnTitle& Title() const { return m_title; }
  int Width() const { return m_width; }
  void SetWidth(int width);
  QFont Font() const;
  QColor Color() const;
  // The field's alignment: right for numbers, left otherwise (and without a field).
  TAlignment Alignment() const;
  bool Visible() const { return m_visible; }
  bool ReadOnly() const { return m_readOnly; }
  // True when a Tab may stop on the column; the grid computes it at every layout.
  bool TabStop() const { return m_tabStop; }
  void SetTabStop(bool tabStop) { m_tabStop = tabStop; }

 private:
  void changed();

  TDBGrid* m_grid;
  TColumnTitle m_title{this};
  QString m_fieldName;
  int m_width = 64;
  bool m_visible = true;
  bool m_readOnly = false;
  bool m_tabStop = false;
};

// The grid's persistent columns; a change in the collection asks the grid to lay out.
class TDBGridColumns {
 public:
  explicit TDBGridColumns(TDBGrid* grid) : m_grid(grid) {}

  int Count() const { return static_cast<int>(m_items.size()); }
  // REQUIRES: 0 <= index < Count().
  TColumn* operator[](int index) const { return m_items.at(index).get(); }
  TColumn* Add();
  void Clear();

 private:
  TDBGrid* m_grid;
  std::vector<std::unique_ptr<TColumn>> m_items;
};

}  // namespace velloria
