// The word processor's resolution (PATH, the desktop default for Word documents,
// LibreOffice Writer) and its detached start with the document as one argument.
#include "platform/launcher.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <cerrno>
#include <vector>

#include "platform/file_name_text.h"

namespace velloria::launcher {
namespace {

constexpr const char* kWordMimeType = "application/msword";

QStringList EnvironmentFolders(const char* variable, const QString& fallback) {
  QString value = qEnvironmentVariable(variable);
  if (value.isEmpty()) value = fallback;
  return value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString ConfigHome() {
  QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
  return home.isEmpty() ? QDir::homePath() + "/.config" : home;
}

QString DataHome() {
  QString home = qEnvironmentVariable("XDG_DATA_HOME");
  return home.isEmpty() ? QDir::homePath() + "/.local/share" : home;
}

// The folders that hold .desktop files, most important first.
QStringList ApplicationFolders() {
  QStringList folders{DataHome() + "/applications"};
  for (const QString& dir : EnvironmentFolders("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) {
    folders << dir + "/applications";
  }
  return folders;
}

// The mimeapps.list files in the order the desktop consults them.
QStringList MimeAppsLists() {
  QStringList lists{ConfigHome() + "/mimeapps.list"};
  for (const QString& dir : EnvironmentFolders("XDG_CONFIG_DIRS", "/etc/xdg")) lists << dir + "/mimeapps.list";
  for (const QString& dir : ApplicationFolders()) lists << dir + "/mimeapps.list";
  return lists;
}

// The value of `key` in section `section` of an ini-style file, or "".
QString IniValue(const QString& file, const QString& section, const QString& key) {
  QFile input(file);
  if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream stream(&input);
  bool inSection = false;
  while (!stream.atEnd()) {
    QString line = stream.readLine().trimmed();
    if (line.startsWith(QLatin1Char('['))) {
      inSection = line == "[" + section + "]";
      continue;
    }
    int equals = line.indexOf(QLatin1Char('='));
    if (inSection && equals > 0 && line.left(equals).trimmed() == key) return line.mid(equals + 1).trimmed();
  }
  return {};
}

QString FindDesktopFile(const QString& desktopId) {
  for (const QString& folder : ApplicationFolders()) {
    QString path = folder + "/" + desktopId;
    if (QFile::exists(path)) return path;
  }
  return {};
}

// The Exec line split as the desktop entry format quotes it: blanks separate arguments,
// double quotes group, a backslash inside quotes escapes the next character.
QStringList SplitExec(const QString& exec) {
  QStringList words;
  QString word;
  bool quoted = false, started = false;
  for (int i = 0; i < exec.size(); ++i) {
    QChar c = exec[i];
    if (quoted && c == QLatin1Char('\\') && i + 1 < exec.size()) {
      word += exec[++i];
    } else if (c == QLatin1Char('"')) {
      quoted = !quoted;
      started = true;
    } else if (!quoted && c.isSpace()) {
      if (started) words << word;
      word.clear();
      started = false;
    } else {
      word += c;
      started = true;
    }
  }
  if (started) words << word;
  return words;
}

// Exec words with the file or URL field code replaced by the document (appended when
// there is none) and the other field codes dropped.
std::optional<LaunchCommand> CommandFromExec(const QString& exec, const QString& documentPath) {
  static const QStringList fileCodes{"%f", "%F", "%u", "%U"};
  QStringList words = SplitExec(exec);
  QStringList arguments;
  int documentAt = -1;
  for (const QString& word : words) {
    if (fileCodes.contains(word)) {
      if (documentAt < 0) {
        documentAt = static_cast<int>(arguments.size());
        arguments << documentPath;
      }
    } else if (word.size() == 2 && word[0] == QLatin1Char('%') && word[1] != QLatin1Char('%')) {
      continue;
    } else {
      arguments << QString(word).replace("%%", "%");
    }
  }
  if (arguments.isEmpty() || documentAt == 0) return std::nullopt;
  if (documentAt < 0) {
    documentAt = static_cast<int>(arguments.size());
    arguments << documentPath;
  }
  QString program = arguments.takeFirst();
  return LaunchCommand{program, arguments, documentAt - 1};
}

// Starts argv[0] (an absolute path) with `argv` as the new process's arguments, byte for
// byte, in a session of its own; the intermediate child ends at once, so no zombie stays.
// Only async-signal-safe calls run between fork and exec.
bool SpawnDetached(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child == 0) {
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0) {
      execv(pointers[0], pointers.data());
      _exit(127);
    }
    char started = grandchild > 0 ? 1 : 0;
    (void)!write(ready[1], &started, 1);
    _exit(0);
  }
  close(ready[1]);
  char started = 0;
  bool reported = child > 0 && read(ready[0], &started, 1) == 1;
  close(ready[0]);
  if (child > 0) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  return reported && started == 1;
}

}  // namespace

std::optional<LaunchCommand> DesktopDefaultForWord(const QString& documentPath) {
  for (const QString& list : MimeAppsLists()) {
    QString value = IniValue(list, "Default Applications", kWordMimeType);
    for (const QString& desktopId : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
      QString desktopFile = FindDesktopFile(desktopId.trimmed());
      if (desktopFile.isEmpty()) continue;
      QString exec = IniValue(desktopFile, "Desktop Entry", "Exec");
      if (auto command = CommandFromExec(exec, documentPath)) return command;
    }
  }
  return std::nullopt;
}

std::optional<LaunchCommand> ResolveWordProcessor(const QString& documentPath) {
  for (const char* name : {"WinWord", "winword"}) {
    QString program = QStandardPaths::findExecutable(QLatin1String(name));
    if (!program.isEmpty()) return LaunchCommand{program, {documentPath}, 0};
  }
  if (auto command = DesktopDefaultForWord(documentPath)) return command;
  QString writer = QStandardPaths::findExecutable(QStringLiteral("lowriter"));
  if (!writer.isEmpty()) return LaunchCommand{writer, {documentPath}, 0};
  return std::nullopt;
}

bool StartWordProcessor(const std::string& documentPath) {
  std::optional<LaunchCommand> command = ResolveWordProcessor(shell::DecodeFileName(documentPath));
  if (!command) return false;
  QString program = QFileInfo(command->program).isAbsolute()
                        ? command->program
                        : QStandardPaths::findExecutable(command->program);
  if (program.isEmpty()) return false;
  std::vector<std::string> argv{QFile::encodeName(program).toStdString()};
  for (int i = 0; i < command->arguments.size(); ++i) {
    argv.push_back(i == command->documentArgument
                       ? documentPath
                       : QFile::encodeName(command->arguments[i]).toStdString());
  }
  return SpawnDetached(argv);
}

}  // namespace velloria::launcher
