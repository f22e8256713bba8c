// Accessibility interfaces of the message box, its text and its icon.
#include "ui/accessible_messagebox.h"

#include "ui/messagebox.h"

namespace velloria {

QAccessibleInterface* CreateAccessibleMessageBox(QWidget* widget) {
  auto* form = qobject_cast<TMessageForm*>(widget);
  return form != nullptr ? new QAccessibleWidget(form, QAccessible::AlertMessage) : nullptr;
}

QAccessibleInterface* AccessibleMessagePart::Create(QWidget* widget) {
  if (qobject_cast<TMessageForm*>(widget->parent()) == nullptr) return nullptr;
  if (widget->objectName() == QLatin1String("Message")) {
    return new AccessibleMessagePart(widget, QAccessible::StaticText);
  }
  if (widget->objectName() == QLatin1String("Image")) {
    return new AccessibleMessagePart(widget, QAccessible::Graphic);
  }
  return nullptr;
}

QString AccessibleMessagePart::text(QAccessible::Text t) const {
  if (t != QAccessible::Name) return QAccessibleWidget::text(t);
  auto* form = static_cast<TMessageForm*>(widget()->parent());
  return role() == QAccessible::StaticText ? form->messageText() : form->windowTitle();
}

}  // namespace velloria
