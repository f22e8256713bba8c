// Exceptions raised by the shell items and the folder list view. Their messages are the
// English texts shown by the application's failure display.
#pragma once

#include <QString>
#include <stdexcept>

namespace velloria {

// A request of the user's that the shell refused (a rename, an open), saying why.
class EShellError : public std::runtime_error {
 public:
  explicit EShellError(const QString& message) : std::runtime_error(message.toStdString()) {}
  // True for a refusal, shown as a warning; false for a failure, shown as an error.
  virtual bool Refusal() const { return true; }
};

// A folder or file the namespace cannot reach.
class EInvalidPath : public EShellError {
 public:
  using EShellError::EShellError;
  bool Refusal() const override { return false; }
};

// A row index outside the list.
class EListError : public EShellError {
 public:
  using EShellError::EShellError;
  bool Refusal() const override { return false; }
};

// Replaces the one "%s" of `format` with `argument`.
inline QString FormatMessage(const char* format, const QString& argument) {
  return QString::fromUtf8(format).replace(QLatin1String("%s"), argument);
}

}  // namespace velloria
