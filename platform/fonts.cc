// Registration of the Tahoma font and the window font built on it.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>

#include <QFile>
#include <QFontDatabase>

namespace velloria {

// FcInit is thread-safe and makes the configuration it loads the current one, which is the
// one Qt's font database takes later. A failed load is left for Qt to meet and report.
FontConfigurationPreload::FontConfigurationPreload() : m_loader([] { FcInit(); }) {}

FontConfigurationPreload::~FontConfigurationPreload() { wait(); }

void FontConfigurationPreload::wait() {
  if (m_loader.joinable()) m_loader.join();
}

bool RegisterTahoma(const QString& path) {
  // Only the registered file is looked at: listing every family of the system would
  // cost a full font scan at start.
  int id = QFile::exists(path) ? QFontDatabase::addApplicationFont(path) : -1;
  return id >= 0 &&
         QFontDatabase::applicationFontFamilies(id).contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive);
}

QFont WindowFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(11);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace velloria
