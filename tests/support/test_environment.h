// The environment every widget test process starts with: the offscreen platform (headless,
// also when gtest_discover_tests lists the tests at build time) and a private runtime folder
// for the single-instance socket, unless the caller has set them.
#pragma once

#include <QDir>
#include <QFile>

namespace velloria_tests {

inline void PrepareTestEnvironment() {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) return;
  QString dir = QDir::tempPath() + "/velloria-test-runtime";
  QDir().mkpath(dir);
  QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
}

}  // namespace velloria_tests
