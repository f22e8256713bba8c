// The parts of the message box that paint themselves or show only a picture, as screen
// readers see them: the message text as static text and the kind's icon named by the
// box's caption ("Confirm", "Error", ...). GUI thread only.
#pragma once

#include <QAccessibleWidget>

namespace velloria {

class AccessibleMessagePart : public QAccessibleWidget {
 public:
  // The interface for `widget` when it is a box's "Message" or "Image" part, else nullptr.
  static QAccessibleInterface* Create(QWidget* widget);

  QString text(QAccessible::Text t) const override;

 private:
  AccessibleMessagePart(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
};

}  // namespace velloria
