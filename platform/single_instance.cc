// Single instance over QLocalServer/QLocalSocket: a socket file in the private runtime
// folder, or abstract names checked with SO_PEERCRED.
#include "platform/single_instance.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <memory>
#include <optional>

#include "platform/instance_request.h"

namespace velloria {
namespace {

constexpr int kConnectTimeoutMs = 2000;
constexpr int kLockWaitMs = 10000;  // longer than one ask of a running instance takes
constexpr int kAttempts = 20;
constexpr int kAbstractNames = 4;  // the name, then "-2" … "-4" when other accounts hold them

QString UserName() {
  if (passwd* entry = getpwuid(geteuid())) return QString::fromLocal8Bit(entry->pw_name);
  return QString::number(geteuid());
}

QString DisplayName() {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  return display;
}

// The account of the process at the other end of a connected local socket.
std::optional<uid_t> PeerAccount(qintptr descriptor) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return {};
  return credentials.uid;
}

bool IsSameAccount(qintptr descriptor) { return PeerAccount(descriptor) == geteuid(); }

// The socket file for `name` in `runtimeDir`, or empty when it would not fit a socket address.
QString SocketFilePath(const QString& runtimeDir, QString name) {
  QString path = runtimeDir + QLatin1Char('/') + name.replace(QLatin1Char('/'), QLatin1Char('_'));
  return size_t(path.toLocal8Bit().size()) < sizeof(sockaddr_un::sun_path) ? path : QString();
}

}  // namespace

SingleInstance::SingleInstance(QString name, QString runtimeDir, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_runtimeDir(std::move(runtimeDir)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::DefaultName(const QString& title) {
  return title + QLatin1Char('-') + UserName() + QLatin1Char('-') + DisplayName();
}

QString SingleInstance::PrivateRuntimeDir() {
  const QByteArray dir = qgetenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (dir.isEmpty() || stat(dir.constData(), &st) != 0) return {};
  if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) return {};
  return QString::fromLocal8Bit(dir);
}

QString SingleInstance::endpoint() const {
  if (m_server == nullptr) return {};
  const QString name = m_server->serverName();
  return name.startsWith(QLatin1Char('/')) ? name : QLatin1Char('@') + name;
}

bool SingleInstance::becomePrimary() {
  const QString path = m_runtimeDir.isEmpty() ? QString() : SocketFilePath(m_runtimeDir, m_name);
  return path.isEmpty() ? claimAbstractName() : claimSocketFile(path);
}

// Under the lock, either a live instance of ours answers or the name is ours to take: a
// socket file without a listener is what a crash leaves.
bool SingleInstance::claimSocketFile(const QString& path) {
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitMs)) return true;  // never keep the user from working
  if (askToRaise(path, false) == Owner::kSameAccount) return false;
  QLocalServer::removeServer(path);
  bool nameTaken = false;
  listen(path, false, &nameTaken);
  return true;
}

// Either listen() succeeds (the name is free) or the owner is asked: one of ours comes
// forward; another account's is passed over for the next name. An owner that ends between
// our failed listen() and our connect() frees the name, so the next round can listen.
bool SingleInstance::claimAbstractName() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    bool ownerEnded = false;
    for (int i = 0; i < kAbstractNames && !ownerEnded; ++i) {
      const QString name = i == 0 ? m_name : m_name + QLatin1Char('-') + QString::number(i + 1);
      bool nameTaken = false;
      // A socket that cannot be made at all (not a taken name) must not keep the program
      // from starting: it then runs without the guard.
      if (listen(name, true, &nameTaken) || !nameTaken) return true;
      const Owner owner = askToRaise(name, true);
      if (owner == Owner::kSameAccount) return false;
      ownerEnded = owner == Owner::kAbsent;
    }
    if (!ownerEnded) return true;  // other accounts hold every name: run without the guard
    QThread::msleep(50);
  }
  // Neither listening nor reaching the owner: a stuck instance of ours holds the name.
  // Ending is safer than running a second instance.
  return false;
}

bool SingleInstance::listen(const QString& name, bool abstract, bool* nameTaken) {
  auto* server = new QLocalServer(this);
  if (abstract) server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
  server->setMaxPendingConnections(kMaxConnections);
  if (server->listen(name)) {
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
  }
  *nameTaken = server->serverError() == QAbstractSocket::AddressInUseError;
  delete server;
  return false;
}

SingleInstance::Owner SingleInstance::askToRaise(const QString& name, bool abstract) {
  QLocalSocket socket;
  socket.setServerName(name);
  if (abstract) socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
  socket.connectToServer();
  if (!socket.waitForConnected(kConnectTimeoutMs)) return Owner::kAbsent;
  // Nothing is said to a listener of another account.
  if (!IsSameAccount(socket.socketDescriptor())) return Owner::kOtherAccount;
  socket.write(kRaiseRequest.data(), qint64(kRaiseRequest.size()));
  socket.waitForBytesWritten(kConnectTimeoutMs);
  // The answer only confirms delivery; the owner may be busy in a modal box and answer late.
  socket.waitForReadyRead(kConnectTimeoutMs);
  return Owner::kSameAccount;
}

void SingleInstance::onNewConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Only this account's later starts are heard, and only a few at a time.
    if (!IsSameAccount(socket->socketDescriptor()) || m_openConnections >= kMaxConnections) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    ++m_openConnections;
    connect(socket, &QObject::destroyed, this, [this] { --m_openConnections; });
    socket->setReadBufferSize(InstanceRequestReader::kMaxLineBytes + 1);
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, &QLocalSocket::abort);
    idle->start(kIdleTimeoutMs);
    auto reader = std::make_shared<InstanceRequestReader>();
    connect(socket, &QLocalSocket::readyRead, this,
            [this, socket, reader] { serve(socket, reader.get()); });
    serve(socket, reader.get());  // the request may already be buffered
  }
}

void SingleInstance::serve(QLocalSocket* socket, InstanceRequestReader* reader) {
  InstanceRequestReader::Verdict verdict = reader->verdict();
  while (verdict == InstanceRequestReader::Verdict::kIncomplete && socket->bytesAvailable() > 0) {
    const QByteArray bytes = socket->read(InstanceRequestReader::kMaxLineBytes + 1);
    verdict = reader->Feed(std::string_view(bytes.constData(), size_t(bytes.size())));
  }
  if (verdict == InstanceRequestReader::Verdict::kIncomplete) return;
  if (verdict == InstanceRequestReader::Verdict::kRaise) {
    socket->write(kRaiseAnswer.data(), qint64(kRaiseAnswer.size()));
    socket->flush();
    emit raiseRequested();
    socket->disconnectFromServer();
  } else {
    socket->abort();
  }
}

}  // namespace velloria
