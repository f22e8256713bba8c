// A temporary office on disk for the main window's tests: DATI/ and Stampe/ with a real
// STAMPE.DBF (written byte by byte in dBase III form, texts in CP1252), category folders
// and documents, and helpers that answer the next message box and wait for events.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/stampe_table.h"
#include "ui/messagebox.h"

namespace velloria::testing {

// DATI/ (the data path) and Stampe/ under a temporary folder.
class TempOffice {
 public:
  TempOffice() { QDir(root()).mkpath("DATI"), QDir(root()).mkpath("Stampe"); }

  QString root() const { return m_dir.path(); }
  QString stampe() const { return root() + "/Stampe"; }
  std::string dataPath() const { return (root() + "/DATI/").toStdString(); }
  QString tablePath() const { return stampe() + "/STAMPE.DBF"; }

  void writeTable(const std::vector<CategoryRecord>& rows) const {
    QFile file(tablePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(StampeTableBytes(rows));
  }
  QByteArray tableBytes() const {
    QFile file(tablePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // A category folder with the given documents (each holding its own name).
  void makeFolder(const QString& dir, const QStringList& documents = {}) const {
    QDir(stampe()).mkpath(dir);
    for (const QString& name : documents) writeFile(stampe() + "/" + dir + "/" + name, name.toUtf8());
  }
  static void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

 private:
  QTemporaryDir m_dir;
};

// Answers the next message box, without showing it, with the value `result`; several
// alive at once answer the boxes in the order they were made. answered() tells whether
// a box came, asked() what it asked. No longer answers once destroyed.
class NextBoxAnswer {
 public:
  explicit NextBoxAnswer(int result) : m_answer(std::make_shared<BoxAnswerForTesting>()) {
    m_answer->result = result;
    QueueBoxAnswerForTesting(m_answer);
  }
  NextBoxAnswer(const NextBoxAnswer&) = delete;
  NextBoxAnswer& operator=(const NextBoxAnswer&) = delete;

  bool answered() const { return m_answer->answered; }
  void whileAsked(std::function<void()> action) { m_answer->whileAsked = std::move(action); }
  QString text() const { return m_answer->text; }
  const BoxAnswerForTesting& asked() const { return *m_answer; }

 private:
  std::shared_ptr<BoxAnswerForTesting> m_answer;
};

// Processes events until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

}  // namespace velloria::testing
