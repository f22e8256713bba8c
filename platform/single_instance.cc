// Single instance over QLocalServer/QLocalSocket in the abstract socket namespace.
#include "platform/single_instance.h"

#include <pwd.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace velloria {
namespace {

constexpr QByteArrayView kRaiseRequest = "raise\n";
constexpr QByteArrayView kRaiseAnswer = "ok\n";
constexpr int kConnectTimeoutMs = 2000;
constexpr int kAttempts = 20;

QString UserName() {
  if (passwd* entry = getpwuid(getuid())) return QString::fromLocal8Bit(entry->pw_name);
  return QString::number(getuid());
}

QString DisplayName() {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  return display;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), m_name(std::move(name)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultName(const QString& title) {
  return title + QLatin1Char('-') + UserName() + QLatin1Char('-') + DisplayName();
}

bool SingleInstance::becomePrimary() {
  // Either listen() succeeds (we are first) or the name is taken and the owner answers.
  // An owner that dies between our failed listen() and our connect() frees the name,
  // so the next round can listen.
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (server->listen(m_name)) {
      m_server = server;
      connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
      return true;
    }
    bool nameTaken = server->serverError() == QAbstractSocket::AddressInUseError;
    delete server;
    // A socket that cannot be made at all (not a taken name) must not keep the program
    // from starting: it then runs without the one-instance guard.
    if (!nameTaken) return true;
    if (askRunningInstanceToRaise()) return false;
    QThread::msleep(50);
  }
  // Neither listening nor reaching the owner: a stuck owner holds the name. Ending is
  // safer than running a second instance.
  return false;
}

bool SingleInstance::askRunningInstanceToRaise() {
  QLocalSocket socket;
  socket.setServerName(m_name);
  socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer();
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  socket.write(kRaiseRequest.data(), kRaiseRequest.size());
  socket.waitForBytesWritten(kConnectTimeoutMs);
  // The answer only confirms delivery; the owner may be busy in a modal box and answer late.
  socket.waitForReadyRead(kConnectTimeoutMs);
  return true;
}

void SingleInstance::onNewConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answerRequest(socket); });
    answerRequest(socket);  // the request may already be buffered
  }
}

void SingleInstance::answerRequest(QLocalSocket* socket) {
  if (!socket->canReadLine()) return;
  if (socket->readLine() == kRaiseRequest.toByteArray()) {
    socket->write(kRaiseAnswer.data(), kRaiseAnswer.size());
    socket->flush();
    emit raiseRequested();
  }
  socket->disconnectFromServer();
}

}  // namespace velloria
