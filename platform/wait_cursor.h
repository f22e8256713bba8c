// WaitCursor: shows the hourglass while an object of it lives and restores the previous
// cursor when it goes, on every path (also when an exception leaves the scope).
// GUI thread only; needs a QGuiApplication.
#pragma once

#include <QGuiApplication>

namespace velloria {

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace velloria
