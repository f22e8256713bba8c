// Process-wide format settings, taken from the system locale (QLocale::system()).
#include "platform/format_settings.h"

#include <QDate>
#include <QLocale>

namespace velloria {
namespace {

// The first character of the pattern that is not a date letter: the date separator.
char SeparatorOf(const QString& pattern, char fallback) {
  for (QChar c : pattern) {
    if (!c.isLetter() && c.unicode() < 128) return static_cast<char>(c.unicode());
  }
  return fallback;
}

}  // namespace

FormatSettings& GlobalFormatSettings() {
  static FormatSettings settings;
  return settings;
}

void LoadSystemFormatSettings() {
  QLocale locale = QLocale::system();
  FormatSettings& settings = GlobalFormatSettings();
  settings.currencyString = locale.currencySymbol().toStdString();
  settings.shortDateFormat = locale.dateFormat(QLocale::ShortFormat).toStdString();
  settings.dateSeparator = SeparatorOf(locale.dateFormat(QLocale::ShortFormat), '/');
  QString time = locale.timeFormat(QLocale::ShortFormat);
  settings.timeSeparator = SeparatorOf(time.remove(QLatin1Char(' ')), ':');
}

std::string FormatShortDate(int year, int month, int day) {
  const FormatSettings& settings = GlobalFormatSettings();
  QString pattern = settings.shortDateFormat.empty()
                        ? QLocale::system().dateFormat(QLocale::ShortFormat)
                        : QString::fromStdString(settings.shortDateFormat);
  return QLocale::system().toString(QDate(year, month, day), pattern).toStdString();
}

}  // namespace velloria
