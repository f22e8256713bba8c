// EAbort, the silent abort: an exception that cancels the operation in progress and
// that the application's failure display swallows without showing anything.
// Qt-free, so the table component below the widgets can raise it too.
#pragma once

#include <exception>

namespace velloria {

class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace velloria
