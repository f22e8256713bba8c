// Tests of the application object: the failure display's text rule, failures escaping
// timer and event handlers shown in a box titled with the application's title, the
// silent abort, and termination closing open boxes.
#include "app/application.h"
#include "shellview/shell_errors.h"

#include <QElapsedTimer>
#include <QTimer>
#include <stdexcept>

#include <gtest/gtest.h>

#include "dataset/db.h"
#include "tests/app/office_fixture.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

using testing::NextBoxAnswer;

// Runs the event loop until `done` or a second has passed.
void SpinUntil(const std::function<bool()>& done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(FailureText, FullStopAddedOnlyAfterCharactersSortingAfterIt) {
  EXPECT_EQ(FailureText("Rename to x failed"), "Rename to x failed.");
  EXPECT_EQ(FailureText("Tabella 12"), "Tabella 12.");
  EXPECT_EQ(FailureText("Già fatto."), "Già fatto.");
  EXPECT_EQ(FailureText("Attenzione!"), "Attenzione!");
  EXPECT_EQ(FailureText("Error setting path: \"/x\""), "Error setting path: \"/x\"");
  EXPECT_EQ(FailureText("(vuoto)"), "(vuoto)");
  EXPECT_EQ(FailureText("città"), "città.");
  EXPECT_EQ(FailureText(""), "");
}

TEST(FailureDisplay, FailureEscapingATimerHandlerIsShownAndTheProgramGoesOn) {
  NextBoxAnswer ok(mrOk);
  bool after = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("Rename to x failed"); });
  QTimer::singleShot(20, [&after] { after = true; });
  SpinUntil([&after] { return after; });
  EXPECT_TRUE(after);
  EXPECT_EQ(ok.asked().title, "Velloria");
  EXPECT_EQ(ok.text(), "Rename to x failed.");
  EXPECT_EQ(ok.asked().kind, mtError);
  EXPECT_EQ(ok.asked().buttons, QStringList{"OK"});
}

// A request the shell view refused (a rename) is a warning under the program's title; a
// path it cannot reach stays an error.
TEST(FailureDisplay, ARefusalIsAWarningAndAFailureAnError) {
  NextBoxAnswer refused(mrOk), failed(mrOk);
  TApplication::instance()->showException(EShellError(QStringLiteral("Rename to x failed.")));
  TApplication::instance()->showException(EInvalidPath(QStringLiteral("Unable to retrieve folder details")));
  EXPECT_EQ(refused.asked().kind, mtWarning);
  EXPECT_EQ(refused.asked().title, "Velloria");
  EXPECT_EQ(failed.asked().kind, mtError);
  EXPECT_EQ(failed.asked().title, "Velloria");
}

TEST(FailureDisplay, FailureEscapingAQueuedCallIsShown) {
  NextBoxAnswer ok(mrOk);
  QObject target;
  QMetaObject::invokeMethod(&target, [] { throw std::runtime_error("Coda"); }, Qt::QueuedConnection);
  SpinUntil([&ok] { return ok.answered(); });
  EXPECT_EQ(ok.text(), "Coda.");
}

TEST(FailureDisplay, SilentAbortShowsNothing) {
  NextBoxAnswer none(mrOk);
  bool after = false;
  QTimer::singleShot(0, [] { throw EAbort(); });
  QTimer::singleShot(30, [&after] { after = true; });
  SpinUntil([&after] { return after; });
  EXPECT_FALSE(none.answered()) << none.text().toStdString();
}

TEST(Termination, ClosesTheOpenBoxWithTwoAndTheMainLoopDoesNotStart) {
  TApplication* app = TApplication::instance();
  QTimer::singleShot(0, [app] { app->terminate(1); });
  EXPECT_EQ(ShowMessageDialog("Attendere", mtInformation, {mbOK}), mrCancel);
  EXPECT_TRUE(app->terminated());
  QWidget window;
  EXPECT_EQ(app->run(window), 1);
  EXPECT_FALSE(window.isVisible());
  app->resumeAfterTerminationForTesting();
  EXPECT_FALSE(TMessageForm::IsTerminating());
}

}  // namespace
}  // namespace velloria
