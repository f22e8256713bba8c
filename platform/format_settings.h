// Process-wide format settings of the program's own texts: the currency symbol and the
// time separator. Loaded once from the system locale at start; start-up then adjusts them
// (empty currency symbol, ":" between hours and minutes). Dates follow the table's
// settings in the dataset layer. GUI thread only.
#pragma once

#include <string>

namespace velloria {

struct FormatSettings {
  std::string currencyString;  // symbol written with money amounts
  char timeSeparator = ':';
};

// The one instance of the process.
FormatSettings& GlobalFormatSettings();

// Fills the process-wide settings from the system locale.
void LoadSystemFormatSettings();

}  // namespace velloria
