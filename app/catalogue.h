// The category catalogue: STAMPE.DBF's start-up sweep that records which categories have
// a folder, the type filter, and the Visualizza action that shows the current category's
// folder in the document list. GUI thread only; failures propagate as exceptions.
#pragma once

#include <string>

#include "dataset/dataset.h"
#include "shellview/shell_list_view.h"
#include "xbase/xbase_table.h"

namespace velloria {

inline constexpr const char* kInvalidFolderMessage = "Cartella non valida.";

// "TIPO=<type> AND VISUALIZZA=TRUE": the categories of one type whose folder exists.
std::string CategoryFilter(int categoryType);

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

// Rewrites VISUALIZZA of every record, changed or not, from whether the category's
// folder exists inside the Stampe folder. REQUIRES: `table` open and unfiltered. Raises
// when DIR or VISUALIZZA is missing or a record cannot be written.
void SweepCategoryFolders(TDataSet& table, const std::string& stampeFolder);

// The Visualizza action on the current record: with a non-blank DIR that stays inside
// the Stampe folder and VISUALIZZA true the document list's root becomes the category's
// folder (unchanged when it already is); otherwise "Cartella non valida." is shown and the list is left alone. Raises the
// list's path error when the folder cannot be shown (the list keeps its folder).
void ShowCategoryDocuments(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder);

// The catalogue load at start-up: opens `table` (its database name set to the Stampe
// folder), sweeps it, filters it to `categoryType`, then shows the documents of the
// first category left in the grid, if any. When the Stampe folder is no folder although
// the table opened, a message is shown, the application is asked to terminate and only
// the filter is applied. The hourglass shows during the sweep and is restored on every
// path. Raises on an open or sweep failure (start-up's guard catches it).
void LoadCatalogue(xbase::TXBaseTable& table, TCustomShellListView& list, const std::string& stampeFolder,
                   int categoryType);

// The categories of another type in place of the ones shown: the filter changes to
// `categoryType` and the list shows the first of them, or no folder when there is none.
// REQUIRES: `table` loaded by LoadCatalogue. Raises the list's path error as
// ShowCategoryDocuments does.
void ShowCategoryType(TDataSet& table, TCustomShellListView& list, const std::string& stampeFolder,
                      int categoryType);

}  // namespace velloria
