// Day numbers, the process-wide format settings and date text conversion.
#include "dataset/db.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

namespace velloria {
namespace {

constexpr int kDaysBeforeMonth[2][13] = {
    {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month];
}

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

// Field order of the short date format: the letters d, m, y in their first appearance.
std::string FieldOrder(const std::string& format) {
  std::string order;
  for (char c : format) {
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if ((lower == 'd' || lower == 'm' || lower == 'y') && order.find(lower) == std::string::npos) {
      order += lower;
    }
  }
  return order.size() == 3 ? order : "mdy";
}

[[noreturn]] void RaiseBadDate(const std::string& text) {
  throw EDatabaseError("'" + text + "' is not a valid date");
}

}  // namespace

void Abort() { throw EAbort(); }

bool IsValidCivilDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

std::int32_t EncodeDayNumber(int year, int month, int day) {
  int y = year - 1;
  return y * 365 + y / 4 - y / 100 + y / 400 + kDaysBeforeMonth[IsLeapYear(year)][month] + day;
}

TCivilDate DecodeDayNumber(std::int32_t day) {
  int d = day - 1;  // days since 1 January of year 1
  int n400 = d / 146097;
  d %= 146097;
  int n100 = d / 36524;
  if (n100 == 4) n100 = 3;
  d -= n100 * 36524;
  int n4 = d / 1461;
  d %= 1461;
  int n1 = d / 365;
  if (n1 == 4) n1 = 3;
  d -= n1 * 365;
  TCivilDate date;
  date.year = n400 * 400 + n100 * 100 + n4 * 4 + n1 + 1;
  date.month = 1;
  while (date.month < 12 && d >= kDaysBeforeMonth[IsLeapYear(date.year)][date.month + 1]) {
    ++date.month;
  }
  date.day = d - kDaysBeforeMonth[IsLeapYear(date.year)][date.month] + 1;
  return date;
}

TFormatSettings& DatasetFormatSettings() {
  static TFormatSettings settings;
  return settings;
}

std::string FormatDate(std::int32_t day, const std::string& format) {
  if (day < 1) return {};
  TCivilDate date = DecodeDayNumber(day);
  std::string out;
  for (size_t i = 0; i < format.size();) {
    char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(format[i])));
    size_t run = 1;
    while (i + run < format.size() &&
           std::tolower(static_cast<unsigned char>(format[i + run])) == lower) {
      ++run;
    }
    char digits[16];
    if (lower == 'd') {
      std::snprintf(digits, sizeof digits, run >= 2 ? "%02d" : "%d", date.day);
      out += digits;
    } else if (lower == 'm') {
      std::snprintf(digits, sizeof digits, run >= 2 ? "%02d" : "%d", date.month);
      out += digits;
    } else if (lower == 'y') {
      if (run >= 3) {
        std::snprintf(digits, sizeof digits, "%04d", date.year);
      } else {
        std::snprintf(digits, sizeof digits, "%02d", date.year % 100);
      }
      out += digits;
    } else {
      for (size_t k = 0; k < run; ++k) {
        out += format[i] == '/' ? DatasetFormatSettings().dateSeparator : format[i];
      }
    }
    i += run;
  }
  return out;
}

std::int32_t ParseDateText(const std::string& text) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      parts.back() += c;
    } else if (c != ' ' && !parts.back().empty()) {
      parts.emplace_back();
    }
  }
  if (!parts.empty() && parts.back().empty()) parts.pop_back();
  if (parts.empty()) {
    if (text.find_first_not_of(' ') == std::string::npos) return 0;
    RaiseBadDate(text);
  }
  if (parts.size() != 3 || parts[0].size() > 4 || parts[1].size() > 4 || parts[2].size() > 4) {
    RaiseBadDate(text);
  }
  std::string order = FieldOrder(DatasetFormatSettings().shortDateFormat);
  int values[3] = {};
  std::string yearText;
  for (int i = 0; i < 3; ++i) {
    int value = std::stoi(parts[i]);
    if (order[i] == 'd') values[0] = value;
    if (order[i] == 'm') values[1] = value;
    if (order[i] == 'y') {
      values[2] = value;
      yearText = parts[i];
    }
  }
  int year = values[2];
  if (yearText.size() <= 2) {
    int base = CurrentYear() - DatasetFormatSettings().shortYearWindow;
    year += base / 100 * 100;
    if (year < base) year += 100;
  }
  if (!IsValidCivilDate(year, values[1], values[0])) RaiseBadDate(text);
  return EncodeDayNumber(year, values[1], values[0]);
}

}  // namespace velloria
