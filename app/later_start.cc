// A later start's arguments, taken by the running window or refused for another office.
#include "app/later_start.h"

#include <stdlib.h>

#include <QTimer>
#include <exception>
#include <memory>

#include "app/main_window.h"
#include "app/startup.h"
#include "platform/instance_request.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

// The folder with its links and "." and ".." resolved; empty when it cannot be found.
std::string CanonicalFolder(const std::string& folder) {
  std::unique_ptr<char, decltype(&free)> resolved(realpath(folder.c_str(), nullptr), &free);
  return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace

bool IsSameOffice(const std::string& stampeFolder, const std::string& otherStampeFolder) {
  const std::string canonical = CanonicalFolder(stampeFolder);
  const std::string otherCanonical = CanonicalFolder(otherStampeFolder);
  if (canonical.empty() || otherCanonical.empty()) return stampeFolder == otherStampeFolder;
  return canonical == otherCanonical;
}

std::string AnswerLaterStart(TfrmMain& window, const std::vector<std::string>& arguments) {
  window.bringToFront();
  std::vector<std::string> argv{std::string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  StartupArguments later;
  std::string stampeFolder;
  try {
    later = ParseArguments(argv);
    stampeFolder = DeriveStampeFolder(later.dataPath);
  } catch (const std::exception&) {
    return std::string(kRaiseAnswer);  // nothing to take: the window just comes forward
  }
  if (window.startupFailed()) return std::string(kRaiseAnswer);
  if (!IsSameOffice(stampeFolder, window.stampeFolder())) {
    return EncodeOtherOfficeAnswer(window.stampeFolder());
  }
  // Taken after the answer has gone, as any other event, so that a failure is shown as
  // one and the later start does not wait for it.
  QTimer::singleShot(0, &window, [&window, later] { window.takeLaterStart(later); });
  return std::string(kRaiseAnswer);
}

int EndLaterStart(const std::string& answer) {
  const std::optional<std::string> runningOffice = DecodeOtherOfficeAnswer(answer);
  if (!runningOffice) return 0;
  ShowMessageDialog(QString::fromUtf8(kOtherOfficeMessage).arg(QString::fromStdString(*runningOffice)),
                    mtInformation, {mbOK});
  return 1;
}

}  // namespace velloria
