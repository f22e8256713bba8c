// TApplication: the application object over QApplication. It carries the program's
// title, ends the program on request (closing open message boxes with 2 first), and
// turns every failure that escapes an event handler into the failure display.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace velloria {

// The failure display's text: `message` with "." appended when its last character
// sorts after "." (so "Errore" gets a full stop, "Errore!" and "Errore." do not).
QString FailureText(const QString& message);

class TApplication : public QApplication {
  Q_OBJECT

 public:
  // The program's title; the custom message box kind and the failure display use it,
  // and the single-instance rule is keyed on it.
  static constexpr const char* kTitle = "Velloria";

  TApplication(int& argc, char** argv);

  static TApplication* instance() { return static_cast<TApplication*>(QCoreApplication::instance()); }

  QString title() const { return applicationName(); }

  // Asks the program to end: every open message box closes with 2, a box shown later
  // returns 2 at once, and the main loop ends (or does not start) with `exitCode`.
  void terminate(int exitCode = 0);
  bool terminated() const { return m_terminated; }
  // Test hook: withdraws a termination request, so that a test can start over in the
  // same process.
  void resumeAfterTerminationForTesting();

  // Shows `mainForm` and runs the main loop until it closes or terminate() is called;
  // returns the process exit code. Returns at once when termination is already requested.
  int run(QWidget& mainForm);

  // The failure display: a box titled with the application's title, stop icon (a warning
  // for a request the shell view refused, EShellError::Refusal), one OK button, text
  // FailureText(message). EAbort is not shown at all.
  void showException(const std::exception& failure);

  // Milliseconds a tooltip (hint) stays visible on widgets that set no time of their own.
  void setHintHidePause(int ms) { m_hintHidePause = ms; }
  int hintHidePause() const { return m_hintHidePause; }

  // Delivers every event (input, paint, timers, queued calls); a failure escaping a
  // handler is shown by the failure display and the program goes on.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  void applyHintHidePause(QObject* receiver, QEvent* event) const;

  bool m_terminated = false;
  bool m_inMainLoop = false;
  int m_exitCode = 0;
  int m_hintHidePause = -1;
};

}  // namespace velloria
