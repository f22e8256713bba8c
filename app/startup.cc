// Start-up rules: argument conversion, Stampe folder, inactivity decision, caption.
#include "app/startup.h"

#include <sys/stat.h>

#include <charconv>
#include <ctime>

#include "platform/system_dates.h"
#include "base/paths.h"

namespace velloria {

int StrToInt(std::string_view text) {
  std::string_view digits = text;
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  int value = 0;
  const char* last = digits.data() + digits.size();
  auto [end, error] = std::from_chars(digits.data(), last, value);
  if (digits.empty() || error != std::errc() || end != last) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

StartupArguments ParseArguments(const std::vector<std::string>& argv) {
  auto argument = [&argv](size_t index) {
    return index < argv.size() ? argv[index] : std::string();
  };
  StartupArguments arguments;
  arguments.categoryType = StrToInt(argument(1));
  arguments.callerCode = StrToInt(argument(2));
  arguments.dataPath = argument(3);
  arguments.fourthArgument = argument(4);
  return arguments;
}

std::string DeriveStampeFolder(std::string_view dataPath) {
  if (dataPath.size() < 2) {
    throw EStartupError("The data path \"" + std::string(dataPath) + "\" is too short");
  }
  std::string folder(dataPath.substr(0, dataPath.size() - 1));
  while (!paths::IsSeparator(folder.back()) && folder.size() > 1) folder.pop_back();
  return folder + kStampeFolderName;
}

bool IsInactivityCallerCode(int callerCode) {
  switch (callerCode) {
    case 3: case 9: case 12: case 14: case 18: return true;
    default: return false;
  }
}

std::string MarkerFilePath(std::string_view dataPath) {
  return paths::ResolveCaseInsensitive(std::string(dataPath) + kMarkerFile);
}

bool InactivityTimerArmedAtStart(int callerCode, std::string_view dataPath) {
  if (!IsInactivityCallerCode(callerCode)) return false;
  std::string marker = MarkerFilePath(dataPath);
  return paths::Exists(marker) && !paths::IsFolder(marker);
}

std::string ComposeCaption(int callerCode, std::string_view dateText) {
  return std::string(kCaptionHead) + std::to_string(callerCode) + " - " + std::string(dateText) +
         ") ";
}

std::string ExecutableDateText() {
  struct stat st;
  if (stat("/proc/self/exe", &st) != 0) {
    throw EStartupError("Cannot read the date of the program's own file");
  }
  std::tm local{};
  localtime_r(&st.st_mtime, &local);
  return FormatSystemShortDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

}  // namespace velloria
