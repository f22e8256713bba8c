// Dates of the expression language: Julian day numbers, the DTOS form, and the CTOD/DTOC
// text forms that follow the date format, century and epoch settings.
#include <langinfo.h>

#include <cstdio>

#include "engine/expr_internal.h"
#include "engine/os.h"

namespace xb {
namespace {

constexpr int64_t kFirstJulian = 1721426;  // 0001-01-01
constexpr int64_t kLastJulian = 5373484;   // 9999-12-31

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

int64_t JulianFromYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return 0;
  }
  const int64_t a = (14 - month) / 12;
  const int64_t y = year + 4800 - a;
  const int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

bool YmdFromJulian(int64_t julian, int* year, int* month, int* day) {
  *year = *month = *day = 0;
  if (julian < kFirstJulian || julian > kLastJulian) return false;
  const int64_t a = julian + 32044;
  const int64_t b = (4 * a + 3) / 146097;
  const int64_t c = a - 146097 * b / 4;
  const int64_t d = (4 * c + 3) / 1461;
  const int64_t e = c - 1461 * d / 4;
  const int64_t m = (5 * e + 2) / 153;
  *day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  *month = static_cast<int>(m + 3 - 12 * (m / 10));
  *year = static_cast<int>(100 * b + d - 4800 + m / 10);
  return true;
}

int64_t JulianFromDtos(const char* bytes8) {
  int value[8];
  for (int i = 0; i < 8; ++i) {
    if (bytes8[i] < '0' || bytes8[i] > '9') return 0;
    value[i] = bytes8[i] - '0';
  }
  const int year = value[0] * 1000 + value[1] * 100 + value[2] * 10 + value[3];
  return JulianFromYmd(year, value[4] * 10 + value[5], value[6] * 10 + value[7]);
}

std::string DtosFromJulian(int64_t julian) {
  int year, month, day;
  if (!YmdFromJulian(julian, &year, &month, &day)) return std::string(8, ' ');
  char text[40];  // room for any int, though a valid date always takes 8
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
  return std::string(text, 8);
}

}  // namespace xb

namespace xb::expr {
namespace {

// Order of the day (d), month (m) and year (y) parts, and their separator.
struct DateLayout {
  char order[3];
  char separator;
};

// The C library's short date order (nl_langinfo(D_FMT)), e.g. "%m/%d/%y" → m d y "/".
DateLayout SystemLayout() {
  DateLayout layout{{'m', 'd', 'y'}, '/'};
  const std::string_view format = nl_langinfo(D_FMT);
  if (format == "%D") return layout;
  if (format == "%F") return DateLayout{{'y', 'm', 'd'}, '-'};
  DateLayout found{{0, 0, 0}, '/'};
  int parts = 0;
  bool separator_seen = false;
  for (size_t i = 0; i + 1 < format.size() && parts < 3; ++i) {
    if (format[i] != '%') {
      if (parts > 0 && !separator_seen) found.separator = format[i];
      separator_seen = separator_seen || parts > 0;
      continue;
    }
    const char code = format[++i];
    if (code == 'd' || code == 'e') found.order[parts++] = 'd';
    if (code == 'm') found.order[parts++] = 'm';
    if (code == 'y' || code == 'Y') found.order[parts++] = 'y';
  }
  return parts == 3 ? found : layout;
}

DateLayout LayoutFor(int code) {
  switch (code) {
    case kDateAnsi:
      return {{'y', 'm', 'd'}, '.'};
    case kDateBritish:
    case kDateFrench:
      return {{'d', 'm', 'y'}, '/'};
    case kDateGerman:
      return {{'d', 'm', 'y'}, '.'};
    case kDateItalian:
    case kDateSpanish:
      return {{'d', 'm', 'y'}, '-'};
    case kDateSystem: {
      static const DateLayout system = SystemLayout();
      return system;
    }
    default:
      return {{'m', 'd', 'y'}, '/'};
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int ApplyEpoch(int two_digit_year, int epoch) {
  const int year = epoch / 100 * 100 + two_digit_year;
  return year < epoch ? year + 100 : year;
}

int64_t CtodJulian(std::string_view text, const ExprSettings& settings) {
  const DateLayout layout = LayoutFor(settings.date_format);
  int values[3] = {0, 0, 0};
  int lengths[3] = {0, 0, 0};
  size_t pos = 0;
  for (int part = 0; part < 3; ++part) {
    while (pos < text.size() && !IsDigit(text[pos])) {
      if (part == 0 && text[pos] != ' ') return 0;  // text before the first number
      ++pos;
    }
    while (pos < text.size() && IsDigit(text[pos]) && lengths[part] < 4) {
      values[part] = values[part] * 10 + (text[pos++] - '0');
      ++lengths[part];
    }
    if (lengths[part] == 0 || (pos < text.size() && IsDigit(text[pos]))) return 0;
  }
  int year = 0, month = 0, day = 0;
  for (int part = 0; part < 3; ++part) {
    if (layout.order[part] == 'd') day = values[part];
    if (layout.order[part] == 'm') month = values[part];
    if (layout.order[part] == 'y') {
      year = lengths[part] <= 2 ? ApplyEpoch(values[part], settings.epoch) : values[part];
    }
  }
  return JulianFromYmd(year, month, day);
}

void DtocText(int64_t julian, const ExprSettings& settings, std::string* out) {
  const DateLayout layout = LayoutFor(settings.date_format);
  int year, month, day;
  const bool valid = YmdFromJulian(julian, &year, &month, &day);
  out->clear();
  for (int part = 0; part < 3; ++part) {
    if (part > 0) out->push_back(layout.separator);
    const char which = layout.order[part];
    const int width = which == 'y' && settings.century ? 4 : 2;
    if (!valid) {
      out->append(width, ' ');
      continue;
    }
    const int value = which == 'd' ? day : which == 'm' ? month : (width == 2 ? year % 100 : year);
    char digits[16];  // room for any int, though a valid date part takes 2 or 4
    std::snprintf(digits, sizeof digits, "%0*d", width, value);
    out->append(digits);
  }
}

int64_t TodayJulian() {
  int year, month, day;
  CurrentOs()->Today(&year, &month, &day);
  return JulianFromYmd(year, month, day);
}

}  // namespace xb::expr
