// Dates in the system locale's short date format (QLocale::system()).
#include "platform/system_dates.h"

#include <QDate>
#include <QLocale>

namespace velloria {

std::string FormatSystemShortDate(int year, int month, int day) {
  return QLocale::system().toString(QDate(year, month, day), QLocale::ShortFormat).toStdString();
}

}  // namespace velloria
