// Program entry: one instance per user and display, the application object, the main
// window (whose creation runs the start-up steps) and the main loop.
#include <QTimer>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/later_start.h"
#include "app/main_window.h"
#include "platform/fonts.h"
#include "platform/format_settings.h"
#include "platform/single_instance.h"
#include "platform/translations.h"
#include "ui/accessible_factory.h"

namespace {

// Test hook: with VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING set, the program ends right after
// the main window's first paint, so that bench/startup can time start to first shown window.
class ExitAfterFirstPaint : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Kept before Qt removes the options it knows (-style, -platform, ...) from argv.
  const std::vector<std::string> arguments(argv, argv + argc);
  velloria::FontConfigurationPreload fontConfiguration;
  velloria::TApplication app(argc, argv);
  velloria::InstallTranslations();  // Qt's texts and the document list's in the system language
  velloria::InstallAccessibleFactory();  // screen readers see the grid's rows

  // A running instance comes forward and takes this start's arguments instead.
  velloria::SingleInstance instance(velloria::SingleInstance::DefaultName(app.title()));
  const std::vector<std::string> startArguments(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end());
  if (!instance.becomePrimary(velloria::EncodeOpenRequest(startArguments))) {
    return velloria::EndLaterStart(instance.answer());
  }

  fontConfiguration.wait();
  velloria::RegisterTahoma();
  velloria::LoadSystemFormatSettings();
  velloria::TfrmMain frmMain(arguments);
  QObject::connect(&instance, &velloria::SingleInstance::raiseRequested, &frmMain,
                   &velloria::TfrmMain::bringToFront);
  instance.setOpenHandler([&frmMain](const std::vector<std::string>& laterArguments) {
    return velloria::AnswerLaterStart(frmMain, laterArguments);
  });

  ExitAfterFirstPaint exitAfterFirstPaint;
  if (qEnvironmentVariableIsSet("VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING")) {
    frmMain.installEventFilter(&exitAfterFirstPaint);
  }
  return app.run(frmMain);
}
