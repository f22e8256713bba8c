// Single instance over plain local sockets: a socket file in the private runtime folder, or
// abstract names checked with SO_PEERCRED. The running instance watches its listener and
// each connection with socket notifiers; a later start talks to it with blocking calls
// bounded by socket timeouts.
#include "platform/single_instance.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>

namespace velloria {

// One accepted connection of this account: its descriptor, watched for reading, with the
// reader of its request and the timer that drops it when it stays idle.
class InstanceConnection : public QObject {
 public:
  InstanceConnection(int descriptor, QObject* parent)
      : QObject(parent), m_descriptor(descriptor), m_readable(descriptor, QSocketNotifier::Read, this) {
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &InstanceConnection::drop);
    m_idle.start(SingleInstance::kIdleTimeoutMs);
  }
  ~InstanceConnection() override {
    m_readable.setEnabled(false);  // the event loop lets go of the descriptor before it closes
    ::close(m_descriptor);
  }

  int descriptor() const { return m_descriptor; }
  QSocketNotifier& readable() { return m_readable; }
  InstanceRequestReader& reader() { return m_reader; }
  // Stops hearing the peer and the idle timer, so that the answer is worked out (which may
  // run a nested event loop) without the connection going meanwhile.
  void stopWatching() {
    m_readable.setEnabled(false);
    m_idle.stop();
  }
  // Lets the connection go once the event ends.
  void drop() {
    stopWatching();
    deleteLater();
  }

 private:
  int m_descriptor;
  QSocketNotifier m_readable;
  QTimer m_idle;
  InstanceRequestReader m_reader;
};

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
std::optional<uid_t> PeerAccount(int descriptor) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return {};
  return credentials.uid;
}

bool IsSameAccount(int descriptor) { return PeerAccount(descriptor) == geteuid(); }

// The socket file for `name` in `runtimeDir`, or empty when it would not fit a socket address.
QString SocketFilePath(const QString& runtimeDir, QString name) {
  QString path = runtimeDir + QLatin1Char('/') + name.replace(QLatin1Char('/'), QLatin1Char('_'));
  return size_t(path.toLocal8Bit().size()) < sizeof(sockaddr_un::sun_path) ? path : QString();
}

// A socket address: a file path, or an abstract name (a zero byte, then the name, no
// terminator: the length says where it ends).
struct LocalAddress {
  sockaddr_un address{};
  socklen_t length = 0;
};

std::optional<LocalAddress> MakeAddress(const QString& name, bool abstract) {
  const QByteArray bytes = name.toLocal8Bit();
  LocalAddress local;
  local.address.sun_family = AF_UNIX;
  const size_t start = abstract ? 1 : 0;
  if (start + size_t(bytes.size()) >= sizeof local.address.sun_path) return std::nullopt;
  memcpy(local.address.sun_path + start, bytes.constData(), size_t(bytes.size()));
  local.length = socklen_t(offsetof(sockaddr_un, sun_path) + start + size_t(bytes.size()) + (abstract ? 0 : 1));
  return local;
}

void SetTimeout(int descriptor, int option, int milliseconds) {
  timeval timeout{milliseconds / 1000, (milliseconds % 1000) * 1000};
  setsockopt(descriptor, SOL_SOCKET, option, &timeout, sizeof timeout);
}

// Sends all of `bytes` (bounded by the descriptor's send timeout); false when the peer went.
bool SendAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(size_t(sent));
  }
  return true;
}

// The first line the peer sends (bounded by the receive timeout and by the reader's line
// bound); what arrived when the peer closed or went silent earlier.
std::string ReceiveLine(int descriptor) {
  std::string line;
  char buffer[512];
  while (line.size() <= InstanceRequestReader::kMaxLineBytes && line.find('\n') == std::string::npos) {
    const ssize_t received = recv(descriptor, buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received <= 0) break;
    line.append(buffer, size_t(received));
  }
  return line;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QString runtimeDir, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_runtimeDir(std::move(runtimeDir)) {}

SingleInstance::~SingleInstance() {
  if (m_listener < 0) return;
  delete m_listenerNotifier;  // the event loop lets go of the descriptor before it closes
  if (m_ownsSocketFile) unlink(QFile::encodeName(m_endpoint).constData());
  ::close(m_listener);
}

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

QString SingleInstance::endpoint() const { return m_endpoint; }

bool SingleInstance::becomePrimary(std::string_view request) {
  m_request = request;
  const QString path = m_runtimeDir.isEmpty() ? QString() : SocketFilePath(m_runtimeDir, m_name);
  return path.isEmpty() ? claimAbstractName() : claimSocketFile(path);
}

// Under the lock, either a live instance of ours answers or the name is ours to take: a
// socket file without a listener is what a crash leaves.
bool SingleInstance::claimSocketFile(const QString& path) {
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitMs)) return true;  // never keep the user from working
  if (askRunningInstance(path, false) == Owner::kSameAccount) return false;
  unlink(QFile::encodeName(path).constData());
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
      const Owner owner = askRunningInstance(name, true);
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
  const std::optional<LocalAddress> local = MakeAddress(name, abstract);
  if (!local) return false;
  const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return false;
  if (bind(descriptor, reinterpret_cast<const sockaddr*>(&local->address), local->length) != 0 ||
      ::listen(descriptor, kMaxConnections) != 0) {
    *nameTaken = errno == EADDRINUSE;
    ::close(descriptor);
    return false;
  }
  m_listener = descriptor;
  m_endpoint = abstract ? QLatin1Char('@') + name : name;
  m_ownsSocketFile = !abstract;
  m_listenerNotifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
  connect(m_listenerNotifier, &QSocketNotifier::activated, this, &SingleInstance::onNewConnection);
  return true;
}

SingleInstance::Owner SingleInstance::askRunningInstance(const QString& name, bool abstract) {
  const std::optional<LocalAddress> local = MakeAddress(name, abstract);
  if (!local) return Owner::kAbsent;
  const int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (descriptor < 0) return Owner::kAbsent;
  // The timeouts also bound a connect that waits for room in a busy listener's queue.
  SetTimeout(descriptor, SO_SNDTIMEO, kConnectTimeoutMs);
  SetTimeout(descriptor, SO_RCVTIMEO, kConnectTimeoutMs);
  Owner owner = Owner::kAbsent;
  if (::connect(descriptor, reinterpret_cast<const sockaddr*>(&local->address), local->length) == 0) {
    // Nothing is said to a listener of another account.
    owner = IsSameAccount(descriptor) ? Owner::kSameAccount : Owner::kOtherAccount;
  }
  // The answer confirms delivery; the owner may be busy in a modal box and answer late.
  if (owner == Owner::kSameAccount && SendAll(descriptor, m_request)) m_answer = ReceiveLine(descriptor);
  ::close(descriptor);
  return owner;
}

void SingleInstance::onNewConnection() {
  for (;;) {
    const int descriptor = accept4(m_listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (descriptor < 0) return;
    // Only this account's later starts are heard, and only a few at a time.
    if (!IsSameAccount(descriptor) || m_openConnections >= kMaxConnections) {
      ::close(descriptor);
      continue;
    }
    ++m_openConnections;
    auto* connection = new InstanceConnection(descriptor, this);
    connect(connection, &QObject::destroyed, this, [this] { --m_openConnections; });
    connect(&connection->readable(), &QSocketNotifier::activated, this,
            [this, connection] { serve(connection); });
    serve(connection);  // the request may already be there
  }
}

void SingleInstance::serve(InstanceConnection* connection) {
  InstanceRequestReader& reader = connection->reader();
  char buffer[4096];
  while (reader.verdict() == InstanceRequestReader::Verdict::kIncomplete) {
    const ssize_t received = recv(connection->descriptor(), buffer, sizeof buffer, 0);
    if (received < 0 && errno == EINTR) continue;
    if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // wait for more
    if (received <= 0) break;  // the peer went before its line was whole
    reader.Feed(std::string_view(buffer, size_t(received)));
  }
  connection->stopWatching();
  if (reader.verdict() == InstanceRequestReader::Verdict::kRaise ||
      reader.verdict() == InstanceRequestReader::Verdict::kOpen) {
    SendAll(connection->descriptor(), answerTo(reader));
  }
  connection->drop();
}

std::string SingleInstance::answerTo(const InstanceRequestReader& reader) {
  if (reader.verdict() == InstanceRequestReader::Verdict::kOpen && m_openHandler) {
    return m_openHandler(reader.arguments());
  }
  emit raiseRequested();
  return std::string(kRaiseAnswer);
}

}  // namespace velloria
