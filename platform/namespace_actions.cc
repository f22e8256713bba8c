// Verbs, the default action, the desktop folder and the special folders of the
// namespace layer.
#include "platform/namespace_actions.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>

#include "platform/launcher.h"
#include "platform/namespace_folder.h"

namespace velloria::shell {
namespace {

// Documents of the kinds a word processor opens, by their extension.
bool IsWordProcessorDocument(const std::string& path) {
  static const QStringList kExtensions = {"doc", "docx", "docm", "dot", "dotx", "dotm", "rtf", "odt", "ott", "txt"};
  return kExtensions.contains(QFileInfo(QString::fromStdString(path)).suffix(), Qt::CaseInsensitive);
}

// The desktop's opener (xdg-open); without one, documents open in the word processor.
bool LaunchThroughDesktop(const std::string& path) {
  // Percent-encoded bytes keep a name that is not UTF-8 as it is on disk.
  QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  if (QDesktopServices::openUrl(QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode))) return true;
  return IsWordProcessorDocument(path) && launcher::StartWordProcessor(path);
}

Launcher& CurrentLauncher() {
  static Launcher launcher = LaunchThroughDesktop;
  return launcher;
}

PropertiesPresenter& CurrentPresenter() {
  static PropertiesPresenter presenter;
  return presenter;
}

QString HomeFolder() { return QDir::homePath(); }

QString XdgFolder(const char* variable, const QString& fallback) {
  QString value = qEnvironmentVariable(variable);
  return value.startsWith('/') ? value : fallback;
}

QString ConfigHome() { return XdgFolder("XDG_CONFIG_HOME", HomeFolder() + "/.config"); }
QString DataHome() { return XdgFolder("XDG_DATA_HOME", HomeFolder() + "/.local/share"); }

// A folder of ~/.config/user-dirs.dirs (e.g. XDG_TEMPLATES_DIR="$HOME/Templates").
QString UserDir(const QString& key, const QString& fallback) {
  QFile file(ConfigHome() + "/user-dirs.dirs");
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return HomeFolder() + "/" + fallback;
  QRegularExpression line("^" + key + "=\"([^\"]*)\"");
  while (!file.atEnd()) {
    QRegularExpressionMatch match = line.match(QString::fromUtf8(file.readLine()).trimmed());
    if (match.hasMatch()) return match.captured(1).replace("$HOME", HomeFolder());
  }
  return HomeFolder() + "/" + fallback;
}

// The path of a special folder by CSIDL number; empty when it has no counterpart here.
QString SpecialFolderPath(int csidl) {
  switch (csidl) {
    case 0x00:  // desktop: the namespace root
    case 0x11:  // my computer
      return "/";
    case 0x05:  // personal
      return HomeFolder();
    case 0x10:  // desktop directory
      return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    case 0x15:  // templates
      return UserDir("XDG_TEMPLATES_DIR", "Templates");
    case 0x0A:  // recycle bin
      return DataHome() + "/Trash/files";
    case 0x1A:  // application data
      return ConfigHome();
    case 0x02:  // programs
    case 0x0B:  // start menu
      return DataHome() + "/applications";
    case 0x16:  // common start menu
    case 0x17:  // common programs
      return "/usr/share/applications";
    case 0x07:  // startup
      return ConfigHome() + "/autostart";
    case 0x18:  // common startup
      return "/etc/xdg/autostart";
    default:
      return {};
  }
}

}  // namespace

bool ItemContextMenu::InvokeCommand(std::string_view verb) {
  if (verb == "open") return OpenDefaultPath(m_path);
  if (verb == "properties" && CurrentPresenter()) {
    CurrentPresenter()(m_path);
    return true;
  }
  return false;
}

std::shared_ptr<ShellFolder> DesktopFolder() {
  static std::shared_ptr<ShellFolder> desktop = std::make_shared<FileSystemFolder>("/");
  return desktop;
}

Status SpecialFolderLocation(int csidl, IdList* list) {
  *list = nullptr;
  QString path = SpecialFolderPath(csidl);
  if (path.isEmpty()) return Status::kNotFound;
  return DesktopFolder()->ParseDisplayName(path.toStdString(), list);
}

bool OpenDefault(ConstIdList absolute) { return OpenDefaultPath(PathOfIdList(absolute)); }

bool OpenDefaultPath(const std::string& path) { return CurrentLauncher() && CurrentLauncher()(path); }

Launcher SetDefaultActionLauncherForTesting(Launcher launcher) {
  return std::exchange(CurrentLauncher(), std::move(launcher));
}

PropertiesPresenter SetPropertiesPresenter(PropertiesPresenter presenter) {
  return std::exchange(CurrentPresenter(), std::move(presenter));
}

bool HasPropertiesPresenter() { return static_cast<bool>(CurrentPresenter()); }

}  // namespace velloria::shell
