// The message box as screen readers see it: the box an alert, and the parts that paint
// themselves or show only a picture: the message text as static text and the kind's icon named by the
// box's caption ("Confirm", "Error", ...). GUI thread only.
#pragma once

#include <QAccessibleWidget>

namespace velloria {

// The interface for `widget` when it is a message box: an alert, which screen readers
// announce as soon as it appears, named by its caption; else nullptr.
QAccessibleInterface* CreateAccessibleMessageBox(QWidget* widget);

class AccessibleMessagePart : public QAccessibleWidget {
 public:
  // The interface for `widget` when it is a box's "Message" or "Image" part, else nullptr.
  static QAccessibleInterface* Create(QWidget* widget);

  QString text(QAccessible::Text t) const override;

 private:
  AccessibleMessagePart(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
};

}  // namespace velloria
