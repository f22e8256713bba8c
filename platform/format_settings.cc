// Process-wide format settings, taken from the system locale (QLocale::system()).
#include "platform/format_settings.h"

#include <QLocale>

namespace velloria {

FormatSettings& GlobalFormatSettings() {
  static FormatSettings settings;
  return settings;
}

void LoadSystemFormatSettings() {
  QLocale locale = QLocale::system();
  FormatSettings& settings = GlobalFormatSettings();
  settings.currencyString = locale.currencySymbol().toStdString();
  // The first character of the short time pattern that is not a letter or a blank.
  for (QChar c : locale.timeFormat(QLocale::ShortFormat)) {
    if (!c.isLetter() && !c.isSpace() && c.unicode() < 128) {
      settings.timeSeparator = static_cast<char>(c.unicode());
      break;
    }
  }
}

}  // namespace velloria
