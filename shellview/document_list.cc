// The main window's document list (SLVDoc) configured in one call.
#include "shellview/document_list.h"

#include <QPalette>

#include "platform/fonts.h"

namespace velloria {
namespace {

// The selection keeps its active colours when the list loses the focus.
void ShowSelectionWithoutFocus(QWidget* list) {
  QPalette palette = list->palette();
  for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
  }
  list->setPalette(palette);
}

}  // namespace

TShellListView* CreateDocumentList(QWidget* parent) {
  auto* list = new TShellListView(parent);
  list->setObjectName(QStringLiteral("SLVDoc"));
  list->setFont(WindowFont());
  list->SetAutoContextMenus(false);
  list->SetObjectTypes(otFolders | otNonFolders);
  list->SetSorted(true);
  list->SetReadOnly(false);
  list->SetAutoRefresh(false);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  ShowSelectionWithoutFocus(list);
  list->SetRoot(QStringLiteral("/"));
  return list;
}

}  // namespace velloria
