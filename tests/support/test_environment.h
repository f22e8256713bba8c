// The environment every widget test process starts with: the offscreen platform (headless,
// also when gtest_discover_tests lists the tests at build time), a private runtime folder
// for the single-instance socket, and a data folder of its own, whose Trash takes what the
// tests delete, unless the caller has set them.
#pragma once

#include <QDir>
#include <QFile>

namespace velloria_tests {

inline void PrepareTestEnvironment() {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (!qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    qputenv("XDG_DATA_HOME", (QDir::tempPath() + "/velloria-test-data").toLocal8Bit());
  if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) return;
  QString dir = QDir::tempPath() + "/velloria-test-runtime";
  QDir().mkpath(dir);
  QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
}

}  // namespace velloria_tests
