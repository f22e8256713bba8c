// libFuzzer target for the start-up rules: the input, split at zero bytes, is the argument
// vector; it is parsed, the Stampe folder is derived from the data path and the marker file
// looked up. Bad input may only raise the start-up errors; the derivation must end in
// "Stampe" and never grow the data path's folder.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/startup.h"

namespace {

using namespace velloria;

std::vector<std::string> Arguments(const uint8_t* data, size_t size) {
  std::vector<std::string> argv = {"velloria"};
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      argv.push_back(current);
      current.clear();
    } else {
      current += char(data[i]);
    }
  }
  argv.push_back(current);
  return argv;
}

void CheckStampeFolder(const std::string& dataPath) {
  try {
    std::string folder = DeriveStampeFolder(dataPath);
    std::string stem = folder.substr(0, folder.size() - std::string(kStampeFolderName).size());
    if (!folder.ends_with(kStampeFolderName) || stem.size() >= dataPath.size() ||
        dataPath.compare(0, stem.size(), stem) != 0)
      std::abort();
  } catch (const EStartupError&) {
    if (dataPath.size() >= 2) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> argv = Arguments(data, size);
  try {
    StartupArguments arguments = ParseArguments(argv);
    ComposeCaption(arguments.callerCode, "07/12/2026");
    IsInactivityCallerCode(arguments.callerCode);
  } catch (const EConvertError&) {
  }
  for (const std::string& argument : argv) {
    CheckStampeFolder(argument);
    if (argument.size() < 4096) MarkerFilePath(argument);
  }
  return 0;
}
