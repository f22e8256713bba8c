// Starting the word processor on a document, the way the program name "WinWord" is
// resolved here: an executable WinWord or winword on PATH, else the desktop's default
// application for Word documents, else LibreOffice Writer. GUI thread or any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace velloria::launcher {

// A program and its arguments, started directly (never through a shell).
struct LaunchCommand {
  QString program;
  QStringList arguments;
  int documentArgument = -1;  // the index in `arguments` that holds the document
};

// The command that opens `documentPath` in the word processor, or nothing when none of
// the three candidates exists. The path is always one whole argument.
std::optional<LaunchCommand> ResolveWordProcessor(const QString& documentPath);

// The desktop's default application for application/msword as a command for
// `documentPath`: the first existing entry of the mimeapps.list files in the XDG order,
// its Exec line split into arguments and its file field code replaced by the path.
std::optional<LaunchCommand> DesktopDefaultForWord(const QString& documentPath);

// Starts the word processor on `documentPath` (the file system's bytes, passed on as
// they are), detached from this process. True when a process was started; the program
// does not report a failure.
bool StartWordProcessor(const std::string& documentPath);

}  // namespace velloria::launcher
