// The category catalogue: STAMPE.DBF's start-up sweep that records which categories have
// a folder, the type filter, and the Visualizza action that shows the current category's
// folder in the document list. The table is shared by every workstation of the office.
// GUI thread only; failures propagate as exceptions, and what the user is to be told is
// answered as a result for the window to show.
#pragma once

#include <functional>
#include <string>

#include "dataset/dataset.h"
#include "shellview/shell_list_view.h"
#include "xbase/xbase_table.h"

namespace velloria {

inline constexpr const char* kInvalidFolderMessage = "Cartella non valida.";

// The detail of the general failure when another program holds `file` exclusively.
std::string TableInUseDetail(const std::string& file);

// The note shown once when the table's mount fails several workstations, or the engine
// could open the table only for reading (`writeRefusal`, its reason); "" for neither.
std::string ShareRiskWarning(const xbase::TMountRisks& risks, const std::string& writeRefusal);

// "TIPO=<type> AND VISUALIZZA=TRUE": the categories of one type whose folder exists, as the
// last sweep recorded it.
std::string CategoryFilter(int categoryType);
// "TIPO=<type>": the categories of one type, whose folders are then asked whether they exist
// (a start that could not sweep).
std::string TypeFilter(int categoryType);

// The message shown when the Stampe folder is not a folder although its table opened.
std::string MissingStampeFolderMessage(const std::string& stampeFolder);

// A DIR value as a path of this system: the backslashes of a value written on Windows
// (DUE\SUB) become the separator.
std::string CategoryDir(std::string dirValue);

// Whether `dir` leads to a place inside the Stampe folder, its ".." components never
// climbing above it. A DIR that leaves the folder names no category folder: the user
// could otherwise reach, delete and rename any file of the share through the list.
bool StaysInsideStampeFolder(const std::string& dir);

// The folder of category `dir`: the Stampe folder, "/", `dir`, with each component that
// is missing as spelled looked up ignoring letter case.
std::string CategoryFolderPath(const std::string& stampeFolder, const std::string& dir);

// How long a start waits for a table that another program holds exclusively before it asks
// whether to wait more, and how long each further wait lasts.
inline constexpr int kTableInUseWaitMs = 1000;

// The question asked while another program holds `file` exclusively (Riprova / Annulla).
std::string TableInUseQuestion(const std::string& file);

// Asked while another program holds the table `file` exclusively: true to wait more, false
// to give up.
using TTableInUseAnswer = std::function<bool(const std::string& file)>;

// Rewrites VISUALIZZA of every record, changed or not, from whether the category's
// folder exists inside the Stampe folder. REQUIRES: `table` open and unfiltered. Raises
// when DIR or VISUALIZZA is missing or a record cannot be written.
void SweepCategoryFolders(TDataSet& table, const std::string& stampeFolder);

enum class TSweepOutcome {
  swept,        // every record whose folder came or went written
  readOnly,     // the table may not be written here (rights, mount, client): nothing written
  lockTimedOut  // another workstation kept the table locked past the engine's lock timeout
};

// The start-up sweep as several workstations run it at once: under one lock of the whole
// table (waited for up to the engine's lock timeout), so that concurrent sweeps take turns
// and each record costs one write. Without the lock nothing is written.
TSweepOutcome SweepSharedCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder);

// Opens the table shared, or read-only when the account may not write the table or its
// folder. While another program holds it exclusively the open is tried again for
// kTableInUseWaitMs, then `tryAgain` is asked: while it answers true, the open is tried
// for another kTableInUseWaitMs; when it answers false the engine's refusal
// (xbase::EXBaseTableInUse) is raised.
void OpenSharedCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder,
                         const TTableInUseAnswer& tryAgain);

// The Visualizza action on the current record: with a non-blank DIR that stays inside
// the Stampe folder and VISUALIZZA true the document list's root becomes the category's
// folder (unchanged when it already is) and true is returned; otherwise false, for the
// caller to show kInvalidFolderMessage, and the list is left alone. Raises the list's
// path error when the folder cannot be shown (the list keeps its folder).
bool ShowCategoryDocuments(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder);

struct TCatalogueLoad {
  bool stampeFolderMissing = false;  // the table opened but the Stampe folder is no folder
  TSweepOutcome sweep = TSweepOutcome::swept;
  bool firstFolderInvalid = false;   // the first category shown has a DIR Visualizza refuses
};

// The catalogue load at start-up: opens `table` (its database name set to the Stampe
// folder, OpenSharedCatalogue), sweeps it, filters it to `categoryType`, then shows the
// documents of the first category left in the grid, if any. When the Stampe folder is no
// folder although the table opened, only the filter is applied and the result says so (the
// caller shows MissingStampeFolderMessage and ends). A desk that may not write the table
// (rights, mount, client) lists the categories whose folders exist now, asking the folders
// instead of the stored VISUALIZZA; one that could not get the lock shows the stored values. The hourglass
// shows during the sweep and is restored on every path. Raises on an open or sweep failure.
TCatalogueLoad LoadCatalogue(xbase::TXBaseTable& table, TCustomShellListView& list,
                             const std::string& stampeFolder, int categoryType,
                             const TTableInUseAnswer& tryAgain);

// Re-reads the catalogue that other programs may have changed (a category added, removed
// or renamed) after checking the category folders as the start does (a sweep under the
// table's lock, writing only what changed; or, where this start cannot write, the folders
// asked again): the filter stays, and so does the current category while it is still
// listed. REQUIRES: `table` loaded by LoadCatalogue.
void RereadCatalogue(xbase::TXBaseTable& table, const std::string& stampeFolder, int categoryType);

// The categories of another type in place of the ones shown: the filter changes to
// `categoryType` and the list shows the first of them, or no folder when there is none.
// REQUIRES: `table` loaded by LoadCatalogue. Raises the list's path error as
// ShowCategoryDocuments does.
void ShowCategoryType(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder,
                      int categoryType);

}  // namespace velloria
