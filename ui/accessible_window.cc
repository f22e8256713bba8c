// Accessibility interfaces of program windows, panels and their popup menus.
#include "ui/accessible_window.h"

#include <QAction>
#include <QDialog>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>

namespace velloria {
namespace {

// A menu text without its mnemonic marks ("&Apri" reads "Apri", "&&" reads "&").
QString WithoutMnemonic(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

}  // namespace

QAccessibleInterface* AccessibleTopLevel::Create(QWidget* widget) {
  if (!widget->isWindow() || widget->windowType() != Qt::Window) return nullptr;
  // Only plain widgets and our own direct subclasses: Qt's windows have interfaces of their own.
  const QMetaObject* meta = widget->metaObject();
  if (meta != &QWidget::staticMetaObject && meta->superClass() != &QWidget::staticMetaObject) return nullptr;
  return new AccessibleTopLevel(widget);
}

QString AccessibleTopLevel::text(QAccessible::Text t) const {
  QString own = QAccessibleWidget::text(t);
  if (t != QAccessible::Name || !widget()->accessibleName().isEmpty()) return own;
  return widget()->windowTitle().trimmed();
}

QMenu* AccessibleTopLevel::openMenu() const {
  for (QMenu* menu : widget()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
    if (menu->isVisible()) return menu;
  }
  return nullptr;
}

int AccessibleTopLevel::childCount() const { return QAccessibleWidget::childCount() + (openMenu() ? 1 : 0); }

QAccessibleInterface* AccessibleTopLevel::child(int index) const {
  int own = QAccessibleWidget::childCount();
  if (index == own && openMenu() != nullptr) return QAccessible::queryAccessibleInterface(openMenu());
  return QAccessibleWidget::child(index);
}

int AccessibleTopLevel::indexOfChild(const QAccessibleInterface* child) const {
  QMenu* menu = openMenu();
  if (child != nullptr && menu != nullptr && child->object() == menu) return QAccessibleWidget::childCount();
  return QAccessibleWidget::indexOfChild(child);
}

QAccessibleInterface* AccessiblePopupMenu::Create(QWidget* widget) {
  auto* menu = qobject_cast<QMenu*>(widget);
  if (menu == nullptr || menu->metaObject() != &QMenu::staticMetaObject) return nullptr;
  QWidget* owner = menu->parentWidget();
  if (owner == nullptr || !owner->isWindow() || qobject_cast<QMenu*>(owner) || qobject_cast<QMenuBar*>(owner)) {
    return nullptr;
  }
  return new AccessiblePopupMenu(menu);
}

AccessiblePopupMenu::~AccessiblePopupMenu() {
  for (const auto& [action, id] : m_items) QAccessible::deleteAccessibleInterface(id);
}

QMenu* AccessiblePopupMenu::menu() const { return static_cast<QMenu*>(widget()); }

QAccessibleInterface* AccessiblePopupMenu::parent() const {
  return QAccessible::queryAccessibleInterface(menu()->parentWidget());
}

int AccessiblePopupMenu::childCount() const { return static_cast<int>(menu()->actions().size()); }

QAccessibleInterface* AccessiblePopupMenu::child(int index) const {
  QList<QAction*> actions = menu()->actions();
  if (index < 0 || index >= actions.size()) return nullptr;
  QAction* action = actions[index];
  auto found = m_items.find(action);
  if (found != m_items.end()) {
    if (QAccessibleInterface* item = QAccessible::accessibleInterface(found->second)) return item;
  }
  auto* item = new AccessibleMenuItem(const_cast<AccessiblePopupMenu*>(this), action);
  m_items[action] = QAccessible::registerAccessibleInterface(item);
  return item;
}

int AccessiblePopupMenu::indexOfChild(const QAccessibleInterface* child) const {
  for (const auto& [action, id] : m_items) {
    if (QAccessible::accessibleInterface(id) == child) return static_cast<int>(menu()->actions().indexOf(action));
  }
  return -1;
}

QAccessibleInterface* AccessiblePopupMenu::childAt(int x, int y) const {
  QAction* action = menu()->actionAt(menu()->mapFromGlobal(QPoint(x, y)));
  return action != nullptr ? child(static_cast<int>(menu()->actions().indexOf(action))) : nullptr;
}

QAccessibleInterface* AccessiblePopupMenu::focusChild() const {
  QAction* active = menu()->activeAction();
  return active != nullptr ? child(static_cast<int>(menu()->actions().indexOf(active))) : nullptr;
}

QString AccessiblePopupMenu::text(QAccessible::Text t) const {
  QString own = QAccessibleWidget::text(t);
  if (t == QAccessible::Name && own.isEmpty()) return WithoutMnemonic(menu()->title());
  return own;
}

QString AccessibleMenuItem::text(QAccessible::Text t) const {
  if (!isValid()) return QString();
  if (t == QAccessible::Name) return WithoutMnemonic(m_action->text());
  if (t == QAccessible::Accelerator) return m_action->shortcut().toString(QKeySequence::NativeText);
  return QString();
}

QRect AccessibleMenuItem::rect() const {
  if (!isValid()) return QRect();
  QMenu* menu = m_menu->menu();
  QRect local = menu->actionGeometry(m_action);
  return QRect(menu->mapToGlobal(local.topLeft()), local.size());
}

QAccessible::Role AccessibleMenuItem::role() const {
  return isValid() && m_action->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
}

QAccessible::State AccessibleMenuItem::state() const {
  QAccessible::State s;
  if (!isValid()) {
    s.invalid = true;
    return s;
  }
  s.disabled = !m_action->isEnabled();
  s.invisible = !m_action->isVisible();
  if (m_action->isSeparator()) return s;
  s.focusable = true;
  s.selectable = true;
  s.checkable = m_action->isCheckable();
  s.checked = m_action->isChecked();
  if (m_menu->menu()->activeAction() == m_action) {
    s.focused = true;
    s.selected = true;
    s.hotTracked = true;
  }
  return s;
}

void* AccessibleMenuItem::interface_cast(QAccessible::InterfaceType type) {
  return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
}

QStringList AccessibleMenuItem::actionNames() const {
  if (!isValid() || m_action->isSeparator() || !m_action->isEnabled()) return {};
  return {pressAction()};
}

void AccessibleMenuItem::doAction(const QString& actionName) {
  if (actionName != pressAction() || actionNames().isEmpty()) return;
  QPointer<QAction> action = m_action;
  m_menu->menu()->hide();
  if (action) action->trigger();
}

QStringList AccessibleMenuItem::keyBindingsForAction(const QString& actionName) const {
  if (actionName != pressAction() || !isValid() || m_action->shortcut().isEmpty()) return {};
  return {m_action->shortcut().toString(QKeySequence::NativeText)};
}

}  // namespace velloria
