// Category colouring of the grid's data cells: the row colour rule and the handler that
// paints a cell with it.
#include "app/category_colours.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>

#include "dataset/dataset.h"
#include "dataset/field.h"

namespace velloria {
namespace {

bool IsNumeric(TFieldType type) {
  return type == TFieldType::ftSmallint || type == TFieldType::ftInteger ||
         type == TFieldType::ftFloat || type == TFieldType::ftCurrency;
}

constexpr int kMarkerWidth = 5;  // the triangle's depth; twice as tall
constexpr int kMarkerRoom = 3;   // from the triangle to the cell's right edge

void DrawShownMarker(TGridCanvas& canvas, const QRect& rect, const QColor& background) {
  QRect marker = ShownCategoryMarkerRect(rect);
  QPolygon triangle({marker.topLeft(), QPoint(marker.right(), marker.center().y()), marker.bottomLeft()});
  QPainter& painter = *canvas.Painter();
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(background.lightness() < 128 ? Qt::white : Qt::black);
  painter.drawPolygon(triangle);
  painter.restore();
}

}  // namespace

QRect ShownCategoryMarkerRect(const QRect& rect) {
  int height = std::min(2 * kMarkerWidth, rect.height() - 2);
  return QRect(rect.right() - kMarkerRoom - kMarkerWidth + 1, rect.center().y() - height / 2, kMarkerWidth,
               height + 1);
}

QString CategoryTypeName(int tipo) {
  if (tipo == 1) return QStringLiteral("Contabilità");
  if (tipo == 2) return QStringLiteral("Didattica");
  return QStringLiteral("Tipo %1").arg(tipo);
}

QColor CategoryRowColor(bool inMultiSelection, TGridDrawState state, bool tableEmpty, int tipo) {
  if (inMultiSelection || (state.selected && state.focused)) return kSelectedRowColor;
  if (!tableEmpty && tipo == 1) return kAccountingColor;
  if (!tableEmpty && tipo == 2) return kTeachingColor;
  return kOtherRowColor;
}

void DrawCategoryCell(TDBGrid& grid, const QRect& rect, TColumn* column, TGridDrawState state,
                      bool shownCategory) {
  TDataSet* dataSet = grid.DataSource() ? grid.DataSource()->DataSet() : nullptr;
  if (dataSet == nullptr || !dataSet->Active()) return;
  bool empty = dataSet->IsEmpty();
  int tipo = empty ? 0 : dataSet->FieldByName("TIPO").AsInteger();
  TGridCanvas& canvas = grid.Canvas();
  // While another window is active the grid draws its mark without highlight colours:
  // the marked row takes the palette's inactive highlight, on which its text is readable.
  if (state.selected && state.focused && !grid.isActiveWindow()) {
    canvas.BrushColor = grid.palette().color(QPalette::Inactive, QPalette::Highlight);
    canvas.FontColor = grid.palette().color(QPalette::Inactive, QPalette::HighlightedText);
  } else {
    canvas.BrushColor = CategoryRowColor(grid.CurrentRowSelected(), state, empty, tipo);
  }
  canvas.FillRect(rect);
  QRect textRect = rect;
  if (shownCategory && !empty) {
    DrawShownMarker(canvas, rect, canvas.BrushColor);
    textRect.setRight(ShownCategoryMarkerRect(rect).left() - 2);
  }

  TField* field = column ? column->Field() : nullptr;
  if (field == nullptr) return;
  QString text = empty ? QString() : QString::fromStdString(field->EditText());
  int x = textRect.left();
  if (IsNumeric(field->DataType())) x = textRect.left() + textRect.width() - 3 - canvas.TextWidth(text);
  canvas.TextRect(textRect, x, textRect.top(), text);
}

}  // namespace velloria
