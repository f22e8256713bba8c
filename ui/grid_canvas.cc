// Drawing helpers of the data-bound grid: canvas, text placement rule, edges and the
// dotted focus rectangle.
#include "ui/grid_canvas.h"

#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>

namespace velloria {
namespace {

QPixmap* g_sharedBitmap = nullptr;
int g_bitmapUsers = 0;

// Left edge of a text of `width` inside `rect` for the given alignment.
int AlignedLeft(const QRect& rect, int dx, int width, TAlignment alignment) {
  switch (alignment) {
    case taRightJustify:
      return rect.left() + rect.width() - width - 3;
    case taCenter:
      return rect.left() + rect.width() / 2 - width / 2;
    case taLeftJustify:
      break;
  }
  return rect.left() + dx;
}

void DrawTextAt(QPainter& painter, const QFont& font, const QColor& color, int x, int top,
                const QString& text) {
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(QPoint(x, top + QFontMetrics(font).ascent()), text);
}

void WriteThroughBitmap(TGridCanvas& canvas, const QRect& rect, int dx, int dy,
                        const QString& text, TAlignment alignment) {
  QPixmap* bitmap = SharedGridBitmap::Acquire(rect.size());
  if (bitmap == nullptr) return;
  bitmap->fill(canvas.BrushColor);
  {
    QPainter offscreen(bitmap);
    int width = canvas.TextWidth(text);
    QRect local(QPoint(0, 0), rect.size());
    offscreen.setClipRect(local);
    DrawTextAt(offscreen, canvas.Font, canvas.FontColor, AlignedLeft(local, dx, width, alignment),
               dy, text);
  }
  canvas.Painter()->drawPixmap(rect.topLeft(), *bitmap, QRect(QPoint(0, 0), rect.size()));
}

}  // namespace

void TGridCanvas::FillRect(const QRect& rect) { m_painter->fillRect(rect, BrushColor); }

void TGridCanvas::TextRect(const QRect& rect, int x, int y, const QString& text) {
  m_painter->save();
  m_painter->setClipRect(rect, Qt::IntersectClip);
  m_painter->fillRect(rect, BrushColor);
  DrawTextAt(*m_painter, Font, FontColor, x, y, text);
  m_painter->restore();
}

int TGridCanvas::TextWidth(const QString& text) const {
  return QFontMetrics(Font).horizontalAdvance(text);
}

bool IsPureColor(const QPainter& painter, const QColor& color) {
  if (color.alpha() != 255) return false;
  const QPaintDevice* device = painter.device();
  if (device == nullptr || device->depth() >= 24) return true;
  QImage probe(1, 1, QImage::Format_RGB16);
  probe.setPixelColor(0, 0, color);
  return probe.pixelColor(0, 0).rgb() == color.rgb();
}

void WriteText(TGridCanvas& canvas, const QRect& rect, int dx, int dy, const QString& text,
               TAlignment alignment) {
  if (!IsPureColor(*canvas.Painter(), canvas.BrushColor)) {
    WriteThroughBitmap(canvas, rect, dx, dy, text, alignment);
    return;
  }
  int left = AlignedLeft(rect, dx, canvas.TextWidth(text), alignment);
  canvas.TextRect(rect, left, rect.top() + dy, text);
}

void DrawRaisedInnerEdge(QPainter& painter, const QRect& rect) {
  QPalette palette;
  painter.setPen(palette.color(QPalette::Dark));
  painter.drawLine(rect.bottomLeft(), rect.bottomRight());
  painter.drawLine(rect.topRight(), rect.bottomRight());
  painter.setPen(palette.color(QPalette::Light));
  painter.drawLine(rect.topLeft(), rect.topRight() - QPoint(1, 0));
  painter.drawLine(rect.topLeft(), rect.bottomLeft() - QPoint(0, 1));
}

void DrawFocusRect(QPainter& painter, const QRect& rect) {
  if (rect.isEmpty()) return;
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  painter.setPen(Qt::white);
  int perimeter = 0;
  auto dot = [&](int x, int y) {
    if (perimeter++ % 2 == 0) painter.drawPoint(x, y);
  };
  for (int x = rect.left(); x < rect.right(); ++x) dot(x, rect.top());
  for (int y = rect.top(); y < rect.bottom(); ++y) dot(rect.right(), y);
  for (int x = rect.right(); x > rect.left(); --x) dot(x, rect.bottom());
  for (int y = rect.bottom(); y > rect.top(); --y) dot(rect.left(), y);
  painter.restore();
}

SharedGridBitmap::SharedGridBitmap() { ++g_bitmapUsers; }

SharedGridBitmap::~SharedGridBitmap() {
  if (--g_bitmapUsers == 0) {
    delete g_sharedBitmap;
    g_sharedBitmap = nullptr;
  }
}

QPixmap* SharedGridBitmap::Acquire(const QSize& size) {
  if (g_bitmapUsers == 0) return nullptr;
  if (g_sharedBitmap == nullptr) g_sharedBitmap = new QPixmap(size);
  if (g_sharedBitmap->width() < size.width() || g_sharedBitmap->height() < size.height()) {
    *g_sharedBitmap = QPixmap(g_sharedBitmap->size().expandedTo(size));
  }
  return g_sharedBitmap;
}

}  // namespace velloria
