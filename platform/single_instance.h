// The one-instance rule: the first process of a user on a display listens on a local
// socket named after the program; a later start connects, asks it to bring its window
// forward and ends. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace velloria {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `name` is the socket name; DefaultName() gives the program's.
  explicit SingleInstance(QString name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // "<title>-<user>-<display>": one instance per title, user and display (an X display
  // or Wayland socket is a desktop session, as a Windows session is).
  static QString DefaultName(const QString& title);

  // Tries to become the running instance. Returns true when this process is now the
  // one instance (raiseRequested() reports later starts). Returns false when another
  // instance runs; it has then been asked to come forward and this process should end.
  // Race-free: the socket name lives in the abstract namespace, where only one
  // listen() of a name can succeed, and nothing is left behind by a crash. When no
  // socket can be made at all, returns true and the process runs unguarded.
  bool becomePrimary();

  const QString& name() const { return m_name; }

 signals:
  // A later start asked this instance to raise and activate its main window.
  void raiseRequested();

 private:
  bool askRunningInstanceToRaise();
  void onNewConnection();
  void answerRequest(QLocalSocket* socket);

  QString m_name;
  QLocalServer* m_server = nullptr;
};

}  // namespace velloria
