// The category grid's colouring: each data cell filled by the row's state and category
// type (navy for the focused selected row, sky blue for type 1, money green for type 2,
// cream otherwise) with its field text on top. GUI thread only.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>

#include "ui/dbgrid.h"

namespace velloria {

inline const QColor kSelectedRowColor(0, 0, 128);     // navy, 0x800000 as BGR
inline const QColor kAccountingColor(166, 202, 240);  // sky blue, 0xF0CAA6, category type 1
inline const QColor kTeachingColor(192, 220, 192);    // money green, 0xC0DCC0, category type 2
inline const QColor kOtherRowColor(255, 251, 240);    // cream, 0xF0FBFF

// The category type in words, as the legend says it: "Contabilità" for 1, "Didattica"
// for 2, else "Tipo " and the number.
QString CategoryTypeName(int tipo);

// The background of a data cell. `tipo` is only read when the table is not empty.
QColor CategoryRowColor(bool inMultiSelection, TGridDrawState state, bool tableEmpty, int tipo);

// The draw handler of the category grid (DBGridDrawColumnCell): fills `rect` with the
// row's colour and draws the column field's edit text at the rectangle's top, right-
// aligned 3 pixels from the right edge for numeric fields, else at the left edge, with
// the font the grid prepared. The row of the category the document list shows
// (`shownCategory`) gets a triangle at its right edge pointing at the list, whatever the
// focus. REQUIRES: called by `grid` while it draws the cell.
void DrawCategoryCell(TDBGrid& grid, const QRect& rect, TColumn* column, TGridDrawState state,
                      bool shownCategory);

// The shown category's marker inside `rect`: its right-hand part, where the text stops.
QRect ShownCategoryMarkerRect(const QRect& rect);

}  // namespace velloria
