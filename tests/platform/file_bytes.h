// A test file's bytes, read or written whole.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <string>

namespace velloria::testing {

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray Read(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
inline QByteArray Read(const std::string& path) { return Read(QString::fromStdString(path)); }

// Makes the file's folder when missing and writes `bytes` as the whole file.
inline void Write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}
inline void Write(const std::string& path, const QByteArray& bytes) {
  Write(QString::fromStdString(path), bytes);
}

}  // namespace velloria::testing
