// How a program window reads to screen readers: a plain top-level widget is a window (the
// frame a screen reader names the application by) named by its caption, a plain framed
// panel is a pane, and a popup menu that a window owns is, while open, that window's last
// child, with its items as children of its own. GUI thread only.
#pragma once

#include <QAccessibleWidget>
#include <QPointer>
#include <map>

class QAction;
class QMenu;

namespace velloria {

// A window made of a plain widget (not a dialog): role Window, named by its caption
// without surrounding blanks unless it has an accessible name.
class AccessibleTopLevel : public QAccessibleWidget {
 public:
  // The interface for `widget` when it is such a window, else nullptr.
  static QAccessibleInterface* Create(QWidget* widget);

  QString text(QAccessible::Text t) const override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;

 private:
  explicit AccessibleTopLevel(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Window) {}
  QMenu* openMenu() const;
};

// A popup menu owned by a window (its parent widget): the window is its parent, its
// actions are its children in order (separators included, as the menu counts them).
class AccessiblePopupMenu : public QAccessibleWidget {
 public:
  // The interface for `widget` when it is such a menu, else nullptr.
  static QAccessibleInterface* Create(QWidget* widget);
  ~AccessiblePopupMenu() override;

  QMenu* menu() const;
  QAccessibleInterface* parent() const override;
  int childCount() const override;
  QAccessibleInterface* child(int index) const override;
  int indexOfChild(const QAccessibleInterface* child) const override;
  QAccessibleInterface* childAt(int x, int y) const override;
  QAccessibleInterface* focusChild() const override;
  QString text(QAccessible::Text t) const override;

 private:
  explicit AccessiblePopupMenu(QWidget* menu) : QAccessibleWidget(menu, QAccessible::PopupMenu) {}
  mutable std::map<QAction*, QAccessible::Id> m_items;  // registered with Qt
};

// One action of such a menu; pressing it closes the menu and triggers the action.
class AccessibleMenuItem : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  AccessibleMenuItem(AccessiblePopupMenu* menu, QAction* action) : m_menu(menu), m_action(action) {}

  bool isValid() const override { return m_menu->isValid() && !m_action.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return m_menu->window(); }
  QAccessibleInterface* parent() const override { return m_menu; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text t) const override;
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  void* interface_cast(QAccessible::InterfaceType type) override;

  QStringList actionNames() const override;
  void doAction(const QString& actionName) override;
  QStringList keyBindingsForAction(const QString& actionName) const override;

 private:
  AccessiblePopupMenu* m_menu;
  QPointer<QAction> m_action;
};

}  // namespace velloria
