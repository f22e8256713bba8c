// The process-wide icon cache: MIME type of an item by its name, icon from the theme.
#include "platform/namespace_icons.h"

#include <sys/stat.h>

#include <QHash>
#include <QMimeDatabase>
#include <vector>

#include "platform/namespace.h"

namespace velloria::shell {
namespace {

struct IconCache {
  QHash<QString, int> indexByName;
  std::vector<QIcon> icons;
};

IconCache& Cache() {
  static IconCache cache;
  return cache;
}

// Offscreen and under bare X servers Qt knows no icon theme; fall back to Adwaita.
void EnsureIconTheme() {
  static bool done = false;
  if (done) return;
  done = true;
  QStringList searchPaths = QIcon::themeSearchPaths();
  if (!searchPaths.contains("/usr/share/icons")) QIcon::setThemeSearchPaths(searchPaths << "/usr/share/icons");
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == "hicolor") QIcon::setThemeName("Adwaita");
  if (QIcon::fallbackThemeName().isEmpty()) QIcon::setFallbackThemeName("Adwaita");
}

QIcon ThemeIcon(const QMimeType& type, const QString& iconName) {
  QIcon icon = QIcon::fromTheme(iconName);
  if (icon.isNull() && type.isValid()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = QIcon::fromTheme("text-x-generic");
  return icon;
}

}  // namespace

int IconIndexForPath(const std::string& path, bool folder, bool open) {
  EnsureIconTheme();
  static QMimeDatabase database;
  QMimeType type = folder ? database.mimeTypeForName("inode/directory")
                          : database.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
  QString iconName = folder ? (open ? "folder-open" : "folder") : type.iconName();
  IconCache& cache = Cache();
  auto found = cache.indexByName.constFind(iconName);
  if (found != cache.indexByName.constEnd()) return *found;
  cache.icons.push_back(ThemeIcon(type, iconName));
  int index = static_cast<int>(cache.icons.size()) - 1;
  cache.indexByName.insert(iconName, index);
  return index;
}

QIcon IconAt(int index) {
  const std::vector<QIcon>& icons = Cache().icons;
  return index >= 0 && index < static_cast<int>(icons.size()) ? icons[index] : QIcon();
}

int SystemIconIndex(ConstIdList absolute, bool, bool open) {
  std::string path = PathOfIdList(absolute);
  struct stat st;
  bool folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return IconIndexForPath(path, folder, open);
}

}  // namespace velloria::shell
