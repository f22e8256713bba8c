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
// bounded line (instance_request.h); a connection that stays idle is dropped. Plain local
// sockets watched by the event loop: no network module is loaded for this.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/instance_request.h"

class QSocketNotifier;

namespace velloria {

class InstanceConnection;

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
  // instance (later starts of the same account reach raiseRequested() or the open
  // handler), and also when no endpoint could be had (the process then runs without the
  // guard). Returns false when another instance of this account runs; it has been sent
  // `request` (kRaiseRequest or an open request), its answer is in answer(), and this
  // process should end.
  bool becomePrimary(std::string_view request = kRaiseRequest);
  // The running instance's answer line to this process's request; empty when none came.
  const std::string& answer() const { return m_answer; }

  // Decides the answer line to a later start's open request (its arguments without the
  // program). Without a handler an open request is taken as a raise request.
  using OpenHandler = std::function<std::string(const std::vector<std::string>& arguments)>;
  void setOpenHandler(OpenHandler handler) { m_openHandler = std::move(handler); }

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
  Owner askRunningInstance(const QString& name, bool abstract);
  void onNewConnection();
  void serve(InstanceConnection* connection);
  std::string answerTo(const InstanceRequestReader& reader);

  QString m_name;
  QString m_runtimeDir;
  std::string m_request;
  std::string m_answer;
  OpenHandler m_openHandler;
  int m_listener = -1;
  QString m_endpoint;
  bool m_ownsSocketFile = false;
  QSocketNotifier* m_listenerNotifier = nullptr;
  int m_openConnections = 0;
};

}  // namespace velloria
