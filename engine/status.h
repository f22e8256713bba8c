// Status: the result of an engine operation, an error code of xbengine.h and an English text.
// Used everywhere inside the engine instead of exceptions; the C layer turns it into
// return values and the thread's last error. Value type, no thread-safety concerns.
#ifndef VELLORIA_ENGINE_STATUS_H_
#define VELLORIA_ENGINE_STATUS_H_

#include <string>
#include <utility>

#include "engine/include/xbengine.h"

namespace xb {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(int code, std::string message) { return Status(code, std::move(message)); }

  bool ok() const { return code_ == XB_OK; }
  int code() const { return code_; }
  const std::string& message() const { return message_; }

 private:
  Status(int code, std::string message) : code_(code), message_(std::move(message)) {}
  int code_ = XB_OK;
  std::string message_;
};

#define XB_RETURN_IF_ERROR(expr)       \
  do {                                 \
    ::xb::Status status_ = (expr);     \
    if (!status_.ok()) return status_; \
  } while (0)

}  // namespace xb

#endif  // VELLORIA_ENGINE_STATUS_H_
