// Catalogue load, sweep, filter and the Visualizza action over the category table.
#include "app/catalogue.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <unordered_set>

#include "app/application.h"
#include "dataset/field.h"
#include "base/paths.h"
#include "platform/wait_cursor.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Tells whether a category's folder exists, reading the Stampe folder's names once: a DIR
// of one component that matches no name even ignoring case is answered without a lookup.
class CategoryFolderTest {
 public:
  explicit CategoryFolderTest(const std::string& stampeFolder) : m_stampeFolder(stampeFolder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(paths::ResolveCaseInsensitive(stampeFolder), error)) {
      m_lowerNames.insert(AsciiLower(entry.path().filename().string()));
    }
  }
  bool operator()(const std::string& dir) const {
    if (!StaysInsideStampeFolder(dir)) return false;
    bool oneComponent = dir.find(paths::kSeparator) == std::string::npos && dir != "." && dir != "..";
    if (!dir.empty() && oneComponent && !m_lowerNames.contains(AsciiLower(dir))) return false;
    // A folder named exactly as written is found with one look-up, without resolving case.
    std::string exact = m_stampeFolder + paths::kSeparator + dir;
    return paths::IsFolder(exact) || paths::IsFolder(CategoryFolderPath(m_stampeFolder, dir));
  }

 private:
  std::string m_stampeFolder;
  std::unordered_set<std::string> m_lowerNames;
};

void ShowInformation(const std::string& text) {
  ShowMessageDialog(QString::fromStdString(text), mtInformation, {mbOK});
}

void ApplyCategoryFilter(TDataSet& table, int categoryType) {
  table.SetFilter(CategoryFilter(categoryType));
  table.SetFiltered(true);
}

}  // namespace

std::string CategoryDir(std::string dirValue) {
  std::replace(dirValue.begin(), dirValue.end(), '\\', paths::kSeparator);
  return dirValue;
}

std::string CategoryFilter(int categoryType) {
  return "TIPO=" + std::to_string(categoryType) + " AND VISUALIZZA=TRUE";
}

std::string MissingStampeFolderMessage(const std::string& stampeFolder) {
  return "Impossibile trovare la cartella delle stampe: " + stampeFolder +
         " !\n\nVerificare le impostazioni dei percorsi e riprovare.";
}

bool StaysInsideStampeFolder(const std::string& dir) {
  int depth = 0;
  size_t start = 0;
  while (start <= dir.size()) {
    size_t end = dir.find(paths::kSeparator, start);
    if (end == std::string::npos) end = dir.size();
    std::string_view component(dir.data() + start, end - start);
    if (component == "..") {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

std::string CategoryFolderPath(const std::string& stampeFolder, const std::string& dir) {
  return paths::ResolveCaseInsensitive(stampeFolder + paths::kSeparator + dir);
}

void SweepCategoryFolders(TDataSet& table, const std::string& stampeFolder) {
  TField& dirField = table.FieldByName("DIR");
  TField& visualizza = table.FieldByName("VISUALIZZA");
  CategoryFolderTest folderExists(stampeFolder);
  // The grid hears of the sweep once, at its end, not at every record it passes.
  table.DisableControls();
  try {
    table.First();
    while (!table.Eof()) {
      table.Edit();
      visualizza.SetAsBoolean(folderExists(CategoryDir(dirField.AsString())));
      table.Post();
      table.Next();
    }
  } catch (...) {
    table.EnableControls();
    throw;
  }
  table.EnableControls();
}

void ShowCategoryDocuments(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder) {
  std::string dir = CategoryDir(table.FieldByName("DIR").AsString());
  if (dir.empty() || !StaysInsideStampeFolder(dir) || !table.FieldByName("VISUALIZZA").AsBoolean()) {
    ShowInformation(kInvalidFolderMessage);
    return;
  }
  list.SetRoot(QString::fromStdString(CategoryFolderPath(stampeFolder, dir)));
}

// The first category is located once the filter is on, so that the list starts on the
// grid's current category and never on one of another type that the grid does not show.
void LoadCatalogue(xbase::TXBaseTable& table, TCustomShellListView& list, const std::string& stampeFolder,
                   int categoryType) {
  table.SetDatabaseName(stampeFolder);
  table.Open();
  if (!paths::IsFolder(paths::ResolveCaseInsensitive(stampeFolder))) {
    ShowInformation(MissingStampeFolderMessage(stampeFolder));
    TApplication::instance()->terminate(1);
    ApplyCategoryFilter(table, categoryType);
    return;
  }
  WaitCursor hourglass;
  SweepCategoryFolders(table, stampeFolder);
  ApplyCategoryFilter(table, categoryType);
  if (table.Locate("VISUALIZZA", TVariant(true), TLocateOptions{})) {
    ShowCategoryDocuments(table, list, stampeFolder);
  }
}

void ShowCategoryType(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder,
                      int categoryType) {
  ApplyCategoryFilter(table, categoryType);
  if (table.Locate("VISUALIZZA", TVariant(true), TLocateOptions{})) {
    ShowCategoryDocuments(table, list, stampeFolder);
  } else {
    list.ClearRoot();
  }
}

}  // namespace velloria
