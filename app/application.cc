// The application object: termination, the failure display, the hint time.
#include "app/application.h"

#include <QWidget>
#include <stdexcept>

#include "dataset/db.h"
#include "shellview/shell_errors.h"
#include "ui/messagebox.h"

namespace velloria {

QString FailureText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(kTitle));
  setQuitOnLastWindowClosed(true);
}

void TApplication::terminate(int exitCode) {
  m_terminated = true;
  m_exitCode = exitCode;
  TMessageForm::CloseAll(mrCancel);
  // Outside the main loop the flag is enough: run() checks it. Qt's exit() would also
  // make every later modal loop end at once.
  if (m_inMainLoop) exit(exitCode);
}

void TApplication::resumeAfterTerminationForTesting() {
  m_terminated = false;
  m_exitCode = 0;
  TMessageForm::ResumeAfterTerminationForTesting();
}

int TApplication::run(QWidget& mainForm) {
  if (m_terminated) return m_exitCode;
  mainForm.show();
  m_inMainLoop = true;
  int code = exec();
  m_inMainLoop = false;
  return m_terminated ? m_exitCode : code;
}

void TApplication::showException(const std::exception& failure) {
  if (dynamic_cast<const EAbort*>(&failure)) return;
  auto* shellError = dynamic_cast<const EShellError*>(&failure);
  TMsgDlgType kind = shellError && shellError->Refusal() ? mtWarning : mtError;
  auto form = BuildMessageDialog(FailureText(QString::fromUtf8(failure.what())), kind, {mbOK});
  form->setWindowTitle(title());
  ExecMessageForm(std::move(form));
}

void TApplication::applyHintHidePause(QObject* receiver, QEvent* event) const {
  if (event->type() != QEvent::ToolTip || m_hintHidePause < 0) return;
  auto* widget = qobject_cast<QWidget*>(receiver);
  if (widget && widget->toolTipDuration() < 0) widget->setToolTipDuration(m_hintHidePause);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    applyHintHidePause(receiver, event);
    return QApplication::notify(receiver, event);
  } catch (const std::exception& failure) {
    showException(failure);
  } catch (...) {
    showException(std::runtime_error("Unexpected failure"));
  }
  return true;
}

}  // namespace velloria
