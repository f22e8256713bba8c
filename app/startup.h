// Start-up rules of the program: the four arguments, the Stampe folder derived from the
// data path, whether the inactivity timer runs from the start, and the window caption.
// Plain functions without widgets; they raise on bad input (the start-up guard catches).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velloria {

// A text that is not an integer.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Start-up cannot go on (a data path too short to derive the Stampe folder).
class EStartupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The four positional arguments with which the calling application starts the program.
struct StartupArguments {
  int categoryType = 0;         // TIPO of the categories shown
  int callerCode = 0;           // shown in the caption; some codes arm the inactivity timer
  std::string dataPath;         // the calling application's data folder, normally ending in '/'
  std::string fourthArgument;   // read and kept; nothing uses it
};

inline constexpr const char* kCaptionHead = "Tarvolo - Gestione dei Documenti di Microsoft Word (Ver. ";
inline constexpr const char* kStampeFolderName = "Stampe";
inline constexpr const char* kMarkerFile = "FG/AGENZIA/PrevCors.DBF";

// A decimal 32-bit integer with an optional sign; anything else (empty, blanks, letters,
// out of range) raises EConvertError.
int StrToInt(std::string_view text);

// `argv` as the process received it: argv[0] is the program and is not used; missing
// arguments read as "". Raises EConvertError when argument 1 or 2 is not an integer.
// The operating system hands the arguments over already split, so no quoting rules apply.
StartupArguments ParseArguments(const std::vector<std::string>& argv);

// The data path without its last character, then trimmed back to its last '/' (or to
// one character), followed by "Stampe": "/srv/gest/DATI/" and "/srv/gest/DATI" give
// "/srv/gest/Stampe", "DATI/" gives "DStampe". Raises EStartupError for a data path of
// fewer than two characters.
std::string DeriveStampeFolder(std::string_view dataPath);

// True for the caller codes whose inactivity timer may run from the start: 3, 9, 12, 14, 18.
bool IsInactivityCallerCode(int callerCode);

// The marker file: `dataPath` immediately followed by "FG/AGENZIA/PrevCors.DBF" (no
// separator added), each missing component looked up ignoring letter case.
std::string MarkerFilePath(std::string_view dataPath);

// Whether the inactivity timer runs from the start: an inactivity caller code and an
// existing marker file under the data path.
bool InactivityTimerArmedAtStart(int callerCode, std::string_view dataPath);

// "Tarvolo - Gestione dei Documenti di Microsoft Word (Ver. <code> - <date>) ", the last
// blank included.
std::string ComposeCaption(int callerCode, std::string_view dateText);

// The date of the last modification of the program's own executable, written in the
// system's short date format.
std::string ExecutableDateText();

}  // namespace velloria
