// A temporary office on disk for the main window's tests: DATI/ and Stampe/ with a real
// STAMPE.DBF (written byte by byte in dBase III form, texts in CP1252), category folders
// and documents, and helpers that answer the next message box and wait for events.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/messagebox.h"

namespace velloria::testing {

struct CategoryRecord {
  std::string descrizio;
  std::string dir;
  int tipo = 1;
  bool visualizza = false;
};

// STAMPE.DBF with DESCRIZIO C40, DIR C20, VISUALIZZA L1, TIPO N3 and the language
// driver byte of CP1252.
inline QByteArray StampeTableBytes(const std::vector<CategoryRecord>& rows) {
  struct FieldLayout {
    const char* name;
    char type;
    int width;
  };
  const FieldLayout fields[] = {{"DESCRIZIO", 'C', 40}, {"DIR", 'C', 20}, {"VISUALIZZA", 'L', 1}, {"TIPO", 'N', 3}};
  const quint16 recordSize = 1 + 40 + 20 + 1 + 3;
  const quint16 headerSize = 32 + 32 * 4 + 1;
  QByteArray data(32, '\0');
  data[0] = 0x03;
  data[1] = 126;
  data[2] = 1;
  data[3] = 1;
  quint32 count = static_cast<quint32>(rows.size());
  std::memcpy(data.data() + 4, &count, 4);
  std::memcpy(data.data() + 8, &headerSize, 2);
  std::memcpy(data.data() + 10, &recordSize, 2);
  data[29] = 0x03;
  for (const FieldLayout& field : fields) {
    QByteArray descriptor(32, '\0');
    std::memcpy(descriptor.data(), field.name, std::strlen(field.name));
    descriptor[11] = field.type;
    descriptor[16] = static_cast<char>(field.width);
    data += descriptor;
  }
  data += '\r';
  QStringEncoder cp1252("windows-1252");
  for (const CategoryRecord& row : rows) {
    data += ' ';
    data += QByteArray(cp1252(QString::fromStdString(row.descrizio))).leftJustified(40, ' ', true);
    data += QByteArray::fromStdString(row.dir).leftJustified(20, ' ', true);
    data += row.visualizza ? 'T' : 'F';
    data += QByteArray::number(row.tipo).rightJustified(3, ' ');
  }
  data += '\x1a';
  return data;
}

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
