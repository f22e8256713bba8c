// Baseline of the start-up benchmark: the least a Qt Widgets program does to show a
// window of the main window's size, ending after its first paint as velloria does
// with VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING.
#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace {

class EmptyWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override { QTimer::singleShot(0, qApp, &QCoreApplication::quit); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  EmptyWindow window;
  window.setFixedSize(721, 438);
  window.show();
  return app.exec();
}
