// TfrmMain: the window's components, the start-up steps run at its creation, and the
// inactivity timer with the events that restart it.
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/application.h"
#include "platform/fonts.h"
#include "platform/format_settings.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

constexpr int kClientWidth = 721;
constexpr int kClientHeight = 438;
constexpr int kPanelWidth = 185;
constexpr int kHintHidePauseMs = 6000;

// A 12 x 12 legend square: filled with its colour, a one-pixel black outline.
class LegendSquare : public QWidget {
 public:
  LegendSquare(const QColor& color, QWidget* parent) : QWidget(parent), m_color(color) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(m_color);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  QColor m_color;
};

// A sunken empty frame holding the place of a component that is not built yet.
QFrame* Placeholder(const char* name, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(QLatin1String(name));
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  frame->setFocusPolicy(Qt::StrongFocus);
  frame->setMouseTracking(true);
  return frame;
}

}  // namespace

TfrmMain::TfrmMain(const std::vector<std::string>& argv, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmMain"));
  createComponents();
  FormCreate(argv);
}

void TfrmMain::createComponents() {
  setWindowTitle(QStringLiteral("Tarvolo - Gestione dei Documenti Microsoft Word"));
  setFont(WindowFont());
  setFixedSize(kClientWidth, kClientHeight);
  centreOnScreen();

  // The document list (shell list view) goes here.
  SLVDoc = Placeholder("SLVDoc", this);
  SLVDoc->setGeometry(kPanelWidth, 0, kClientWidth - kPanelWidth, kClientHeight);
  SLVDoc->setContextMenuPolicy(Qt::CustomContextMenu);
  SLVDoc->installEventFilter(this);
  connect(SLVDoc, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { PopupMenu->popup(SLVDoc->mapToGlobal(pos)); });

  createLeftPanel();
  createPopupMenu();

  TChiudi = new QTimer(this);
  TChiudi->setInterval(kInactivityIntervalMs);
  connect(TChiudi, &QTimer::timeout, this, &TfrmMain::TChiudiTimer);

  SLVDoc->setFocus();
}

void TfrmMain::createLeftPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(0, 0, kPanelWidth, kClientHeight);

  GroupBox1 = new QGroupBox(QStringLiteral("Elenco delle Categorie di Modelli"), Panel1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(1, 1, 183, 400);

  // The category grid goes here.
  DBGrid = Placeholder("DBGrid", GroupBox1);
  DBGrid->setGeometry(2, 15, 179, 383);
  DBGrid->installEventFilter(this);

  BVisualizza = new QPushButton(QStringLiteral("Visualizza"), Panel1);
  BVisualizza->setObjectName(QStringLiteral("BVisualizza"));
  BVisualizza->setGeometry(9, 406, 83, 25);
  BVisualizza->setDefault(true);

  createLegend();
}

void TfrmMain::createLegend() {
  Shape1 = new LegendSquare(kAccountingColor, Panel1);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setGeometry(105, 405, 12, 12);
  Label1 = new QLabel(QStringLiteral("Contabilità"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(123, 405);
  Label1->adjustSize();

  Shape2 = new LegendSquare(kTeachingColor, Panel1);
  Shape2->setObjectName(QStringLiteral("Shape2"));
  Shape2->setGeometry(105, 421, 12, 12);
  Label2 = new QLabel(QStringLiteral("Didattica"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(123, 420);
  Label2->adjustSize();
}

void TfrmMain::createPopupMenu() {
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  QApplication::setEffectEnabled(Qt::UI_AnimateMenu);  // the menu unrolls from the top
  auto addItem = [this](const char* name, const QString& caption, QList<QKeySequence> keys) {
    QAction* action = PopupMenu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    SLVDoc->addAction(action);  // the shortcuts work while the document list has the focus
    return action;
  };
  Apri1 = addItem("Apri1", QStringLiteral("&Apri"),
                  {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  Cancella1 = addItem("Cancella1", QStringLiteral("&Cancella"), {QKeySequence(Qt::CTRL | Qt::Key_Delete)});
  Duplica1 = addItem("Duplica1", QStringLiteral("&Duplica"), {QKeySequence(Qt::CTRL | Qt::Key_D)});
}

void TfrmMain::centreOnScreen() {
  QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  move(screen.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
}

// The window's creation handler: the start-up steps inside their one guard. Any failure
// shows the general message and ends the program; its detail is not shown.
void TfrmMain::FormCreate(const std::vector<std::string>& argv) {
  try {
    runStartupSteps(argv);
  } catch (...) {
    m_startupFailed = true;
    ShowMessageDialog(QString::fromUtf8(kStartupFailureMessage), mtInformation, {mbOK});
    TApplication::instance()->terminate(1);
  }
}

void TfrmMain::runStartupSteps(const std::vector<std::string>& argv) {
  m_renameArmed = true;
  TApplication::instance()->setHintHidePause(kHintHidePauseMs);
  GlobalFormatSettings().currencyString.clear();
  GlobalFormatSettings().timeSeparator = ':';
  m_arguments = ParseArguments(argv);
  if (InactivityTimerArmedAtStart(m_arguments.callerCode, m_arguments.dataPath)) TChiudi->start();
  m_stampeFolder = DeriveStampeFolder(m_arguments.dataPath);
  setWindowTitle(QString::fromStdString(ComposeCaption(m_arguments.callerCode, ExecutableDateText())));
  LoadCatalogue();
}

// Opens the category table in the Stampe folder, refreshes which categories have a folder,
// shows the first one and filters the grid to the requested type. The table component
// and the document list it needs are not part of the program yet, so this does nothing.
void TfrmMain::LoadCatalogue() {}

void TfrmMain::bringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TfrmMain::restartInactivityTimer() {
  TChiudi->stop();
  TChiudi->start();
}

void TfrmMain::TChiudiTimer() { close(); }
void TfrmMain::SLVDocKeyDown() { restartInactivityTimer(); }
void TfrmMain::SLVDocMouseMove() { restartInactivityTimer(); }
void TfrmMain::DBGridKeyDown() { restartInactivityTimer(); }
void TfrmMain::DBGridMouseMove() { restartInactivityTimer(); }

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  bool key = event->type() == QEvent::KeyPress;
  bool mouse = event->type() == QEvent::MouseMove;
  if (watched == SLVDoc && key) SLVDocKeyDown();
  if (watched == SLVDoc && mouse) SLVDocMouseMove();
  if (watched == DBGrid && key) DBGridKeyDown();
  if (watched == DBGrid && mouse) DBGridMouseMove();
  return QWidget::eventFilter(watched, event);
}

// Enter that the focused control leaves unused presses the default button.
void TfrmMain::keyPressEvent(QKeyEvent* event) {
  bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  Qt::KeyboardModifiers mods =
      event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if (enter && mods == Qt::NoModifier) {
    BVisualizza->click();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace velloria
