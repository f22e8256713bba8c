// The system's short date format (the desktop's locale), with which the program writes
// the dates it shows of its own, such as the one in the window caption. GUI thread only.
#pragma once

#include <string>

namespace velloria {

// `year`-`month`-`day` written in the system locale's short date format.
std::string FormatSystemShortDate(int year, int month, int day);

}  // namespace velloria
