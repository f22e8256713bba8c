// TfrmMain: the window's components and their wiring, the start-up steps and catalogue
// load run at its creation, and the inactivity timer with the events that restart it.
#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/category_chooser.h"
#include "app/category_colours.h"
#include "app/document_commands.h"
#include "app/document_search.h"
#include "app/filter_bar.h"
#include "app/search_results.h"
#include "app/shown_category.h"
#include "base/paths.h"
#include "dataset/db.h"
#include "platform/fonts.h"
#include "platform/format_settings.h"
#include "shellview/document_drag.h"
#include "shellview/document_list.h"
#include "shellview/shell_ids.h"
#include "ui/messagebox.h"
#include "xbase/xb_engine.h"

namespace velloria {
namespace {

constexpr int kClientWidth = 721;
constexpr int kClientHeight = 438;
constexpr int kHintHidePauseMs = 6000;

// The left panel's geometry at 96 dpi with Tahoma -11. A wider or taller font grows it
// from these figures (fitLayoutToFont); with Tahoma they stay as they are.
constexpr int kPanelWidth = 185;
constexpr int kGroupHeight = 400;
constexpr int kGridTop = 15;
constexpr int kColumnWidth = 158;
constexpr QRect kButtonRect(9, 406, 83, 25);
constexpr int kSquareLeft = 105;
constexpr int kButtonToSquare = kSquareLeft - kButtonRect.left() - kButtonRect.width();
constexpr int kSquareSize = 12;
constexpr int kSquareToLabel = 18;  // from a square's left edge to its label's
constexpr int kLegendTop = 405;
constexpr int kLabelPitch = 15;   // 405 and 420
constexpr int kSquarePitch = 16;  // 405 and 421
// Free room kept beside texts: after a legend label and the panel's frame, after the
// group box's caption, below the lowest control.
constexpr int kTextRoom = 4;
constexpr int kCaptionRoom = 8;
constexpr int kBottomRoom = 3;
// The idle note's distance from the document list's edges, and its text's from its frame.
constexpr int kNoteGap = 6;
constexpr int kNoteMargin = 4;
// Visualizza's focus frame: drawn in the highlight colour, so that the focus shows
// clearly on a button whose style marks it faintly.
constexpr const char* kFocusFrameStyle =
    "QPushButton:focus { border: 2px solid palette(highlight); border-radius: 3px;"
    " background-color: palette(button); }";

// A 12 x 12 legend square: filled with its colour, a one-pixel black outline.
class LegendSquare : public QWidget {
 public:
  LegendSquare(const QColor& color, QWidget* parent) : QWidget(parent), m_color(color) {}

 protected:
  // Filled rectangles rather than a stroked outline, so that the outline keeps all four
  // sides at fractional scale factors.
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), m_color);
  }

 private:
  QColor m_color;
};

// The frame a window manager is likely to put around the window, before it has one: a
// title bar and thin borders.
QMargins LikelyFrameMargins(const QStyle& style) {
  int border = style.pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
  return QMargins(border, style.pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border);
}

bool IsUserActivity(const QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
      return true;
    default:
      return false;
  }
}

// A failed load of the engine library is shown in an error box, then the program ends.
void ShowEngineLoadFailure(const std::string& message) {
  ShowMessageDialog(QString::fromStdString(message), mtError, {mbOK});
  TApplication::instance()->terminate(1);
}

}  // namespace

QRect FitClientToScreen(const QRect& available, const QMargins& frame, const QSize& wanted) {
  QRect room = available.marginsRemoved(frame);
  QSize size = wanted.boundedTo(room.size()).expandedTo(QSize(1, 1));
  QPoint topLeft = room.center() - QPoint(size.width() / 2, size.height() / 2);
  topLeft.setX(
      std::clamp(topLeft.x(), room.left(), std::max(room.left(), room.right() - size.width() + 1)));
  topLeft.setY(
      std::clamp(topLeft.y(), room.top(), std::max(room.top(), room.bottom() - size.height() + 1)));
  return QRect(topLeft, size);
}

TfrmMain::TfrmMain(const std::vector<std::string>& argv, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint) {
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
  fitFirstSizeToScreen(LikelyFrameMargins(*style()));

  SLVDoc = CreateDocumentList(this);
  createLeftPanel();
  m_shownCategory = std::make_unique<ShownCategory>(this, SLVDoc, DBGrid);
  createFilterBar();
  createSearch();
  fitLayoutToFont();
  createDataComponents();
  createPopupMenu();

  TChiudi = new QTimer(this);
  TChiudi->setObjectName(QStringLiteral("TChiudi"));
  TChiudi->setInterval(kInactivityIntervalMs);
  createIdleNote();

  SLVDoc->setFocus();
}

// The note before the idle close: a yellow banner over the foot of the document list,
// which leaves the window usable.
void TfrmMain::createIdleNote() {
  m_idleNoteTimer = new QTimer(this);
  m_idleNoteTimer->setObjectName(QStringLiteral("TAvviso"));
  m_idleNoteTimer->setSingleShot(true);
  m_idleNote = new QLabel(QString::fromUtf8(kIdleNoteText), this);
  m_idleNote->setObjectName(QStringLiteral("LblAvviso"));
  m_idleNote->setWordWrap(true);
  m_idleNote->setFrameStyle(QFrame::Box | QFrame::Plain);
  m_idleNote->setMargin(kNoteMargin);
  m_idleNote->setAutoFillBackground(true);
  m_idleNote->setBackgroundRole(QPalette::ToolTipBase);
  m_idleNote->setForegroundRole(QPalette::ToolTipText);
  m_idleNote->setAccessibleName(m_idleNote->text());
  m_idleNote->hide();
}

void TfrmMain::placeIdleNote() {
  QRect list = SLVDoc->geometry().adjusted(kNoteGap, kNoteGap, -kNoteGap, -kNoteGap);
  int height = std::min(m_idleNote->heightForWidth(list.width()), list.height());
  m_idleNote->setGeometry(list.left(), list.bottom() - height + 1, list.width(), height);
}

void TfrmMain::showIdleNote() {
  placeIdleNote();
  m_idleNote->show();
  m_idleNote->raise();
  qApp->installEventFilter(this);
}

void TfrmMain::hideIdleNote() {
  qApp->removeEventFilter(this);
  m_idleNote->hide();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (IsUserActivity(event) && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this) {
    restartInactivityTimer();
  }
  return QWidget::eventFilter(watched, event);
}

void TfrmMain::createLeftPanel() {
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setAccessibleName(QStringLiteral("Pannello delle categorie"));

  GroupBox1 = new QGroupBox(QStringLiteral("Elenco delle Categorie di Modelli"), Panel1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  createCategoryGrid();

  BVisualizza = new QPushButton(QStringLiteral("&Visualizza"), Panel1);  // Alt+V
  BVisualizza->setObjectName(QStringLiteral("BVisualizza"));
  BVisualizza->setDefault(true);
  BVisualizza->setStyleSheet(QString::fromLatin1(kFocusFrameStyle));

  createLegend();
}

void TfrmMain::createCategoryGrid() {
  DBGrid = new TDBGrid(GroupBox1);
  DBGrid->setObjectName(QStringLiteral("DBGrid"));
  DBGrid->SetOptions({dgTitles, dgColLines, dgRowLines, dgTabs, dgCancelOnExit});
  DBGrid->SetTitleFont(WindowFont());
  TColumn* column = DBGrid->Columns().Add();
  column->SetFieldName(QStringLiteral("DESCRIZIO"));
  column->Title().SetCaption(QStringLiteral("Categoria"));
}

void TfrmMain::createLegend() {
  Shape1 = new LegendSquare(kAccountingColor, Panel1);
  Shape1->setObjectName(QStringLiteral("Shape1"));
  Shape1->setAccessibleName(QStringLiteral("Colore delle categorie Contabilità"));
  Label1 = new QLabel(QStringLiteral("Contabilità"), Panel1);
  Label1->setObjectName(QStringLiteral("Label1"));

  Shape2 = new LegendSquare(kTeachingColor, Panel1);
  Shape2->setObjectName(QStringLiteral("Shape2"));
  Shape2->setAccessibleName(QStringLiteral("Colore delle categorie Didattica"));
  Label2 = new QLabel(QStringLiteral("Didattica"), Panel1);
  Label2->setObjectName(QStringLiteral("Label2"));
}

// Sizes the left panel's controls from the font in use. The panel widens (and the
// document list narrows) until the legend labels and the group box's caption fit; the
// grid starts below the caption; the button row moves up when its texts are taller.
void TfrmMain::fitLayoutToFont() {
  QSize button = BVisualizza->sizeHint().expandedTo(kButtonRect.size());
  int squareLeft = std::max(kSquareLeft, kButtonRect.left() + button.width() + kButtonToSquare);
  int panelWidth = std::max({kPanelWidth, legendWidthFrom(squareLeft) + kTextRoom,
                             groupCaptionWidth() + kCaptionRoom + 2});
  // A taller window lengthens the grid and moves the button row down with the bottom edge.
  int raise = bottomRowOverflow(button.height()) - (height() - kClientHeight);
  int groupHeight = kGroupHeight - raise;

  Panel1->setGeometry(0, 0, panelWidth, height());
  m_shownCategory->Place(m_filterBar->Place(QRect(panelWidth, 0, width() - panelWidth, height())));
  GroupBox1->setGeometry(1, 1, panelWidth - 2, groupHeight);
  int gridTop = std::max(kGridTop, groupCaptionRect().bottom() + 1);
  DBGrid->setGeometry(2, gridTop, GroupBox1->width() - 4, groupHeight - gridTop - 2);
  // The column follows the panel's width only when that changes, so that a window resized
  // by the user keeps the widths set by dragging.
  if (panelWidth != m_laidOutPanelWidth) {
    DBGrid->Columns()[0]->SetWidth(kColumnWidth + panelWidth - kPanelWidth);
    m_laidOutPanelWidth = panelWidth;
  }
  BVisualizza->setGeometry(QRect(kButtonRect.topLeft() - QPoint(0, raise), button));
  placeLegendRow(Shape1, Label1, 0, squareLeft, raise);
  placeLegendRow(Shape2, Label2, 1, squareLeft, raise);
}

// Panel width that the legend labels need, inside the panel's frame, with the squares at
// `squareLeft`.
int TfrmMain::legendWidthFrom(int squareLeft) const {
  int labelWidth = std::max(Label1->sizeHint().width(), Label2->sizeHint().width());
  return squareLeft + kSquareToLabel + labelWidth + Panel1->frameWidth();
}

QRect TfrmMain::groupCaptionRect() const {
  QStyleOptionGroupBox option;
  option.initFrom(GroupBox1);
  option.text = GroupBox1->title();
  option.textAlignment = GroupBox1->alignment();
  option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  return GroupBox1->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel,
                                            GroupBox1);
}

int TfrmMain::groupCaptionWidth() const { return groupCaptionRect().right() + 1; }

// How far the button and the legend must move up so that the lowest of them ends
// kBottomRoom above the panel's inner edge.
int TfrmMain::bottomRowOverflow(int buttonHeight) const {
  int labelHeight = legendLabelHeight();
  int legendBottom = kLegendTop + std::max(kLabelPitch, labelHeight + 2) + labelHeight;
  int lowest = std::max(legendBottom, kButtonRect.top() + buttonHeight);
  int limit = kClientHeight - Panel1->frameWidth() - kBottomRoom;
  return std::max(0, lowest - limit);
}

int TfrmMain::legendLabelHeight() const {
  return std::max(Label1->sizeHint().height(), Label2->sizeHint().height());
}

// Legend row `row` (0 or 1): the square centred on its label's line, the label beside it.
void TfrmMain::placeLegendRow(QWidget* square, QLabel* label, int row, int squareLeft, int raise) {
  int labelHeight = legendLabelHeight();
  int labelPitch = std::max(kLabelPitch, labelHeight + 2);
  int squarePitch = labelPitch + kSquarePitch - kLabelPitch;
  int centring = std::max(0, (labelHeight - kSquareSize) / 2);
  square->setGeometry(squareLeft, kLegendTop + row * squarePitch + centring - raise, kSquareSize,
                      kSquareSize);
  label->setGeometry(QRect(QPoint(squareLeft + kSquareToLabel, kLegendTop + row * labelPitch - raise),
                           label->sizeHint()));
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (Panel1 != nullptr) fitLayoutToFont();
  if (m_idleNote != nullptr && m_idleNote->isVisible()) placeIdleNote();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  SLVDoc->AbandonLabelEdit();
  QWidget::closeEvent(event);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (m_shownOnce) return;
  m_shownOnce = true;
  QTimer::singleShot(0, this, &TfrmMain::keepFrameOnScreen);
}

void TfrmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::FontChange && Panel1 != nullptr) fitLayoutToFont();
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
  TbArchivio->SetExclusive(false);  // every workstation of the office opens it
  TbArchivio->SetSequenced(false);
  TbArchivio->SetOEMTranslate(false);

  DSStampe = std::make_unique<TDataSource>();
  DSStampe->SetDataSet(TbArchivio.get());
  DBGrid->SetDataSource(DSStampe.get());
}

void TfrmMain::createPopupMenu() {
  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  PopupMenu->setAccessibleName(QStringLiteral("Comandi del documento"));
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
  CopiaIn1 = addItem("CopiaIn1", QStringLiteral("Co&pia in…"), {});
  SpostaIn1 = addItem("SpostaIn1", QStringLiteral("&Sposta in…"), {});
  Rinomina1 = addItem("Rinomina1", QStringLiteral("&Rinomina"), {QKeySequence(Qt::Key_F2)});
  PopupMenu->addSeparator();
  Annulla1 = addItem("Annulla1", QStringLiteral("A&nnulla"), {QKeySequence(Qt::CTRL | Qt::Key_Z)});
  SLVDoc->SetPopupMenu(PopupMenu);
}

// The filter field above the document list; Ctrl+F reaches it from anywhere in the window,
// and typing in it counts as activity for the idle close.
void TfrmMain::createFilterBar() {
  m_filterBar = new FilterBar(this, SLVDoc);
  auto* focusFilter = new QAction(this);
  focusFilter->setObjectName(QStringLiteral("FiltraDocumenti"));
  focusFilter->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  focusFilter->setShortcutContext(Qt::WindowShortcut);
  addAction(focusFilter);
  connect(focusFilter, &QAction::triggered, m_filterBar, &FilterBar::Focus);
  connect(m_filterBar->Field(), &QLineEdit::textEdited, this, &TfrmMain::restartInactivityTimer);
}

// "Cerca in tutte le categorie": the button beside the filter field and Ctrl+Shift+F search
// every category folder of the shown type for the filter's text.
void TfrmMain::createSearch() {
  m_searchResults = new SearchResults(this);
  m_searchResults->OnChosen = [this](const SearchFolder& folder, const std::string& path) {
    Guarded([&] { showFound(folder, path); });
  };
  auto* searchAll = new QAction(this);
  searchAll->setObjectName(QStringLiteral("CercaOvunque"));
  searchAll->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  searchAll->setShortcutContext(Qt::WindowShortcut);
  addAction(searchAll);
  connect(searchAll, &QAction::triggered, this, &TfrmMain::startSearch);
  connect(m_filterBar->SearchButton(), &QToolButton::clicked, this, &TfrmMain::startSearch);
}

// Without a text to look for, the filter field takes the focus to have one typed.
void TfrmMain::startSearch() {
  QString text = m_filterBar->Field()->text().trimmed();
  if (text.isEmpty()) return m_filterBar->Focus();
  m_searchResults->Run(CategoryFoldersToSearch(*TbArchivio, m_stampeFolder), text);
}

// A document found: its category is shown, then the sub-folder holding it, with the
// document selected and the list given the focus.
void TfrmMain::showFound(const SearchFolder& folder, const std::string& path) {
  TbArchivio->SetRecNo(folder.recNo);
  m_shownCategory->ShowCurrent(*TbArchivio, m_stampeFolder);
  std::string parent = path.substr(0, path.rfind('/'));
  if (SLVDoc->RootShellFolder() && SLVDoc->RootShellFolder()->FileSystemPath() != parent) {
    PItemIDList id = nullptr;
    if (shell::DesktopFolder()->ParseDisplayName(parent, &id) == shell::Status::kOk && id) {
      IDListHolder holder(id);
      SLVDoc->OpenFolderID(id);
    }
  }
  SLVDoc->SelectItemAt(path);
  activateWindow();
  SLVDoc->setFocus();
}

// The window definition's event table.
void TfrmMain::wireEvents() {
  DBGrid->OnCellClick = [this](TColumn*) { DBGridCellClick(); };
  DBGrid->OnDrawColumnCell = [this](TDBGrid* grid, const QRect& rect, int, TColumn* column, TGridDrawState state) {
    bool shown = m_shownCategory->IsShownRecord(*TbArchivio);
    DrawCategoryCell(*grid, rect, column, state, shown);  // DBGridDrawColumnCell
  };
  DBGrid->OnRowDescription = [this](TDBGrid*) {
    QString words = CategoryTypeName(TbArchivio->FieldByName("TIPO").AsInteger());
    if (m_shownCategory->IsShownRecord(*TbArchivio)) words += QStringLiteral(", categoria mostrata");
    return words;
  };
  DBGrid->OnKeyDown = [this](TDBGrid*, int& key, Qt::KeyboardModifiers) {
    restartInactivityTimer();
    if (key != Qt::Key_F5) return;
    RereadCatalogue(*TbArchivio, m_stampeFolder, m_arguments.categoryType);
    key = 0;
  };
  DBGrid->OnMouseMove = [this](TDBGrid*, Qt::KeyboardModifiers, int, int) { restartInactivityTimer(); };
  // A document dragged from the list onto a category: moved there, or copied with Ctrl.
  // Dragging counts as activity for the idle close.
  DBGrid->SetDropFormat(QString::fromLatin1(kDocumentPathFormat));
  DBGrid->AcceptsDrop = [this](TDBGrid*, int, const QMimeData* data) {
    restartInactivityTimer();
    return acceptsDropOnActiveCategory(*data);
  };
  DBGrid->OnDropOnRow = [this](TDBGrid*, int, const QMimeData* data, Qt::DropAction action) {
    restartInactivityTimer();
    dropOnActiveCategory(*data, action);
  };
  SLVDoc->OnStartDrag = [this](TCustomShellListView*) { restartInactivityTimer(); };
  SLVDoc->OnEndDrag = [this](TCustomShellListView*) { restartInactivityTimer(); };
  connect(BVisualizza, &QPushButton::clicked, this, &TfrmMain::BVisualizzaClick);
  SLVDoc->OnKeyDown = [this](TCustomShellListView*, int&, Qt::KeyboardModifiers) { restartInactivityTimer(); };
  SLVDoc->OnKeyUp = [this](TCustomShellListView*, int& key, Qt::KeyboardModifiers) { SLVDocKeyUp(key); };
  SLVDoc->OnMouseMove = [this](TCustomShellListView*, Qt::KeyboardModifiers, int, int) {
    restartInactivityTimer();
  };
  connect(Apri1, &QAction::triggered, this, &TfrmMain::Apri1Click);
  connect(Cancella1, &QAction::triggered, this, &TfrmMain::Cancella1Click);
  connect(Duplica1, &QAction::triggered, this, &TfrmMain::Duplica1Click);
  connect(Rinomina1, &QAction::triggered, SLVDoc, &TCustomShellListView::RenameSelectedItem);
  connect(Annulla1, &QAction::triggered, this, &TfrmMain::Annulla1Click);
  connect(CopiaIn1, &QAction::triggered, this, [this] { TransferClick(TransferKind::kCopy); });
  connect(SpostaIn1, &QAction::triggered, this, [this] { TransferClick(TransferKind::kMove); });
  // The menu names what Annulla would take back, greyed when nothing; Ctrl+Z stays on.
  // Copia in and Sposta in act on a selected document, not on a folder.
  connect(PopupMenu, &QMenu::aboutToShow, this, [this] {
    Annulla1->setText(UndoCaption(*SLVDoc));
    Annulla1->setEnabled(!CommandHistory::Of(*SLVDoc).empty());
    bool document = !selectedDocument().empty();
    CopiaIn1->setEnabled(document);
    SpostaIn1->setEnabled(document);
  });
  connect(PopupMenu, &QMenu::aboutToHide, this, [this] { Annulla1->setEnabled(true); });
  SLVDoc->OnRenamed = [](TCustomShellListView* list, const std::string& from,
                         const std::string& to) {
    CommandHistory::Of(*list).RecordRename(from, to);
  };
  SLVDoc->OnExtensionChange = [](TCustomShellListView*, const QString&, const QString&) {
    return ShowMessageDialog(QStringLiteral("Se si modifica l'estensione, il file potrebbe diventare "
                                            "inutilizzabile. Continuare?"),
                             mtConfirmation, {mbYes, mbNo}) == mrYes;
  };
  SLVDoc->OnLeadingBlanksRemoved = [](TCustomShellListView*, const QString& name) {
    ShowMessageDialog(QString::fromUtf8(kLeadingBlanksRemovedMessage).arg(name), mtInformation,
                      {mbOK});
  };
  SLVDoc->OnForeignLock = AskToActDespiteForeignLock;
  connect(TChiudi, &QTimer::timeout, this, &TfrmMain::TChiudiTimer);
  connect(m_idleNoteTimer, &QTimer::timeout, this, &TfrmMain::showIdleNote);
  TbArchivio->BeforeDelete = [](TDataSet&) { throw EAbort(); };  // TbArchivioBeforeDelete
}

// The window opens 721 x 438, or as much of it as the screen's free area holds with the
// window's frame (a large scale factor leaves fewer pixels), centred there and wholly on
// it, title bar included; it may grow, not shrink, from that first size.
void TfrmMain::fitFirstSizeToScreen(const QMargins& frame) {
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  QRect client = FitClientToScreen(available, frame, QSize(kClientWidth, kClientHeight));
  setMinimumSize(client.size());
  resize(client.size());
  move(client.topLeft() - QPoint(frame.left(), frame.top()));  // move() places the frame
}

// The frame guessed before the first show may differ from the one the window manager
// gave: a window still at its first size that the real frame pushes past the free area
// is fitted again.
void TfrmMain::keepFrameOnScreen() {
  QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  if (size() != minimumSize() || isMaximized() || isFullScreen() ||
      available.contains(frameGeometry()))
    return;
  QMargins frame(
      geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
      frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
  fitFirstSizeToScreen(frame);
}

// The window's creation handler: the start-up steps inside their one guard. Any failure
// shows the general message and ends the program; the detail says only which file another
// program holds exclusively, as the one failure the user can do something about.
void TfrmMain::FormCreate(const std::vector<std::string>& argv) {
  try {
    runStartupSteps(argv);
  } catch (const xbase::EXBaseTableInUse& inUse) {
    failStartup(QString::fromStdString(TableInUseDetail(inUse.file())));
  } catch (...) {
    failStartup({});
  }
}

void TfrmMain::failStartup(const QString& detail) {
  m_startupFailed = true;
  ShowMessageDialogWithDetail(QString::fromUtf8(kStartupFailureMessage), detail, mtError, {mbOK});
  TApplication::instance()->terminate(1);
}

void TfrmMain::runStartupSteps(const std::vector<std::string>& argv) {
  TApplication::instance()->setHintHidePause(kHintHidePauseMs);
  GlobalFormatSettings().currencyString.clear();
  GlobalFormatSettings().timeSeparator = ':';
  m_arguments = ParseArguments(argv);
  armInactivityTimerForCaller();
  m_stampeFolder = DeriveStampeFolder(m_arguments.dataPath);
  setWindowTitle(QString::fromStdString(ComposeCaption(m_arguments.callerCode, ExecutableDateText())));
  TCatalogueLoad load = LoadCatalogue(*TbArchivio, *SLVDoc, m_stampeFolder, m_arguments.categoryType,
                                      [](const std::string& file) {
                                        QString text = QString::fromStdString(TableInUseQuestion(file));
                                        return ShowMessageDialog(text, mtWarning, {mbRetry, mbCancel}) == mrRetry;
                                      });
  if (load.stampeFolderMissing) {
    ShowMessageDialog(QString::fromStdString(MissingStampeFolderMessage(m_stampeFolder)), mtError, {mbOK});
    TApplication::instance()->terminate(1);
    return;
  }
  if (load.firstFolderInvalid) ShowMessageDialog(QString::fromUtf8(kInvalidFolderMessage), mtInformation, {mbOK});
  m_shownCategory->AdoptCatalogueChoice(*TbArchivio);
  QTimer::singleShot(0, this, &TfrmMain::warnAboutShare);
}

// A mount that keeps locks on this machine or caches others' changes is told once, in a box
// that leaves the window usable.
void TfrmMain::warnAboutShare() {
  std::string warning = ShareRiskWarning(TbArchivio->MountRisks(), TbArchivio->WriteRefusal());
  if (warning.empty()) return;
  ShowModelessMessage(QString::fromStdString(warning), mtWarning);
}

void TfrmMain::bringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void TfrmMain::takeLaterStart(const StartupArguments& arguments) {
  const bool newType = arguments.categoryType != m_arguments.categoryType;
  m_arguments = arguments;
  setWindowTitle(QString::fromStdString(ComposeCaption(m_arguments.callerCode, ExecutableDateText())));
  armInactivityTimerForCaller();
  if (!newType) return;
  ShowCategoryType(*TbArchivio, *SLVDoc, m_stampeFolder, m_arguments.categoryType);
  m_shownCategory->AdoptCatalogueChoice(*TbArchivio);
}

// The idle close runs from now for the caller codes and marker file that ask for it, and
// not at all for the others.
void TfrmMain::armInactivityTimerForCaller() {
  m_idleCloseArmed = InactivityTimerArmedAtStart(m_arguments.callerCode, m_arguments.dataPath);
  if (m_idleCloseArmed) {
    restartInactivityTimer();
  } else {
    TChiudi->stop();
    m_idleNoteTimer->stop();
    hideIdleNote();
  }
}

// Activity restarts the idle close only for a start that armed it: any other caller's
// window stays open however long it is idle. The note shows kIdleNoteLeadMs before the
// close and goes with the next activity.
void TfrmMain::restartInactivityTimer() {
  if (!m_idleCloseArmed) return;
  TChiudi->start();
  m_idleNoteTimer->start(std::max(0, TChiudi->interval() - kIdleNoteLeadMs));
  if (m_idleNote->isVisible()) hideIdleNote();
}

void TfrmMain::BVisualizzaClick() { m_shownCategory->ShowCurrent(*TbArchivio, m_stampeFolder); }
void TfrmMain::DBGridCellClick() { m_shownCategory->ShowCurrent(*TbArchivio, m_stampeFolder); }
// The idle close ends the program: an open name editor is dropped (nothing renamed),
// every open box ends as by its close box (2, so no command goes on), then the window
// closes.
void TfrmMain::TChiudiTimer() {
  hideIdleNote();
  SLVDoc->AbandonLabelEdit();
  TApplication::instance()->terminate(0);
  close();
}
void TfrmMain::Apri1Click() { OpenSelectedDocument(*SLVDoc); }
void TfrmMain::Cancella1Click() { DeleteSelectedDocument(*SLVDoc); }
void TfrmMain::Duplica1Click() { DuplicateSelectedDocument(*SLVDoc); }
void TfrmMain::Annulla1Click() { UndoLastDocumentCommand(*SLVDoc); }
void TfrmMain::SLVDocKeyUp(int key) { RenameToggleKeyUp(*SLVDoc, key); }

// "Copia in…" and "Sposta in…": the chooser names the category, then the document goes
// into its folder. The time spent choosing does not count towards the idle close.
void TfrmMain::TransferClick(TransferKind kind) {
  std::string document = selectedDocument();
  if (document.empty()) return;
  restartInactivityTimer();
  std::optional<std::string> folder = ChooseCategoryFolder(
      this, kind, CategoryFoldersToSearch(*TbArchivio, m_stampeFolder), document);
  restartInactivityTimer();
  if (folder) transferDocument(document, *folder, kind);
}

// The selected document with the lowest row; "" when none is selected or that row is a
// folder.
std::string TfrmMain::selectedDocument() const {
  TShellFolder* item = SLVDoc->SelectedShellFolder();
  return item != nullptr && !item->IsContainer() ? SelectedDocumentFile(*SLVDoc) : std::string();
}

// The folder of the category whose record is active (the grid makes a row's record
// active while it asks), as CategoryFoldersToSearch finds it, its letter case resolved;
// "" when its DIR names no folder inside the Stampe folder.
std::string TfrmMain::activeCategoryFolder() const {
  std::string dir = CategoryDir(TbArchivio->FieldByName("DIR").AsString());
  if (dir.empty() || !StaysInsideStampeFolder(dir)) return {};
  return CategoryFolderPath(m_stampeFolder, dir);
}

// A document dragged from the list drops on any category but the one whose folder holds
// it, where a move would change nothing.
bool TfrmMain::acceptsDropOnActiveCategory(const QMimeData& data) const {
  std::string document = DraggedDocumentPath(data);
  std::string folder = activeCategoryFolder();
  return !document.empty() && !folder.empty() && !SameFolder(folder, paths::FolderPart(document));
}

// The transfer runs once the drop is over: it may ask or report in a box, which must not
// open inside the drag.
void TfrmMain::dropOnActiveCategory(const QMimeData& data, Qt::DropAction action) {
  std::string document = DraggedDocumentPath(data);
  std::string folder = activeCategoryFolder();
  TransferKind kind = action == Qt::CopyAction ? TransferKind::kCopy : TransferKind::kMove;
  QMetaObject::invokeMethod(
      this,
      [this, document, folder, kind] {
        Guarded([&] { transferDocument(document, folder, kind); });
      },
      Qt::QueuedConnection);
}

// Only a document of the folder the list shows is transferred: the list may have shown
// another folder since the drag began.
void TfrmMain::transferDocument(const std::string& document, const std::string& folder,
                                TransferKind kind) {
  TShellFolder* shown = SLVDoc->RootShellFolder();
  if (shown == nullptr ||
      paths::FolderPart(document) != paths::WithTrailingSeparator(shown->FileSystemPath())) {
    return;
  }
  TransferDocumentCommand(*SLVDoc, document, folder, kind);
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
