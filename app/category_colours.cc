// Category colouring of the grid's data cells: the row colour rule and the handler that
// paints a cell with it.
#include "app/category_colours.h"

#include "dataset/dataset.h"
#include "dataset/field.h"

namespace velloria {
namespace {

bool IsNumeric(TFieldType type) {
  return type == TFieldType::ftSmallint || type == TFieldType::ftInteger ||
         type == TFieldType::ftFloat || type == TFieldType::ftCurrency;
}

}  // namespace

QColor CategoryRowColor(bool inMultiSelection, TGridDrawState state, bool tableEmpty, int tipo) {
  if (inMultiSelection || (state.selected && state.focused)) return kSelectedRowColor;
  if (!tableEmpty && tipo == 1) return kAccountingColor;
  if (!tableEmpty && tipo == 2) return kTeachingColor;
  return kOtherRowColor;
}

void DrawCategoryCell(TDBGrid& grid, const QRect& rect, TColumn* column, TGridDrawState state) {
  TDataSet* dataSet = grid.DataSource() ? grid.DataSource()->DataSet() : nullptr;
  if (dataSet == nullptr || !dataSet->Active()) return;
  bool empty = dataSet->IsEmpty();
  int tipo = empty ? 0 : dataSet->FieldByName("TIPO").AsInteger();
  TGridCanvas& canvas = grid.Canvas();
  canvas.BrushColor = CategoryRowColor(grid.CurrentRowSelected(), state, empty, tipo);
  canvas.FillRect(rect);

  TField* field = column ? column->Field() : nullptr;
  if (field == nullptr) return;
  QString text = empty ? QString() : QString::fromStdString(field->EditText());
  int x = rect.left();
  if (IsNumeric(field->DataType())) x = rect.left() + rect.width() - 3 - canvas.TextWidth(text);
  canvas.TextRect(rect, x, rect.top(), text);
}

}  // namespace velloria
