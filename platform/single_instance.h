// The one-instance rule, per user and display: the first process listens on a local socket
// only its own account can use; a later start connects, asks it to bring its window forward
// and ends. GUI thread only.
//
// The socket is a file in the user's runtime folder ($XDG_RUNTIME_DIR, a folder of the user's
// own that nobody else may enter), claimed under a lock file so that simultaneous starts
// give one instance and a socket left by a crash is safely replaced. Without such a folder
// the socket has a name in the abstract namespace, which has no permissions: each side then
// checks the other's account (SO_PEERCRED), and a name that another account holds is passed
// over for the next of a few names, or the program runs without the guard. Requests are one
// short line (instance_request.h); a connection that stays idle is dropped.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace velloria {

class InstanceRequestReader;

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `name` names the instance (DefaultName() gives the program's); `runtimeDir` is the
  // user's private runtime folder, empty for none.
  explicit SingleInstance(QString name, QString runtimeDir = PrivateRuntimeDir(),
                          QObject* parent = nullptr);
  ~SingleInstance() override;

  // "<title>-<user>-<display>": one instance per title, user and display (an X display
  // or Wayland socket is a desktop session, as a Windows session is).
  static QString DefaultName(const QString& title);
  // $XDG_RUNTIME_DIR when it is a folder of this account that no other account may enter;
  // otherwise empty.
  static QString PrivateRuntimeDir();

  // Tries to become the running instance. Returns true when this process is now the one
  // instance (raiseRequested() reports later starts of the same account), and also when
  // no endpoint could be had (the process then runs without the guard). Returns false when
  // another instance of this account runs; it has been asked to come forward and this
  // process should end.
  bool becomePrimary();

  // Where this instance listens: a socket file's path, or "@" and an abstract name; empty
  // when it listens nowhere.
  QString endpoint() const;

  // How long a connection may stay without sending its request, and how many may be open.
  static constexpr int kIdleTimeoutMs = 2000;
  static constexpr int kMaxConnections = 4;

 signals:
  // A later start of the same account asked this instance to raise and activate its main
  // window.
  void raiseRequested();

 private:
  enum class Owner { kAbsent, kSameAccount, kOtherAccount };
  bool claimSocketFile(const QString& path);
  bool claimAbstractName();
  bool listen(const QString& name, bool abstract, bool* nameTaken);
  Owner askToRaise(const QString& name, bool abstract);
  void onNewConnection();
  void serve(QLocalSocket* socket, InstanceRequestReader* reader);

  QString m_name;
  QString m_runtimeDir;
  QLocalServer* m_server = nullptr;
  int m_openConnections = 0;
};

}  // namespace velloria
