// Tests of the one-instance rule, over both endpoints (a socket file in a private runtime
// folder, abstract names): a later claim is refused and reaches the running instance as a
// raise request; the name is free again once the owner goes; a request is one short line
// and an idle connection is dropped; another account can neither keep the program from
// starting nor make it raise its window.
#include "platform/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUuid>
#include <atomic>
#include <thread>

namespace velloria {
namespace {

QString UniqueName() { return "velloria-test-" + QUuid::createUuid().toString(QUuid::Id128); }

// Serves events until `done` holds or 10 seconds pass.
template <typename Done>
void ServeUntil(Done done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Claims `name` from another thread (as a second process would, sending `request`) while
// this thread keeps serving events; returns what becomePrimary() answered there, and the
// running instance's answer line in `answerLine`.
bool ClaimFromAnotherThread(const QString& name, const QString& runtimeDir,
                            std::string_view request = kRaiseRequest, std::string* answerLine = nullptr) {
  std::atomic<int> answer = -1;
  std::string line;
  std::thread later([&answer, &line, name, runtimeDir, request] {
    SingleInstance instance(name, runtimeDir);
    const bool primary = instance.becomePrimary(request);
    line = instance.answer();
    answer = primary ? 1 : 0;
  });
  ServeUntil([&] { return answer >= 0; });
  later.join();
  if (answerLine != nullptr) *answerLine = line;
  return answer == 1;
}

// Each test runs with a private runtime folder (the socket file) and without (abstract names).
class SingleInstanceEndpoints : public ::testing::TestWithParam<bool> {
 protected:
  QString runtimeDir() const { return GetParam() ? m_runtime.path() : QString(); }
  QTemporaryDir m_runtime;  // 0700, as QTemporaryDir makes it
};

TEST_P(SingleInstanceEndpoints, LaterClaimIsRefusedAndAsksTheRunningInstanceToRaise) {
  QString name = UniqueName();
  SingleInstance first(name, runtimeDir());
  int raises = 0;
  QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
  ASSERT_TRUE(first.becomePrimary());
  EXPECT_EQ(first.endpoint(), GetParam() ? runtimeDir() + "/" + name : "@" + name);
  EXPECT_FALSE(ClaimFromAnotherThread(name, runtimeDir()));
  EXPECT_FALSE(ClaimFromAnotherThread(name, runtimeDir()));
  QCoreApplication::processEvents();
  EXPECT_EQ(raises, 2);
}

// The later start's arguments arrive whole, whatever bytes they hold, and the handler's
// answer gets back to it; without a handler an open request raises the window.
TEST_P(SingleInstanceEndpoints, OpenRequestCarriesTheArgumentsAndBringsBackTheAnswer) {
  QString name = UniqueName();
  SingleInstance first(name, runtimeDir());
  int raises = 0;
  QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
  ASSERT_TRUE(first.becomePrimary());
  const std::vector<std::string> arguments{"2", "14", "/srv/uffici/a b\t%41\n\x7f/DATI\xe8/", ""};
  std::string answer;
  EXPECT_FALSE(ClaimFromAnotherThread(name, runtimeDir(), EncodeOpenRequest(arguments), &answer));
  EXPECT_EQ(answer, "ok\n");
  EXPECT_EQ(raises, 1);

  std::vector<std::string> received;
  first.setOpenHandler([&received](const std::vector<std::string>& later) {
    received = later;
    return EncodeOtherOfficeAnswer("/srv/altro\tufficio/Stampe");
  });
  EXPECT_FALSE(ClaimFromAnotherThread(name, runtimeDir(), EncodeOpenRequest(arguments), &answer));
  EXPECT_EQ(received, arguments);
  EXPECT_EQ(DecodeOtherOfficeAnswer(answer), "/srv/altro\tufficio/Stampe");
  EXPECT_EQ(raises, 1);
  EXPECT_FALSE(ClaimFromAnotherThread(name, runtimeDir(), kRaiseRequest, &answer));
  EXPECT_EQ(answer, "ok\n");
  EXPECT_EQ(raises, 2);
  // Arguments too long for one request line are not cut: the later start only raises.
  EXPECT_EQ(EncodeOpenRequest({"1", std::string(InstanceRequestReader::kMaxLineBytes, 'x')}), kRaiseRequest);
}

TEST_P(SingleInstanceEndpoints, NameIsFreeAgainWhenTheOwnerEnds) {
  QString name = UniqueName();
  {
    SingleInstance first(name, runtimeDir());
    ASSERT_TRUE(first.becomePrimary());
  }
  SingleInstance next(name, runtimeDir());
  EXPECT_TRUE(next.becomePrimary());
  EXPECT_FALSE(next.endpoint().isEmpty());
}

// Sends `bytes` as a client of the same account; returns what came back before the
// instance closed the connection, or "<open>" when it was still open after `waitMs`.
QByteArray Exchange(const SingleInstance& instance, const QByteArray& bytes, int waitMs) {
  QLocalSocket client;
  QString endpoint = instance.endpoint();
  if (endpoint.startsWith('@')) {
    client.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    endpoint.remove(0, 1);
  }
  client.connectToServer(endpoint);
  if (!client.waitForConnected(2000)) return "<no connection>";
  client.write(bytes);
  QByteArray answer;
  QElapsedTimer clock;
  clock.start();
  while (client.state() == QLocalSocket::ConnectedState && clock.elapsed() < waitMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    answer += client.readAll();
  }
  answer += client.readAll();
  return client.state() == QLocalSocket::ConnectedState ? "<open>" : answer;
}

TEST_P(SingleInstanceEndpoints, RequestIsOneShortLineAndIdleConnectionsAreDropped) {
  SingleInstance instance(UniqueName(), runtimeDir());
  int raises = 0;
  QObject::connect(&instance, &SingleInstance::raiseRequested, [&raises] { ++raises; });
  ASSERT_TRUE(instance.becomePrimary());
  EXPECT_EQ(Exchange(instance, QByteArray(100000, 'r'), 5000), "");
  EXPECT_EQ(Exchange(instance, "raise\nraise\n", 5000), "");
  EXPECT_EQ(Exchange(instance, "RAISE\n", 5000), "");
  EXPECT_EQ(Exchange(instance, "open\t1\t%4\n", 5000), "");
  EXPECT_EQ(Exchange(instance, "open\t1\t\x01\n", 5000), "");
  EXPECT_EQ(raises, 0);
  QElapsedTimer idle;
  idle.start();
  EXPECT_EQ(Exchange(instance, "rai", 3 * SingleInstance::kIdleTimeoutMs), "");
  EXPECT_GE(idle.elapsed(), SingleInstance::kIdleTimeoutMs / 2);  // given time, then dropped
  EXPECT_EQ(Exchange(instance, "raise\n", 5000), "ok\n");
  EXPECT_EQ(raises, 1);
}

INSTANTIATE_TEST_SUITE_P(Both, SingleInstanceEndpoints, ::testing::Bool(), [](const auto& info) {
  return info.param ? "SocketFile" : "AbstractName";
});

TEST(SingleInstance, SocketFileLeftByACrashIsTakenOver) {
  QTemporaryDir runtime;
  QString name = UniqueName();
  // A bound socket whose process is gone: the file stays, nobody listens.
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  qstrncpy(address.sun_path, runtime.filePath(name).toLocal8Bit(), sizeof address.sun_path);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  close(fd);
  SingleInstance instance(name, runtime.path());
  EXPECT_TRUE(instance.becomePrimary());
  EXPECT_EQ(instance.endpoint(), runtime.filePath(name));
}

TEST(SingleInstance, NameNoSocketCanCarryStillLetsTheProgramStart) {
  SingleInstance instance(QString(200, QLatin1Char('v')), QString());  // longer than an address
  EXPECT_TRUE(instance.becomePrimary());
}

TEST(SingleInstance, RuntimeFolderCountsOnlyWhenNoOtherAccountMayEnterIt) {
  QTemporaryDir runtime;
  const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
  qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
  EXPECT_EQ(SingleInstance::PrivateRuntimeDir(), runtime.path());
  QFile::setPermissions(runtime.path(), QFile::permissions(runtime.path()) | QFile::ExeGroup);
  EXPECT_EQ(SingleInstance::PrivateRuntimeDir(), QString());
  qputenv("XDG_RUNTIME_DIR", "/tmp");
  EXPECT_EQ(SingleInstance::PrivateRuntimeDir(), QString());
  qputenv("XDG_RUNTIME_DIR", saved);
}

TEST(SingleInstance, DefaultNameSeparatesUsersAndDisplays) {
  const QByteArray display = qgetenv("DISPLAY"), wayland = qgetenv("WAYLAND_DISPLAY");
  qunsetenv("WAYLAND_DISPLAY");
  qputenv("DISPLAY", ":97");
  QString onDisplay97 = SingleInstance::DefaultName("Velloria");
  qputenv("DISPLAY", ":98");
  EXPECT_NE(SingleInstance::DefaultName("Velloria"), onDisplay97);
  EXPECT_TRUE(onDisplay97.startsWith("Velloria-"));
  EXPECT_NE(SingleInstance::DefaultName("Altro"), SingleInstance::DefaultName("Velloria"));
  if (display.isEmpty())
    qunsetenv("DISPLAY");
  else
    qputenv("DISPLAY", display);
  if (!wayland.isEmpty()) qputenv("WAYLAND_DISPLAY", wayland);
}

// tests/support/other_account.py run as the unprivileged account 65534.
class OtherAccount {
 public:
  static bool Available(std::string* why) {
    if (geteuid() != 0)
      *why = "needs root to run a second account (setpriv)";
    else if (QStandardPaths::findExecutable("setpriv").isEmpty())
      *why = "setpriv is missing";
    return why->empty();
  }
  explicit OtherAccount(const QStringList& arguments) {
    m_process.setStandardInputFile(OTHER_ACCOUNT_SCRIPT);  // opened here, as root
    m_process.setWorkingDirectory("/");
    m_process.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                                           "/usr/bin/python3", "-"} +
                                   arguments);
  }
  ~OtherAccount() {
    m_process.kill();
    m_process.waitForFinished();
  }
  // The first line it prints, serving events meanwhile.
  QByteArray line() {
    ServeUntil(
        [this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; });
    return m_process.readLine().trimmed();
  }

 private:
  QProcess m_process;
};

TEST(SingleInstanceOtherAccount, NameHeldByAnotherAccountDoesNotStopTheStartNorDoesItsRaise) {
  std::string why;
  if (!OtherAccount::Available(&why)) GTEST_SKIP() << why;
  QString name = UniqueName();
  OtherAccount squatter({"squat", name});
  ASSERT_EQ(squatter.line(), "listening");

  SingleInstance instance(name, QString());
  int raises = 0;
  QObject::connect(&instance, &SingleInstance::raiseRequested, [&raises] { ++raises; });
  ASSERT_TRUE(instance.becomePrimary());
  EXPECT_EQ(instance.endpoint(), "@" + name + "-2");

  OtherAccount raiser({"raise", name + "-2"});
  EXPECT_EQ(raiser.line(), "closed");
  EXPECT_EQ(raises, 0);
  EXPECT_FALSE(ClaimFromAnotherThread(name, QString())) << "our own later start still finds it";
  QCoreApplication::processEvents();
  EXPECT_EQ(raises, 1);
}

}  // namespace
}  // namespace velloria
