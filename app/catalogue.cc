// Catalogue load, sweep, filter and the Visualizza action over the category table.
#include "app/catalogue.h"

#include "app/application.h"
#include "dataset/field.h"
#include "platform/paths.h"
#include "platform/wait_cursor.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

void ShowInformation(const std::string& text) {
  ShowMessageDialog(QString::fromStdString(text), mtInformation, {mbOK});
}

void ApplyCategoryFilter(TDataSet& table, int categoryType) {
  table.SetFilter(CategoryFilter(categoryType));
  table.SetFiltered(true);
}

}  // namespace

std::string CategoryFilter(int categoryType) {
  return "TIPO=" + std::to_string(categoryType) + " AND VISUALIZZA=TRUE";
}

std::string MissingStampeFolderMessage(const std::string& stampeFolder) {
  return "Impossibile trovare la cartella delle stampe: " + stampeFolder +
         " !\n\nVerificare le impostazioni dei percorsi e riprovare.";
}

std::string CategoryFolderPath(const std::string& stampeFolder, const std::string& dir) {
  return paths::ResolveCaseInsensitive(stampeFolder + paths::kSeparator + dir);
}

void SweepCategoryFolders(TDataSet& table, const std::string& stampeFolder) {
  TField& dirField = table.FieldByName("DIR");
  TField& visualizza = table.FieldByName("VISUALIZZA");
  table.First();
  while (!table.Eof()) {
    table.Edit();
    visualizza.SetAsBoolean(paths::IsFolder(CategoryFolderPath(stampeFolder, dirField.AsString())));
    table.Post();
    table.Next();
  }
}

void ShowCategoryDocuments(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder) {
  std::string dir = table.FieldByName("DIR").AsString();
  if (dir.empty() || !table.FieldByName("VISUALIZZA").AsBoolean()) {
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

}  // namespace velloria
