// Process-wide format settings: the texts with which numbers, money, dates and times
// are written. Loaded once from the system locale at start; the program then adjusts
// single entries (start-up empties the currency symbol). GUI thread only.
#pragma once

#include <string>

namespace velloria {

struct FormatSettings {
  std::string currencyString;   // symbol written with money amounts
  char timeSeparator = ':';
  char dateSeparator = '/';
  std::string shortDateFormat;  // Qt date pattern, e.g. "dd/MM/yyyy"
};

// The one instance of the process.
FormatSettings& GlobalFormatSettings();

// Fills the process-wide settings from the system locale.
void LoadSystemFormatSettings();

// `year`-`month`-`day` written with the process-wide short date format.
std::string FormatShortDate(int year, int month, int day);

}  // namespace velloria
