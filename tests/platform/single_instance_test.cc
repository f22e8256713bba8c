// Tests of the one-instance rule: a later claim of the same name is refused and reaches
// the running instance as a raise request; the name is free again once the owner goes.
#include "platform/single_instance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUuid>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace velloria {
namespace {

QString UniqueName() { return "velloria-test-" + QUuid::createUuid().toString(QUuid::Id128); }

// Claims `name` from another thread (as a second process would) while this thread keeps
// serving events; returns what becomePrimary() answered there.
bool ClaimFromAnotherThread(const QString& name) {
  std::atomic<int> answer = -1;
  std::thread later([&answer, name] {
    SingleInstance instance(name);
    answer = instance.becomePrimary() ? 1 : 0;
  });
  QElapsedTimer clock;
  clock.start();
  while (answer < 0 && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  later.join();
  return answer == 1;
}

TEST(SingleInstance, LaterClaimIsRefusedAndAsksTheRunningInstanceToRaise) {
  QString name = UniqueName();
  SingleInstance first(name);
  int raises = 0;
  QObject::connect(&first, &SingleInstance::raiseRequested, [&raises] { ++raises; });
  ASSERT_TRUE(first.becomePrimary());
  EXPECT_FALSE(ClaimFromAnotherThread(name));
  EXPECT_FALSE(ClaimFromAnotherThread(name));
  QCoreApplication::processEvents();
  EXPECT_EQ(raises, 2);
}

TEST(SingleInstance, NameIsFreeAgainWhenTheOwnerEnds) {
  QString name = UniqueName();
  {
    SingleInstance first(name);
    ASSERT_TRUE(first.becomePrimary());
  }
  SingleInstance next(name);
  EXPECT_TRUE(next.becomePrimary());
}

TEST(SingleInstance, NameNoSocketCanCarryStillLetsTheProgramStart) {
  SingleInstance instance(QString(200, QLatin1Char('v')));  // longer than a socket address
  EXPECT_TRUE(instance.becomePrimary());
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
  if (display.isEmpty()) qunsetenv("DISPLAY"); else qputenv("DISPLAY", display);
  if (!wayland.isEmpty()) qputenv("WAYLAND_DISPLAY", wayland);
}

}  // namespace
}  // namespace velloria
