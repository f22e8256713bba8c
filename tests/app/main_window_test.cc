// Tests of the main window: its frame and fixed components, the start-up steps run at
// its creation (caption, inactivity timer, the guard), and the inactivity timer's wiring.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "app/application.h"
#include "app/category_chooser.h"
#include "app/category_colours.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dir.isValid());
    QDir(m_dir.path()).mkpath("DATI/FG/AGENZIA");
    QDir(m_dir.path()).mkpath("Stampe/CONTAB");
    testing::TempOffice::writeFile(m_dir.path() + "/Stampe/STAMPE.DBF",
                                   testing::StampeTableBytes({{"Contabilità", "CONTAB", 1}}));
    RegisterTahoma();
  }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }
  std::string dataPath() const { return m_dir.path().toStdString() + "/DATI/"; }
  void makeMarker() {
    QFile marker(m_dir.path() + "/DATI/FG/AGENZIA/PrevCors.DBF");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
  }
  std::unique_ptr<TfrmMain> create(const char* type, const char* code) {
    return std::make_unique<TfrmMain>(std::vector<std::string>{"velloria", type, code, dataPath(), ""});
  }
  // A document in the category folder CONTAB; its path.
  QString addDocument(const QString& name, const QByteArray& bytes = {}) const {
    QString path = m_dir.path() + "/Stampe/CONTAB/" + name;
    testing::TempOffice::writeFile(path, bytes);
    return path;
  }
  template <typename T>
  static T* child(QWidget* window, const char* name) {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // The right side of a window `size` large: the filter field and its search button above
  // the document list, the category line and Su below it, the list taking the rest; the
  // left panel keeps its width and takes the height.
  static void expectRightSide(QWidget* form, QSize size) {
    int lineHeight = QFontMetrics(form->font()).height() + 3;
    int filterHeight = child<QLineEdit>(form, "EdFiltro")->sizeHint().height();
    int search = child<QWidget>(form, "BCerca")->width();
    int up = child<QWidget>(form, "BSu")->width();
    int listWidth = size.width() - 185;
    int bottom = size.height() - lineHeight;
    EXPECT_EQ(child<QWidget>(form, "EdFiltro")->geometry(), QRect(185, 0, listWidth - search, filterHeight));
    EXPECT_EQ(child<QWidget>(form, "BCerca")->geometry(), QRect(size.width() - search, 0, search, filterHeight));
    EXPECT_EQ(child<QWidget>(form, "SLVDoc")->geometry(), QRect(185, filterHeight, listWidth, bottom - filterHeight));
    EXPECT_EQ(child<QWidget>(form, "LblCategoria")->geometry(), QRect(185, bottom, listWidth - up, lineHeight));
    EXPECT_EQ(child<QWidget>(form, "BSu")->geometry(), QRect(size.width() - up, bottom, up, lineHeight));
    EXPECT_EQ(child<QWidget>(form, "Panel1")->geometry(), QRect(0, 0, 185, size.height()));
  }
  // A mouse movement over `widget`, which the idle close counts as activity or not.
  static void moveMouseOver(QWidget* widget) {
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
  }
  // Runs the idle close at once; true when the window closed within a second.
  static bool closesWhenIdle(TfrmMain& form) {
    form.inactivityTimerForTesting()->start(1);
    return testing::WaitFor([&form] { return !form.isVisible(); }, 1000);
  }
  QTemporaryDir m_dir;
};

std::string LayoutFaults(QWidget* form);

TEST_F(MainWindow, FrameOpensAtItsFirstSizeWithTahomaFontAndCanOnlyGrow) {
  auto form = create("1", "5");
  EXPECT_EQ(form->size(), QSize(721, 438));
  EXPECT_EQ(form->minimumSize(), QSize(721, 438));
  EXPECT_GT(form->maximumWidth(), 721);
  EXPECT_GT(form->maximumHeight(), 438);
  Qt::WindowFlags flags = form->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form->font().family(), "Tahoma");
  EXPECT_EQ(form->font().pixelSize(), 11);
}

// A larger window gives its room to the document list; the left panel keeps its width,
// its grid lengthens and the button row stays at the bottom edge.
TEST_F(MainWindow, EnlargedWindowGivesTheRoomToTheDocumentList) {
  auto form = create("1", "5");
  form->show();
  form->resize(1000, 700);
  QCoreApplication::processEvents();
  ASSERT_EQ(form->size(), QSize(1000, 700));
  expectRightSide(form.get(), QSize(1000, 700));
  EXPECT_EQ(child<QWidget>(form.get(), "GroupBox1")->geometry(), QRect(1, 1, 183, 662));
  EXPECT_EQ(child<QWidget>(form.get(), "BVisualizza")->geometry(), QRect(9, 668, 83, 25));
  EXPECT_EQ(child<QWidget>(form.get(), "Label2")->pos(), QPoint(123, 682));
  EXPECT_EQ(LayoutFaults(form.get()), "");
}

TEST_F(MainWindow, ComponentsSitWhereTheWindowDefinitionPutsThem) {
  auto form = create("1", "5");
  expectRightSide(form.get(), QSize(721, 438));
  auto* group = child<QGroupBox>(form.get(), "GroupBox1");
  EXPECT_EQ(group->geometry(), QRect(1, 1, 183, 400));
  EXPECT_EQ(group->title(), "Elenco delle Categorie di Modelli");
  EXPECT_EQ(child<QWidget>(group, "DBGrid")->geometry(), QRect(2, 15, 179, 383));
  auto* button = child<QPushButton>(form.get(), "BVisualizza");
  EXPECT_EQ(button->geometry(), QRect(9, 406, 83, 25));
  EXPECT_EQ(button->text(), "&Visualizza");
  EXPECT_EQ(child<QWidget>(form.get(), "Shape1")->geometry(), QRect(105, 405, 12, 12));
  EXPECT_EQ(child<QWidget>(form.get(), "Shape2")->geometry(), QRect(105, 421, 12, 12));
  EXPECT_EQ(child<QLabel>(form.get(), "Label1")->text(), "Contabilità");
  EXPECT_EQ(child<QLabel>(form.get(), "Label2")->text(), "Didattica");
  EXPECT_EQ(child<QLabel>(form.get(), "Label2")->pos(), QPoint(123, 420));
}

// Texts of the left panel that do not fit their controls, and sibling controls that
// overlap or leave their parent, in the window's current font; empty when all is sound.
// Hidden controls (the idle note, shown over the list only before the idle close) do not
// count.
std::string LayoutFaults(QWidget* form) {
  QStringList faults;
  auto fits = [&](QWidget* widget, int needed, int room) {
    if (needed > room) faults << QString("%1 needs %2 of %3").arg(widget->objectName()).arg(needed).arg(room);
  };
  auto* group = form->findChild<QGroupBox*>("GroupBox1");
  QStyleOptionGroupBox option;
  option.initFrom(group);
  option.text = group->title();
  option.subControls = QStyle::SC_GroupBoxLabel;
  QRect caption = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
  fits(group, caption.width(), group->width());
  fits(group, caption.bottom() + 1, form->findChild<QWidget*>("DBGrid")->y());
  for (QLabel* label : form->findChildren<QLabel*>()) {
    if (label->isHidden()) continue;
    fits(label, label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    fits(label, label->fontMetrics().height(), label->contentsRect().height());
  }
  auto* filter = form->findChild<QLineEdit*>("EdFiltro");
  fits(filter, filter->fontMetrics().horizontalAdvance(filter->placeholderText()), filter->width());
  fits(filter, filter->sizeHint().height(), filter->height());
  auto* search = form->findChild<QToolButton*>("BCerca");
  fits(search, search->sizeHint().width(), search->width());
  auto* button = form->findChild<QPushButton*>("BVisualizza");
  fits(button, button->sizeHint().width(), button->width());
  fits(button, button->sizeHint().height(), button->height());

  for (QWidget* parent : {form, form->findChild<QWidget*>("Panel1"), static_cast<QWidget*>(group)}) {
    QList<QWidget*> children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    children.removeIf([](QWidget* w) { return w->isWindow() || w->isHidden(); });
    QRect inside = parent == form ? form->rect() : parent->contentsRect();
    for (int i = 0; i < children.size(); ++i) {
      if (parent != group && !inside.contains(children[i]->geometry())) {
        faults << children[i]->objectName() + " leaves " + parent->objectName();
      }
      for (int j = i + 1; j < children.size(); ++j) {
        if (children[i]->geometry().intersects(children[j]->geometry())) {
          faults << children[i]->objectName() + " overlaps " + children[j]->objectName();
        }
      }
    }
  }
  return faults.join("; ").toStdString();
}

TEST_F(MainWindow, WiderAndTallerFontsWidenThePanelSoThatNoTextClips) {
  auto form = create("1", "5");
  EXPECT_EQ(LayoutFaults(form.get()), "");
  for (int pixels : {11, 15, 18}) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixels);
    ASSERT_EQ(QFontInfo(font).family(), "DejaVu Sans");
    form->setFont(font);
    EXPECT_EQ(LayoutFaults(form.get()), "") << pixels << " px";
    QWidget* panel = form->findChild<QWidget*>("Panel1");
    EXPECT_GT(panel->width(), 185) << pixels << " px";
    int lineHeight = form->findChild<QWidget*>("LblCategoria")->height();
    int filterHeight = form->findChild<QWidget*>("EdFiltro")->height();
    EXPECT_GE(filterHeight, QFontMetrics(font).height()) << pixels << " px";
    EXPECT_EQ(
        form->documentList()->geometry(),
        QRect(panel->width(), filterHeight, 721 - panel->width(), 438 - lineHeight - filterHeight));
    EXPECT_EQ(form->size(), QSize(721, 438));
    EXPECT_GE(form->categoryGrid()->DataRowHeight(), QFontMetrics(font).height()) << pixels << " px";
  }
  form->setFont(WindowFont());
  EXPECT_EQ(form->findChild<QWidget*>("Label1")->geometry(), QRect(123, 405, 52, 11));
  EXPECT_EQ(form->findChild<QWidget*>("DBGrid")->geometry(), QRect(2, 15, 179, 383));
}

// Without fonts-wine "Tahoma" resolves to the system's sans-serif font, which is wider.
TEST_F(MainWindow, FallbackForAMissingTahomaFitsFromTheStart) {
  QFontDatabase::removeAllApplicationFonts();
  auto form = create("1", "5");
  bool fallback = QFontInfo(form->font()).family() != "Tahoma";
  EXPECT_EQ(LayoutFaults(form.get()), "");
  form.reset();
  RegisterTahoma();
  if (!fallback) GTEST_SKIP() << "a Tahoma is installed system-wide";
}

TEST_F(MainWindow, LegendSquaresAreFilledWithTheTypeColours) {
  auto form = create("1", "5");
  QImage sky = child<QWidget>(form.get(), "Shape1")->grab().toImage();
  QImage green = child<QWidget>(form.get(), "Shape2")->grab().toImage();
  EXPECT_EQ(sky.pixelColor(6, 6), kAccountingColor);
  EXPECT_EQ(green.pixelColor(6, 6), kTeachingColor);
  EXPECT_EQ(sky.pixelColor(0, 0), QColor(Qt::black));
}

TEST_F(MainWindow, CreationComposesTheCaptionAndDerivesTheStampeFolder) {
  auto form = create("2", "12");
  EXPECT_FALSE(form->startupFailed());
  EXPECT_EQ(form->windowTitle().toStdString(), ComposeCaption(12, ExecutableDateText()));
  EXPECT_TRUE(form->windowTitle().endsWith(") "));
  EXPECT_EQ(form->stampeFolder(), m_dir.path().toStdString() + "/Stampe");
  EXPECT_EQ(form->arguments().categoryType, 2);
  EXPECT_TRUE(form->renameArmed());
}

TEST_F(MainWindow, InactivityTimerRunsFromTheStartOnlyForCode14WithTheMarker) {
  EXPECT_FALSE(create("1", "14")->inactivityTimerForTesting()->isActive());
  makeMarker();
  {
    auto armed = create("1", "14");
    EXPECT_TRUE(armed->inactivityTimerForTesting()->isActive());
    EXPECT_EQ(armed->inactivityTimerForTesting()->interval(), 60000);
  }
  EXPECT_FALSE(create("1", "13")->inactivityTimerForTesting()->isActive());
}

TEST_F(MainWindow, MouseOverTheListsRestartsTheTimerButNotOverTheLegend) {
  makeMarker();
  auto form = create("1", "14");
  QTimer* timer = form->inactivityTimerForTesting();
  timer->stop();
  moveMouseOver(form->findChild<QWidget*>("Label1"));
  moveMouseOver(form->findChild<QWidget*>("Panel1"));
  EXPECT_FALSE(timer->isActive());
  moveMouseOver(form->documentList()->viewport());
  EXPECT_TRUE(timer->isActive());
  timer->stop();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(form->findChild<QWidget*>("DBGrid"), &key);
  EXPECT_TRUE(timer->isActive());
}

// A caller that did not ask for the idle close (another code, or no marker file) keeps
// its window open whatever the user does over the lists.
TEST_F(MainWindow, ActivityNeverArmsTheTimerOfAStartThatDidNotArmIt) {
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  for (const char* code : {"14", "5"}) {  // code 14 without the marker file, then code 5 with it
    auto form = create("1", code);
    moveMouseOver(form->documentList()->viewport());
    moveMouseOver(form->categoryGrid()->viewport());
    QApplication::sendEvent(form->documentList(), &key);
    QApplication::sendEvent(form->categoryGrid(), &key);
    EXPECT_FALSE(form->inactivityTimerForTesting()->isActive()) << code;
    makeMarker();
  }
}

TEST_F(MainWindow, ElapsedInactivityIntervalClosesTheWindow) {
  auto form = create("1", "5");
  form->show();
  EXPECT_TRUE(closesWhenIdle(*form));
}

// The idle close drops an open name editor: the typed name is not saved.
TEST_F(MainWindow, IdleCloseCancelsAnOpenNameEditor) {
  makeMarker();
  QString document = addDocument("Lettera.doc");
  auto form = create("1", "14");
  form->show();
  TShellListView* list = form->documentList();
  ASSERT_TRUE(list->BeginLabelEdit(0));
  list->findChild<QLineEdit*>()->setText("Mai confermato.doc");
  ASSERT_TRUE(closesWhenIdle(*form));
  QCoreApplication::processEvents();
  EXPECT_TRUE(QFile::exists(document));
  EXPECT_FALSE(QFile::exists(m_dir.path() + "/Stampe/CONTAB/Mai confermato.doc"));
}

// Closing the window drops an open name editor as the idle close does: a valid name is
// not renamed, and an invalid one leaves no failure box behind the closed window.
TEST_F(MainWindow, ClosingTheWindowDropsAnOpenNameEdit) {
  addDocument("Lettera.doc");
  for (const char* typed : {"Mai confermato.doc", "a:b.doc"}) {
    auto form = create("1", "5");
    form->show();
    TShellListView* list = form->documentList();
    ASSERT_TRUE(list->BeginLabelEdit(0));
    list->findChild<QLineEdit*>()->setText(QString::fromUtf8(typed));
    testing::NextBoxAnswer failureBox(mrOk);
    form->close();
    testing::WaitFor([] { return false; }, 100);
    EXPECT_FALSE(list->LabelEditing()) << typed;
    EXPECT_FALSE(failureBox.answered()) << typed << ": " << failureBox.text().toStdString();
  }
  EXPECT_EQ(QDir(m_dir.path() + "/Stampe/CONTAB").entryList(QDir::Files),
            QStringList{"Lettera.doc"});
}

// Ten seconds before the idle close a note says so; any mouse or key activity over the
// window, over the left panel too, then keeps it open and hides the note.
TEST_F(MainWindow, IdleNoteComesBeforeTheCloseAndActivityOverTheWindowKeepsItOpen) {
  makeMarker();
  auto form = create("1", "14");
  form->show();
  QTimer* close = form->inactivityTimerForTesting();
  QTimer* note = form->idleNoteTimerForTesting();
  ASSERT_TRUE(note->isActive());
  EXPECT_EQ(note->interval(), kInactivityIntervalMs - 10000);
  note->start(1);
  ASSERT_TRUE(testing::WaitFor([&] { return form->idleNote()->isVisible(); }));
  EXPECT_EQ(form->idleNote()->text(), QString::fromUtf8(kIdleNoteText));
  EXPECT_TRUE(form->documentList()->geometry().contains(form->idleNote()->geometry()));
  close->stop();
  moveMouseOver(form->findChild<QWidget*>("Panel1"));
  EXPECT_FALSE(form->idleNote()->isVisible());
  EXPECT_TRUE(close->isActive());
  EXPECT_TRUE(note->isActive());
  EXPECT_NEAR(close->remainingTime() - note->remainingTime(), 10000, 200);
}

// Alt+V presses Visualizza and is the window's only use of it: no other control's
// underlined letter and no shortcut of the document list's commands.
TEST_F(MainWindow, AltVIsVisualizzasAloneInTheWindow) {
  auto form = create("1", "5");
  QList<QKeySequence> keys;
  for (QAbstractButton* button : form->findChildren<QAbstractButton*>())
    keys << QKeySequence::mnemonic(button->text());
  for (QLabel* label : form->findChildren<QLabel*>()) keys << QKeySequence::mnemonic(label->text());
  for (QGroupBox* group : form->findChildren<QGroupBox*>())
    keys << QKeySequence::mnemonic(group->title());
  for (QAction* action : form->documentList()->actions()) keys << action->shortcuts();
  EXPECT_EQ(keys.count(QKeySequence(Qt::ALT | Qt::Key_V)), 1);
  EXPECT_EQ(QKeySequence::mnemonic(child<QPushButton>(form.get(), "BVisualizza")->text()),
            QKeySequence(Qt::ALT | Qt::Key_V));
}

// At scale 2 a 1280 x 800 screen leaves 640 x 400 points: the window shrinks so that its
// frame, title bar included, lies wholly inside the free area (here below a 14-point
// panel), centred there; a screen with room keeps the first size, centred.
TEST(WindowPlacement, FrameAndTitleBarStayInsideTheFreeArea) {
  const QMargins frame(2, 18, 2, 2);
  QRect free(0, 14, 640, 386);
  QRect client = FitClientToScreen(free, frame, QSize(721, 438));
  EXPECT_TRUE(free.contains(client.marginsAdded(frame))) << client.x() << "," << client.y();
  EXPECT_EQ(client.size(), QSize(636, 366));
  QRect roomy(0, 0, 1280, 1024);
  client = FitClientToScreen(roomy, frame, QSize(721, 438));
  EXPECT_EQ(client.size(), QSize(721, 438));
  EXPECT_TRUE(roomy.contains(client.marginsAdded(frame)));
  EXPECT_LE(std::abs(client.center().x() - roomy.center().x()), 2);
}

// Rinomina (F2) beside Apri, Cancella, Duplica, Copia in and Sposta in opens the selected
// row's name editor.
TEST_F(MainWindow, ContextMenuRenamesWithF2) {
  addDocument("Lettera.doc");
  auto form = create("1", "5");
  form->show();
  QStringList items;
  QAction* rename = nullptr;
  for (QAction* action : form->findChild<QMenu*>("PopupMenu")->actions()) {
    items << action->text() + " " + action->shortcut().toString();
    if (action->objectName() == "Rinomina1") rename = action;
  }
  EXPECT_EQ(items,
            QStringList({"&Apri Ctrl+Return", "&Cancella Ctrl+Del", "&Duplica Ctrl+D",
                         "Co&pia in… ", "&Sposta in… ", "&Rinomina F2", " ", "A&nnulla Ctrl+Z"}));
  ASSERT_NE(rename, nullptr);
  TShellListView* list = form->documentList();
  list->selectionModel()->select(list->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  rename->trigger();
  EXPECT_TRUE(list->LabelEditing());
}

// Copia in and Sposta in are greyed on a folder; on a document Sposta in opens the chooser
// without the document's own category, and the category chosen there takes the document.
TEST_F(MainWindow, SpostaInMovesTheSelectedDocumentIntoTheCategoryChosen) {
  testing::TempOffice::writeFile(
      m_dir.path() + "/Stampe/STAMPE.DBF",
      testing::StampeTableBytes({{"Contabilità", "CONTAB", 1}, {"Lettere", "lett", 1}}));
  QDir(m_dir.path()).mkpath("Stampe/CONTAB/Archivio");
  QDir(m_dir.path()).mkpath("Stampe/LETT");
  testing::TempOffice::writeFile(m_dir.path() + "/Stampe/CONTAB/Lettera.doc", "lettera");
  auto form = create("1", "5");
  form->show();
  auto* menu = child<QMenu>(form.get(), "PopupMenu");
  auto* copyTo = child<QAction>(form.get(), "CopiaIn1");
  auto* moveTo = child<QAction>(form.get(), "SpostaIn1");
  TShellListView* list = form->documentList();
  ASSERT_EQ(list->ItemCount(), 2);  // Archivio, Lettera.doc
  auto select = [&](int row) {
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    emit menu->aboutToShow();
  };
  select(0);
  EXPECT_FALSE(copyTo->isEnabled());
  EXPECT_FALSE(moveTo->isEnabled());
  select(1);
  EXPECT_TRUE(copyTo->isEnabled());
  EXPECT_TRUE(moveTo->isEnabled());

  QStringList offered;
  QTimer::singleShot(0, [&] {
    auto* chooser = dynamic_cast<CategoryChooser*>(QApplication::activeModalWidget());
    ASSERT_NE(chooser, nullptr);
    for (int row = 0; row < chooser->Categories()->count(); ++row)
      offered << chooser->Categories()->item(row)->text();
    chooser->Filter()->setText("LETT");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(chooser->Filter(), &enter);
  });
  moveTo->trigger();
  EXPECT_EQ(offered, QStringList{"Lettere"});
  EXPECT_EQ(testing::TempOffice::readFile(m_dir.path() + "/Stampe/LETT/Lettera.doc"), "lettera")
      << "into the folder on disk, whatever the table's letter case";
  EXPECT_FALSE(QFile::exists(m_dir.path() + "/Stampe/CONTAB/Lettera.doc"));
}

// The popup's real actions over the selected document: Duplica makes an equal "Copia di"
// file, Apri hands the path to the word processor (a WinWord stand-in on PATH that
// records its argument), Cancella deletes once the question is answered Sì.
TEST_F(MainWindow, PopupActionsDuplicateOpenAndDeleteTheSelectedDocument) {
  QString folder = m_dir.path() + "/Stampe/CONTAB/";
  addDocument("Lettera.doc", "testo della lettera");
  QDir(m_dir.path()).mkpath("bin");
  QString recorder = m_dir.path() + "/bin/WinWord";
  testing::TempOffice::writeFile(recorder, "#!/bin/sh\nprintf '%s' \"$1\" > \"$0.args\"\n");
  QFile(recorder).setPermissions(QFile(recorder).permissions() | QFileDevice::ExeOwner);
  QByteArray savedPath = qgetenv("PATH");
  qputenv("PATH", QFile::encodeName(m_dir.path() + "/bin:") + savedPath);
  auto form = create("1", "5");
  form->show();
  TShellListView* list = form->documentList();
  auto select = [list](const QString& path) {
    for (int row = 0; row < list->model()->rowCount(); ++row) {
      list->selectionModel()->select(list->model()->index(row, 0),
                                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      if (list->SelectedShellFolder()->FileSystemPath() == path.toStdString()) return true;
    }
    return false;
  };
  auto action = [&form](const char* name) { return child<QAction>(form.get(), name); };

  ASSERT_TRUE(select(folder + "Lettera.doc"));
  action("Duplica1")->trigger();
  EXPECT_EQ(testing::TempOffice::readFile(folder + "Copia di Lettera.doc"), "testo della lettera");

  ASSERT_TRUE(select(folder + "Copia di Lettera.doc"));
  action("Apri1")->trigger();
  EXPECT_TRUE(testing::WaitFor([&] { return QFile::exists(recorder + ".args"); }, 5000));
  qputenv("PATH", savedPath);
  EXPECT_TRUE(testing::WaitFor(
      [&] { return testing::TempOffice::readFile(recorder + ".args") == QFile::encodeName(folder + "Copia di Lettera.doc"); }));

  testing::NextBoxAnswer yes(mrYes);
  action("Cancella1")->trigger();
  EXPECT_TRUE(yes.answered());
  EXPECT_FALSE(QFile::exists(folder + "Copia di Lettera.doc"));
  EXPECT_TRUE(QFile::exists(folder + "Lettera.doc"));
}

TEST_F(MainWindow, EnterUnusedByTheFocusedControlPressesVisualizza) {
  auto form = create("1", "5");
  int clicks = 0;
  QObject::connect(form->findChild<QPushButton*>("BVisualizza"), &QPushButton::clicked,
                   [&clicks] { ++clicks; });
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(form->findChild<QWidget*>("SLVDoc"), &enter);
  EXPECT_EQ(clicks, 1);
}

TEST_F(MainWindow, BadArgumentsShowTheGeneralMessageAndTerminate) {
  for (const char* code : {"dodici", ""}) {
    testing::NextBoxAnswer ok(mrOk);
    auto form = create("1", code);
    EXPECT_TRUE(form->startupFailed());
    EXPECT_TRUE(TApplication::instance()->terminated());
    EXPECT_EQ(ok.text(), "Si è verificato un errore. Impossibile continuare.");
    EXPECT_EQ(ok.asked().kind, mtError);
    EXPECT_EQ(ok.asked().buttons, QStringList{"OK"});
    TApplication::instance()->resumeAfterTerminationForTesting();
  }
}

TEST_F(MainWindow, DataPathTooShortFailsStartUp) {
  testing::NextBoxAnswer closeBox(mrCancel);
  TfrmMain form({"velloria", "1", "12", "/", ""});
  EXPECT_TRUE(form.startupFailed());
  EXPECT_TRUE(closeBox.answered());
  TApplication::instance()->resumeAfterTerminationForTesting();
}

}  // namespace
}  // namespace velloria
