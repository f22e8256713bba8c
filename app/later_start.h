// A later start of the program while this one runs: the running window takes its arguments
// when they name the office it shows, and the later start says so when they name another.
#pragma once

#include <string>
#include <vector>

namespace velloria {

class TfrmMain;

inline constexpr const char* kOtherOfficeMessage =
    "Il programma è già aperto sui documenti di un altro ufficio:\n%1\n\n"
    "Per aprire i documenti di questo ufficio chiudere prima la finestra già aperta.";

// Whether two Stampe folders are the same office: the same folder on disk, however spelled,
// or the same text when either cannot be found.
bool IsSameOffice(const std::string& stampeFolder, const std::string& otherStampeFolder);

// The running instance's answer line to a later start's `arguments` (its argv without the
// program). The window comes forward. Arguments naming the window's office are taken by
// it once this event ends (new category type, caller code and idle close); arguments that
// do not read as a start's leave it as it is; another office is answered as such.
std::string AnswerLaterStart(TfrmMain& window, const std::vector<std::string>& arguments);

// The exit code of a later start once the running instance answered `answer`: 0 when it
// took the request, 1 after telling the user that the program is open on another office.
int EndLaterStart(const std::string& answer);

}  // namespace velloria
