// Hands Qt our accessibility interfaces: the category grid, the message box and its text
// and icon, program windows, plain panels and the popup menus windows own.
#include "ui/accessible_factory.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFrame>

#include "ui/accessible_grid.h"
#include "ui/accessible_messagebox.h"
#include "ui/accessible_window.h"
#include "ui/dbgrid.h"

namespace velloria {
namespace {

// A plain framed panel holding other controls reads as a pane, not as a window frame.
QAccessibleInterface* CreateAccessiblePanel(QWidget* widget) {
  if (widget->metaObject() != &QFrame::staticMetaObject || widget->isWindow()) return nullptr;
  if (widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty()) return nullptr;
  return new QAccessibleWidget(widget, QAccessible::Pane);
}

}  // namespace

QAccessibleInterface* CreateAccessibleInterface(const QString&, QObject* object) {
  if (auto* grid = qobject_cast<TDBGrid*>(object)) return new AccessibleGrid(grid);
  if (object == nullptr || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  for (auto create : {&AccessibleMessagePart::Create, &CreateAccessibleMessageBox, &AccessibleTopLevel::Create,
                      &AccessiblePopupMenu::Create, &CreateAccessiblePanel}) {
    if (QAccessibleInterface* found = create(widget)) return found;
  }
  return nullptr;
}

namespace {

// Qt makes a widget's interface as soon as an accessibility event names it, which can be
// while the widget is still being constructed as its base class (a window as a plain
// widget, a box as a dialog). Before one of the widgets we describe is first shown, its
// interface is made again, for its own class.
class EarlyInterfaceReplacer : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish && watched->isWidgetType()) replace(watched);
    return false;
  }

 private:
  static void replace(QObject* object) {
    QAccessibleInterface* own =
        CreateAccessibleInterface(QString::fromLatin1(object->metaObject()->className()), object);
    if (own == nullptr) return;
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(QAccessible::queryAccessibleInterface(object)));
    QAccessible::registerAccessibleInterface(own);
  }
};

}  // namespace

void InstallAccessibleFactory() {
  static bool installed = false;
  if (installed) return;
  QAccessible::installFactory(&CreateAccessibleInterface);
  qApp->installEventFilter(new EarlyInterfaceReplacer(qApp));
  installed = true;
}

}  // namespace velloria
