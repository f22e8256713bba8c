// The main window's document list (SLVDoc) configured in one call.
#include "shellview/document_list.h"

#include "platform/fonts.h"

namespace velloria {

TShellListView* CreateDocumentList(QWidget* parent) {
  auto* list = new TShellListView(parent, QString());  // no rows until the program shows a category
  list->setObjectName(QStringLiteral("SLVDoc"));
  list->setFont(WindowFont());
  list->SetAutoContextMenus(false);
  list->SetObjectTypes(otFolders | otNonFolders);
  list->SetSorted(true);
  list->SetReadOnly(false);
  list->SetAutoRefresh(true);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->SetStaysInRoot(true);  // Backspace never leaves the category folder
  list->setDragEnabled(true);  // a document onto a category of the grid
  list->setDragDropMode(QAbstractItemView::DragOnly);
  return list;
}

}  // namespace velloria
