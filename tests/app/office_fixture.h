// A temporary office on disk for the main window's tests: DATI/ and Stampe/ with a real
// STAMPE.DBF (written byte by byte in dBase III form, texts in CP1252), category folders
// and documents, and helpers that answer the next message box and wait for events.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
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

// Answers the next message box that opens with the button whose value is `result`,
// recording its text; answered() tells whether a box came. Stops looking when destroyed.
class NextBoxAnswer {
 public:
  explicit NextBoxAnswer(int result) : m_state(std::make_shared<State>()) {
    m_state->result = result;
    Poll(m_state);
  }
  ~NextBoxAnswer() { m_state->alive = false; }
  NextBoxAnswer(const NextBoxAnswer&) = delete;
  NextBoxAnswer& operator=(const NextBoxAnswer&) = delete;

  bool answered() const { return m_state->answered; }
  QString text() const { return m_state->text; }

 private:
  struct State {
    int result = 0;
    bool alive = true;
    bool answered = false;
    QString text;
  };
  static void Poll(std::shared_ptr<State> state) {
    QTimer::singleShot(5, [state] {
      if (!state->alive || state->answered) return;
      auto* box = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
      if (box == nullptr) return Poll(state);
      state->text = box->messageText();
      state->answered = true;
      box->done(state->result);
    });
  }
  std::shared_ptr<State> m_state;
};

// Processes events until `done` holds or `ms` pass; returns `done()`.
inline bool WaitFor(const std::function<bool()>& done, int ms = 2000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

}  // namespace velloria::testing
