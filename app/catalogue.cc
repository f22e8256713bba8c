// Catalogue load, sweep, filter and the Visualizza action over the category table.
#include "app/catalogue.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string_view>
#include <thread>
#include <unordered_set>

#include "dataset/field.h"
#include "dataset/scope_guard.h"
#include "base/paths.h"
#include "platform/wait_cursor.h"

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

// How often an open refused by an exclusive holder is tried again.
constexpr auto kInUseRetryPause = std::chrono::milliseconds(250);

bool MayWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

// Whether the grid's categories are those whose folder exists now, asked of the folders
// themselves, rather than those whose stored VISUALIZZA is true: so it is when this start
// could not sweep.
bool FoldersDecide(const TDataSet& table) { return static_cast<bool>(table.OnFilterRecord); }

// Has the filter ask the folders: the Stampe folder's names are read now, once.
void DecideByFolders(TDataSet& table, const std::string& stampeFolder) {
  auto folderExists = std::make_shared<CategoryFolderTest>(stampeFolder);
  table.OnFilterRecord = [folderExists](TDataSet& dataSet, bool& accept) {
    accept = (*folderExists)(CategoryDir(dataSet.FieldByName("DIR").AsString()));
  };
}

// Setting the text of a filter that is on applies it; turning the filter on applies it too,
// so it is turned on only when it is off.
void ApplyCategoryFilter(TDataSet& table, int categoryType) {
  table.SetFilter(FoldersDecide(table) ? TypeFilter(categoryType) : CategoryFilter(categoryType));
  if (!table.Filtered()) table.SetFiltered(true);
}

// Whether the current category, listed by a VISUALIZZA this start could not rewrite (another
// desk held the table's lock), names a folder removed since: the list then stays empty
// rather than failing.
bool StoredFolderIsGone(TDataSet& table, const std::string& stampeFolder) {
  if (FoldersDecide(table)) return false;
  std::string dir = CategoryDir(table.FieldByName("DIR").AsString());
  return !dir.empty() && StaysInsideStampeFolder(dir) && !paths::IsFolder(CategoryFolderPath(stampeFolder, dir));
}

// The grid's mark goes back to the category it was on, while that category is still listed;
// else it stands on the first.
void ReturnToRecord(TDataSet& table, std::int32_t recNo) {
  if (recNo <= 0 || table.RecNo() == recNo) return;
  table.DisableControls();
  auto enableControls = OnScopeExit([&table] { table.EnableControls(); });
  table.First();
  while (!table.Eof() && table.RecNo() != recNo) table.Next();
  if (table.Eof()) table.First();
}

// The first category the filter leaves, made current; false when there is none.
bool GoToFirstCategory(TDataSet& table) {
  if (FoldersDecide(table)) {
    table.First();
    return !table.Eof();
  }
  return table.Locate("VISUALIZZA", TVariant(true), TLocateOptions{});
}

}  // namespace

std::string CategoryDir(std::string dirValue) {
  std::replace(dirValue.begin(), dirValue.end(), '\\', paths::kSeparator);
  return dirValue;
}

std::string TypeFilter(int categoryType) { return "TIPO=" + std::to_string(categoryType); }

std::string CategoryFilter(int categoryType) { return TypeFilter(categoryType) + " AND VISUALIZZA=TRUE"; }

std::string TableInUseDetail(const std::string& file) {
  return "Il file " + file + " è in uso esclusivo da parte di un altro programma.";
}

std::string TableInUseQuestion(const std::string& file) {
  return "In attesa del file \"" + file +
         "\": è in uso esclusivo da parte di un altro programma (per esempio un riordino "
         "dell'archivio).\n\nPremere Riprova quando l'altro programma ha finito, oppure Annulla "
         "per rinunciare.";
}

std::string ShareRiskWarning(const xbase::TMountRisks& risks, const std::string& writeRefusal) {
  std::string text;
  if (risks.locksLocal) {
    text += "Il disco di rete delle stampe non trasmette i blocchi al server: due postazioni "
            "potrebbero scrivere l'una sopra l'altra, perciò questa postazione non modifica la "
            "tabella delle stampe. ";
  } else if (risks.cannotTell) {
    text += "Non si può sapere se il disco di rete delle stampe trasmette i blocchi al server: "
            "due postazioni potrebbero scrivere l'una sopra l'altra. ";
  }
  if (risks.cachesData) {
    text += "Il disco di rete delle stampe conserva copie dei dati: le modifiche fatte da altre "
            "postazioni possono non essere viste subito. ";
  }
  if (!risks.locksLocal && !writeRefusal.empty()) {
    text += "Questa postazione non può scrivere la tabella delle stampe (" + writeRefusal + "). ";
  }
  if (text.empty()) return text;
  if (!writeRefusal.empty()) text += "Le categorie mostrate sono quelle la cui cartella esiste ora. ";
  return text + "Chiedere all'amministratore di montare il disco come indicato nel manuale.";
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
  auto enableControls = OnScopeExit([&table] { table.EnableControls(); });
  table.First();
  while (!table.Eof()) {
    bool present = folderExists(CategoryDir(dirField.AsString()));
    // Only a record whose folder came or went, or whose VISUALIZZA holds another byte
    // than the T or F written here, is written: a start in a settled office writes
    // nothing to the shared table.
    if (visualizza.IsNull() || visualizza.AsBoolean() != present ||
        !table.StoredAsWritten(visualizza)) {
      table.Edit();
      // A write the disk refuses ends the edit: the record keeps the value it has.
      auto cancelOnFailure = OnScopeFailure([&table] { table.Cancel(); });
      visualizza.SetAsBoolean(present);
      table.Post();
    }
    table.Next();
  }
}

TSweepOutcome SweepSharedCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder) {
  if (!table.CanModify()) return TSweepOutcome::readOnly;
  if (!table.LockTable()) return TSweepOutcome::lockTimedOut;
  auto unlock = OnScopeExit([&table] { table.UnlockTable(); });
  SweepCategoryFolders(table, stampeFolder);
  return TSweepOutcome::swept;
}

// The journal of a record rewrite is made beside the table, so writing needs the folder
// too.
void OpenSharedCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder,
                         const TTableInUseAnswer& tryAgain) {
  table.SetDatabaseName(stampeFolder);
  std::string folder = paths::ResolveCaseInsensitive(stampeFolder);
  std::string file = paths::ResolveCaseInsensitive(stampeFolder + paths::kSeparator + table.TableName());
  table.SetReadOnly(!MayWrite(folder) || !MayWrite(file));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTableInUseWaitMs);
  for (;;) {
    try {
      table.Open();
      return;
    } catch (const xbase::EXBaseTableInUse& inUse) {
      // A holder that lets go within the short wait is not worth a question.
      if (std::chrono::steady_clock::now() >= deadline) {
        if (!tryAgain(inUse.file())) throw;
        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTableInUseWaitMs);
        continue;
      }
    }
    std::this_thread::sleep_for(kInUseRetryPause);
  }
}

bool ShowCategoryDocuments(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder) {
  std::string dir = CategoryDir(table.FieldByName("DIR").AsString());
  bool listed = FoldersDecide(table) || table.FieldByName("VISUALIZZA").AsBoolean();
  if (dir.empty() || !StaysInsideStampeFolder(dir) || !listed) return false;
  list.SetRoot(QString::fromStdString(CategoryFolderPath(stampeFolder, dir)));
  return true;
}

// The first category is located once the filter is on, so that the list starts on the
// grid's current category and never on one of another type that the grid does not show.
TCatalogueLoad LoadCatalogue(xbase::TXBaseTable& table, TCustomShellListView& list,
                             const std::string& stampeFolder, int categoryType,
                             const TTableInUseAnswer& tryAgain) {
  TCatalogueLoad load;
  OpenSharedCatalogue(table, stampeFolder, tryAgain);
  if (!paths::IsFolder(paths::ResolveCaseInsensitive(stampeFolder))) {
    load.stampeFolderMissing = true;
    ApplyCategoryFilter(table, categoryType);
    return load;
  }
  WaitCursor hourglass;
  load.sweep = SweepSharedCatalogue(table, stampeFolder);
  // A desk that may not write shows what a sweep would have written.
  if (load.sweep == TSweepOutcome::readOnly) DecideByFolders(table, stampeFolder);
  ApplyCategoryFilter(table, categoryType);
  if (GoToFirstCategory(table) && !StoredFolderIsGone(table, stampeFolder)) {
    load.firstFolderInvalid = !ShowCategoryDocuments(table, list, stampeFolder);
  }
  return load;
}

void ShowCategoryType(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder,
                      int categoryType) {
  ApplyCategoryFilter(table, categoryType);
  bool shown = GoToFirstCategory(table) && ShowCategoryDocuments(table, list, stampeFolder);
  if (!shown) list.ClearRoot();
}

void RereadCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder, int categoryType) {
  std::int32_t current = table.RecNo();
  WaitCursor hourglass;
  // The sweep visits every record, hidden ones too: a category whose folder has just been
  // made is still filtered out.
  table.SetFiltered(false);
  {
    auto filterAgain = OnScopeExit([&] { ApplyCategoryFilter(table, categoryType); });
    if (FoldersDecide(table) || SweepSharedCatalogue(table, stampeFolder) == TSweepOutcome::readOnly) {
      DecideByFolders(table, stampeFolder);  // the Stampe folder's names read again
    }
  }
  table.Refresh();  // what other workstations changed
  ReturnToRecord(table, current);
}

}  // namespace velloria
