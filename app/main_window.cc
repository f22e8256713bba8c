// TfrmMain: the window's components and their wiring, the start-up steps and catalogue
// load run at its creation, and the inactivity timer with the events that restart it.
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
#include "app/catalogue.h"
#include "app/category_colours.h"
#include "app/document_commands.h"
#include "platform/abort.h"
#include "platform/fonts.h"
#include "platform/format_settings.h"
#include "shellview/document_list.h"
#include "ui/messagebox.h"
#include "xbase/xb_engine.h"

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

// A failed load of the engine library is shown in an error box, then the program ends.
void ShowEngineLoadFailure(const std::string& message) {
  ShowMessageDialog(QString::fromStdString(message), mtError, {mbOK});
  TApplication::instance()->terminate(1);
}

}  // namespace

TfrmMain::TfrmMain(const std::vector<std::string>& argv, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmMain"));
  createComponents();
  wireEvents();
  FormCreate(argv);
}

TfrmMain::~TfrmMain() {
  delete DBGrid;  // its data link refers to DSStampe, which goes before the child widgets
  DBGrid = nullptr;
}

void TfrmMain::createComponents() {
  setWindowTitle(QStringLiteral("Tarvolo - Gestione dei Documenti Microsoft Word"));
  setFont(WindowFont());
  setFixedSize(kClientWidth, kClientHeight);
  centreOnScreen();

  SLVDoc = CreateDocumentList(this);
  SLVDoc->setGeometry(kPanelWidth, 0, kClientWidth - kPanelWidth, kClientHeight);
  SLVDoc->setAccessibleName(QStringLiteral("Documenti della categoria"));
  createLeftPanel();
  createDataComponents();
  createPopupMenu();

  TChiudi = new QTimer(this);
  TChiudi->setObjectName(QStringLiteral("TChiudi"));
  TChiudi->setInterval(kInactivityIntervalMs);

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
  createCategoryGrid();

  BVisualizza = new QPushButton(QStringLiteral("Visualizza"), Panel1);
  BVisualizza->setObjectName(QStringLiteral("BVisualizza"));
  BVisualizza->setGeometry(9, 406, 83, 25);
  BVisualizza->setDefault(true);

  createLegend();
}

void TfrmMain::createCategoryGrid() {
  DBGrid = new TDBGrid(GroupBox1);
  DBGrid->setObjectName(QStringLiteral("DBGrid"));
  DBGrid->setGeometry(2, 15, 179, 383);
  DBGrid->SetOptions({dgTitles, dgColLines, dgRowLines, dgTabs, dgCancelOnExit});
  DBGrid->SetTitleFont(WindowFont());
  TColumn* column = DBGrid->Columns().Add();
  column->SetFieldName(QStringLiteral("DESCRIZIO"));
  column->Title().SetCaption(QStringLiteral("Categoria"));
  column->SetWidth(158);
}

void TfrmMain::createLegend() {
  Shape1 = new LegendSquare(kAccountingColor, Panel1);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setGeometry(105, 405, 12, 12);
  Shape1->setAccessibleName(QStringLiteral("Colore delle categorie Contabilità"));
  Label1 = new QLabel(QStringLiteral("Contabilità"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->move(123, 405);
  Label1->adjustSize();

  Shape2 = new LegendSquare(kTeachingColor, Panel1);
  Shape2->setObjectName(QStringLiteral("Shape2"));
  Shape2->setGeometry(105, 421, 12, 12);
  Shape2->setAccessibleName(QStringLiteral("Colore delle categorie Didattica"));
  Label2 = new QLabel(QStringLiteral("Didattica"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->move(123, 420);
  Label2->adjustSize();
}

// The engine environment (whose settings load the engine library), the category table
// and the data source that binds it to the grid.
void TfrmMain::createDataComponents() {
  xbase::SetEngineLoadFailureHandler(ShowEngineLoadFailure);
  XBaseEnv1 = std::make_unique<xbase::TXBaseEnv>();
  XBaseEnv1->SetApplyTo({.atLocal = true, .atServer = false});
  XBaseEnv1->SetDeleted(true);
  XBaseEnv1->SetEpoch(1910);
  XBaseEnv1->SetExact(true);
  XBaseEnv1->Loaded();

  TbArchivio = std::make_unique<xbase::TXbTable>("TbArchivio");
  TbArchivio->SetTableName("STAMPE.DBF");
  TbArchivio->SetTableType(xbase::TXBaseTableType::ttXBNTX);
  TbArchivio->SetExclusive(true);
  TbArchivio->SetSequenced(false);
  TbArchivio->SetOEMTranslate(false);

  DSStampe = std::make_unique<TDataSource>();
  DSStampe->SetDataSet(TbArchivio.get());
  DBGrid->SetDataSource(DSStampe.get());
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
  SLVDoc->SetPopupMenu(PopupMenu);
}

// The window definition's event table.
void TfrmMain::wireEvents() {
  DBGrid->OnCellClick = [this](TColumn*) { DBGridCellClick(); };
  DBGrid->OnDrawColumnCell = [](TDBGrid* grid, const QRect& rect, int, TColumn* column, TGridDrawState state) {
    DrawCategoryCell(*grid, rect, column, state);  // DBGridDrawColumnCell
  };
  DBGrid->OnKeyDown = [this](TDBGrid*, int&, Qt::KeyboardModifiers) { restartInactivityTimer(); };
  DBGrid->OnMouseMove = [this](TDBGrid*, Qt::KeyboardModifiers, int, int) { restartInactivityTimer(); };
  connect(BVisualizza, &QPushButton::clicked, this, &TfrmMain::BVisualizzaClick);
  SLVDoc->OnKeyDown = [this](TCustomShellListView*, int&, Qt::KeyboardModifiers) { restartInactivityTimer(); };
  SLVDoc->OnKeyUp = [this](TCustomShellListView*, int& key, Qt::KeyboardModifiers) { SLVDocKeyUp(key); };
  SLVDoc->OnMouseMove = [this](TCustomShellListView*, Qt::KeyboardModifiers, int, int) {
    restartInactivityTimer();
  };
  connect(Apri1, &QAction::triggered, this, &TfrmMain::Apri1Click);
  connect(Cancella1, &QAction::triggered, this, &TfrmMain::Cancella1Click);
  connect(Duplica1, &QAction::triggered, this, &TfrmMain::Duplica1Click);
  connect(TChiudi, &QTimer::timeout, this, &TfrmMain::TChiudiTimer);
  TbArchivio->BeforeDelete = [](TDataSet&) { throw EAbort(); };  // TbArchivioBeforeDelete
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
  LoadCatalogue(*TbArchivio, *SLVDoc, m_stampeFolder, m_arguments.categoryType);
}

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

void TfrmMain::BVisualizzaClick() { ShowCategoryDocuments(*TbArchivio, *SLVDoc, m_stampeFolder); }
void TfrmMain::DBGridCellClick() { ShowCategoryDocuments(*TbArchivio, *SLVDoc, m_stampeFolder); }
void TfrmMain::TChiudiTimer() { close(); }
void TfrmMain::Apri1Click() { OpenSelectedDocument(*SLVDoc); }
void TfrmMain::Cancella1Click() { DeleteSelectedDocument(*SLVDoc); }
void TfrmMain::Duplica1Click() { DuplicateSelectedDocument(*SLVDoc); }
void TfrmMain::SLVDocKeyUp(int key) { RenameToggleKeyUp(*SLVDoc, m_renameArmed, key); }

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
