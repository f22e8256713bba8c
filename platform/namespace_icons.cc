// The process-wide icon cache: MIME type of an item by its name, icon from the theme.
#include "platform/namespace_icons.h"

#include <sys/stat.h>

#include <QHash>
#include <QMimeDatabase>
#include <optional>
#include <vector>

#include "platform/namespace.h"

namespace velloria::shell {
namespace {

// An icon is looked up in the theme when first drawn: reading the theme's index and probing
// its folders is the dearest part of a start, and a list can show before it.
struct IconEntry {
  QString name;
  QString genericName;  // the MIME type's generic icon, tried when the theme lacks `name`
  std::optional<QIcon> icon;
};

struct IconCache {
  QHash<QString, int> indexByName;
  std::vector<IconEntry> entries;
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

QIcon ThemeIcon(const IconEntry& entry) {
  EnsureIconTheme();
  QIcon icon = QIcon::fromTheme(entry.name);
  if (icon.isNull() && !entry.genericName.isEmpty()) icon = QIcon::fromTheme(entry.genericName);
  if (icon.isNull()) icon = QIcon::fromTheme("text-x-generic");
  return icon;
}

}  // namespace

int IconIndexForPath(const std::string& path, bool folder, bool open) {
  static QMimeDatabase database;
  QMimeType type = folder ? database.mimeTypeForName("inode/directory")
                          : database.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
  QString iconName = folder ? (open ? "folder-open" : "folder") : type.iconName();
  IconCache& cache = Cache();
  auto found = cache.indexByName.constFind(iconName);
  if (found != cache.indexByName.constEnd()) return *found;
  cache.entries.push_back({iconName, type.isValid() ? type.genericIconName() : QString(), std::nullopt});
  int index = static_cast<int>(cache.entries.size()) - 1;
  cache.indexByName.insert(iconName, index);
  return index;
}

QIcon IconAt(int index) {
  std::vector<IconEntry>& entries = Cache().entries;
  if (index < 0 || index >= static_cast<int>(entries.size())) return QIcon();
  IconEntry& entry = entries[index];
  if (!entry.icon) entry.icon = ThemeIcon(entry);
  return *entry.icon;
}

int SystemIconIndex(ConstIdList absolute, bool, bool open) {
  std::string path = PathOfIdList(absolute);
  struct stat st;
  bool folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return IconIndexForPath(path, folder, open);
}

}  // namespace velloria::shell
