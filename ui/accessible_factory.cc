// Hands Qt our accessibility interfaces for the widgets that paint themselves: the
// category grid and the message box's text and icon.
#include "ui/accessible_factory.h"

#include <QAccessible>

#include "ui/accessible_grid.h"
#include "ui/accessible_messagebox.h"
#include "ui/dbgrid.h"

namespace velloria {

QAccessibleInterface* CreateAccessibleInterface(const QString&, QObject* object) {
  if (auto* grid = qobject_cast<TDBGrid*>(object)) return new AccessibleGrid(grid);
  if (object != nullptr && object->isWidgetType()) {
    return AccessibleMessagePart::Create(static_cast<QWidget*>(object));
  }
  return nullptr;
}

void InstallAccessibleFactory() {
  static bool installed = false;
  if (installed) return;
  QAccessible::installFactory(&CreateAccessibleInterface);
  installed = true;
}

}  // namespace velloria
