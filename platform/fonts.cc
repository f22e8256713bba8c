// Registration of the Tahoma font and the window font built on it.
#include "platform/fonts.h"

#include <QFile>
#include <QFontDatabase>

namespace velloria {

bool RegisterTahoma(const QString& path) {
  if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
  return QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive);
}

QFont WindowFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(11);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace velloria
