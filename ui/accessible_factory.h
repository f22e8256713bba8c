// Accessibility interfaces of our own widgets (the category grid, the message box, its
// text and icon) and of program windows, panels and popup menus, made known to Qt by one
// factory. The program calls InstallAccessibleFactory once at start.
#pragma once

class QAccessibleInterface;
class QObject;
class QString;

namespace velloria {

// The interface for `object` when it is one of our custom-painted widgets, else nullptr
// (Qt then uses its own). Matches the signature of QAccessible::InterfaceFactory.
QAccessibleInterface* CreateAccessibleInterface(const QString& className, QObject* object);

// Installs CreateAccessibleInterface with QAccessible::installFactory. REQUIRES: a
// QApplication; calling it again does nothing.
void InstallAccessibleFactory();

}  // namespace velloria
