// The main window's document list (SLVDoc) in one call: a folder list view set up as the
// window definition fixes it. GUI thread only.
#pragma once

#include <QWidget>

#include "shellview/shell_list_view.h"

namespace velloria {

// A new TShellListView named "SLVDoc" under `parent`: report view with the folder's
// columns, sorted, several rows selectable, whole rows highlighted, captions editable
// in place (a rename), the selection drawn also without the focus, folders and files
// (hidden items left out), the program's popup menu instead of the shell's (set it with
// SetPopupMenu), reloading by itself when the folder changes, font Tahoma -11 (register
// it first with RegisterTahoma), no folder (no rows) until the program sets a category
// folder, no climbing above that folder, and documents dragged out of it (the list takes
// no drops).
TShellListView* CreateDocumentList(QWidget* parent);

}  // namespace velloria
