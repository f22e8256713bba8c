// Tests of the application object: the failure display's text rule, failures escaping
// timer and event handlers shown in a box titled with the application's title, the
// silent abort, and termination closing open boxes.
#include "app/application.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <stdexcept>

#include <gtest/gtest.h>

#include "platform/abort.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

struct SeenBox {
  QString title, text;
  bool hasImage = false;
  int buttons = 0;
};

// Watches for the next modal box, records it and closes it with its OK button.
void RecordAndCloseNextBox(SeenBox* seen) {
  QTimer::singleShot(0, [seen] {
    auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
    if (!form) return;
    seen->title = form->windowTitle();
    seen->text = form->messageText();
    seen->hasImage = form->findChild<QLabel*>("Image") != nullptr;
    seen->buttons = static_cast<int>(form->buttons().size());
    form->buttons().front()->click();
  });
}

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
  SeenBox seen;
  bool after = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("Rename to x failed"); });
  QTimer::singleShot(0, [&seen] { RecordAndCloseNextBox(&seen); });
  QTimer::singleShot(20, [&after] { after = true; });
  SpinUntil([&after] { return after; });
  EXPECT_TRUE(after);
  EXPECT_EQ(seen.title, "Velloria");
  EXPECT_EQ(seen.text, "Rename to x failed.");
  EXPECT_TRUE(seen.hasImage);
  EXPECT_EQ(seen.buttons, 1);
}

TEST(FailureDisplay, FailureEscapingAQueuedCallIsShown) {
  SeenBox seen;
  QObject target;
  QMetaObject::invokeMethod(&target, [] { throw std::runtime_error("Coda"); }, Qt::QueuedConnection);
  QTimer::singleShot(0, [&seen] { RecordAndCloseNextBox(&seen); });
  SpinUntil([&seen] { return !seen.text.isEmpty(); });
  EXPECT_EQ(seen.text, "Coda.");
}

TEST(FailureDisplay, SilentAbortShowsNothing) {
  int boxes = 0;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&boxes] {
    if (auto* form = qobject_cast<TMessageForm*>(QApplication::activeModalWidget())) {
      ++boxes;
      form->close();
    }
  });
  watcher.start(1);
  bool after = false;
  QTimer::singleShot(0, [] { throw EAbort(); });
  QTimer::singleShot(30, [&after] { after = true; });
  SpinUntil([&after] { return after; });
  EXPECT_EQ(boxes, 0);
}

TEST(Termination, ClosesTheOpenBoxWithTwoAndTheMainLoopDoesNotStart) {
  TApplication* app = TApplication::instance();
  QTimer::singleShot(0, [app] { app->terminate(1); });
  EXPECT_EQ(ShowMessageDialog("Attendere", mtInformation, {mbOK}), mrCancel);
  EXPECT_TRUE(app->terminated());
  QWidget window;
  EXPECT_EQ(app->run(window), 1);
  EXPECT_FALSE(window.isVisible());
  app->resumeAfterTermination();
  EXPECT_FALSE(TMessageForm::IsTerminating());
}

}  // namespace
}  // namespace velloria
