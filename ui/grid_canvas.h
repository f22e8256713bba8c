// Drawing helpers of the data-bound grid: the canvas a draw handler receives (font,
// font colour, brush over a QPainter), the text placement rule with its shared
// off-screen bitmap, raised cell edges and the dotted focus rectangle. GUI thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

class QPainter;

namespace velloria {

// Horizontal alignment of a column's or a title's text.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// The state with which the grid hands a cell to its draw handler.
struct TGridDrawState {
  bool selected = false;
  bool focused = false;
  bool fixed = false;
  bool operator==(const TGridDrawState&) const = default;
};

// What a draw handler paints with: the font, its colour and the brush the grid chose
// for the cell, over the grid's painter. Valid only while the grid paints.
class TGridCanvas {
 public:
  explicit TGridCanvas(QPainter* painter = nullptr) : m_painter(painter) {}

  QFont Font;
  QColor FontColor;
  QColor BrushColor;

  QPainter* Painter() const { return m_painter; }
  // Fills `rect` with the brush colour.
  void FillRect(const QRect& rect);
  // Draws `text` with its top-left corner at (x, y), clipped to `rect`, whose
  // background is first filled with the brush (clipped opaque text).
  void TextRect(const QRect& rect, int x, int y, const QString& text);
  int TextWidth(const QString& text) const;

 private:
  QPainter* m_painter;
};

// True when `color` is drawn exactly on the painter's device (its nearest colour there
// equals it): opaque, and representable in the device's pixel depth.
bool IsPureColor(const QPainter& painter, const QColor& color);

// Draws `text` in `rect` at offsets (dx, dy) with `alignment`, filling the rectangle
// with the canvas brush. Pure brushes draw straight onto the device; others go
// through the off-screen bitmap shared by all grids.
void WriteText(TGridCanvas& canvas, const QRect& rect, int dx, int dy, const QString& text,
               TAlignment alignment);

// Raised inner edge of a fixed cell: bottom and right sides first, then top and left.
void DrawRaisedInnerEdge(QPainter& painter, const QRect& rect);

// Dotted focus rectangle drawn by inverting the pixels under it.
void DrawFocusRect(QPainter& painter, const QRect& rect);

// Holds the off-screen bitmap shared by all grids while at least one grid exists.
class SharedGridBitmap {
 public:
  SharedGridBitmap();
  ~SharedGridBitmap();
  SharedGridBitmap(const SharedGridBitmap&) = delete;
  SharedGridBitmap& operator=(const SharedGridBitmap&) = delete;

  // The bitmap, grown to at least `size` (null while no grid holds it).
  static QPixmap* Acquire(const QSize& size);
};

}  // namespace velloria
