// The main window over a real office on disk: the catalogue load and its sweep, the
// category shown first, the Visualizza refusals, the grid's colouring, the inactivity
// timer's restart rule and the document commands, through the real widgets offscreen.
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/category_colours.h"
#include "app/document_commands.h"
#include "app/main_window.h"
#include "dataset/db.h"
#include "dataset/field.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

using testing::CategoryRecord;
using testing::NextBoxAnswer;
using testing::TempOffice;
using testing::WaitFor;

using testing::kHeaderSize;
using testing::kRecordSize;
using testing::kVisualizzaOffset;

class Program : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTahoma(); }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }

  std::unique_ptr<TfrmMain> start(const char* type = "1", const char* code = "5") {
    auto form = std::make_unique<TfrmMain>(
        std::vector<std::string>{"velloria", type, code, office.dataPath(), ""});
    EXPECT_FALSE(form->startupFailed());
    return form;
  }
  // The usual office: a type 2 category first, then two of type 1 with documents.
  std::unique_ptr<TfrmMain> startUsual() {
    office.writeTable({{"Didattica", "DIDA", 2}, {"Contabilità", "contab", 1}, {"Lettere", "LETT", 1}});
    office.makeFolder("DIDA", {"Scuola.doc"});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc", "Modulo.doc"});
    office.makeFolder("LETT", {"Saluti.doc"});
    return start();
  }
  static QStringList rowNames(TShellListView* list) {
    QStringList names;
    for (int row = 0; row < list->ItemCount(); ++row) names << list->FolderAt(row)->FullPath().section('/', -1);
    return names;
  }
  static int rowOf(TShellListView* list, const char* name) {
    return static_cast<int>(rowNames(list).indexOf(QLatin1String(name)));
  }
  static void selectRows(TShellListView* list, std::initializer_list<int> rows) {
    list->selectionModel()->clearSelection();
    for (int row : rows) {
      list->selectionModel()->select(list->model()->index(row, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }
  QString contab(const QString& name) const { return office.stampe() + "/CONTAB/" + name; }

  TempOffice office;
};

TEST_F(Program, LoadRewritesEveryRecordAndStartsOnTheFirstCategoryOfTheRequestedType) {
  office.writeTable({{"Didattica", "DIDA", 2, false},
                     {"Sparita", "GONE", 1, true},
                     {"Contabilità", "contab", 1, false},
                     {"Vuota", "", 3, false},
                     {"Lettere", "LETT", 1, true}});
  office.makeFolder("DIDA", {"Scuola.doc"});
  office.makeFolder("CONTAB", {"Lettera.doc"});
  office.makeFolder("LETT");
  QByteArray before = office.tableBytes();
  auto form = start();

  QByteArray after = office.tableBytes();
  ASSERT_EQ(after.size(), before.size());
  const char expected[] = {'T', 'F', 'T', 'T', 'T'};  // "" names the Stampe folder itself
  for (int i = 0; i < 5; ++i) {
    int at = kHeaderSize + i * kRecordSize + kVisualizzaOffset;
    EXPECT_EQ(after[at], expected[i]) << "record " << i;
    after[at] = before[at];
  }
  after.replace(1, 3, before.mid(1, 3));  // the date of the last update
  EXPECT_EQ(after, before);

  xbase::TXbTable* table = form->categoryTable();
  EXPECT_EQ(table->Filter(), "TIPO=1 AND VISUALIZZA=TRUE");
  EXPECT_TRUE(table->Filtered());
  EXPECT_EQ(table->FieldByName("DESCRIZIO").AsString(), "Contabilità");
  EXPECT_EQ(form->documentList()->Root(), office.stampe() + "/CONTAB");
  EXPECT_EQ(rowNames(form->documentList()), QStringList{"Lettera.doc"});
}

TEST_F(Program, WithoutAnyCategoryFolderTheListAndTheGridAreEmpty) {
  office.writeTable({{"Didattica", "DIDA", 2}, {"Contabilità", "CONTAB", 1}});
  office.makeFolder("DIDA");
  auto form = start();
  EXPECT_TRUE(form->categoryTable()->IsEmpty());
  EXPECT_EQ(form->documentList()->Root(), "");
  EXPECT_EQ(form->documentList()->ItemCount(), 0);
}

TEST_F(Program, MissingTableOrUnreadableTableEndsStartUpAndLeavesTheFileAlone) {
  NextBoxAnswer missing(mrOk);
  TfrmMain noTable({"velloria", "1", "5", office.dataPath(), ""});
  EXPECT_TRUE(noTable.startupFailed());
  EXPECT_EQ(missing.text(), "Si è verificato un errore. Impossibile continuare.");
  TApplication::instance()->resumeAfterTerminationForTesting();

  testing::TempOffice::writeFile(office.tablePath(), QByteArray("\x03garbage", 8));
  QByteArray damaged = office.tableBytes();
  NextBoxAnswer broken(mrOk);
  TfrmMain badTable({"velloria", "1", "5", office.dataPath(), ""});
  EXPECT_TRUE(badTable.startupFailed());
  EXPECT_TRUE(broken.answered());
  EXPECT_EQ(office.tableBytes(), damaged);
}

TEST_F(Program, VisualizzaRefusesABlankDirAndAFalseVisualizza) {
  office.writeTable({{"Senza cartella", "   ", 1}, {"Contabilità", "CONTAB", 1}, {"Persa", "LOST", 1}});
  office.makeFolder("CONTAB", {"Lettera.doc"});
  NextBoxAnswer atStart(mrOk);
  auto form = start();
  TShellListView* list = form->documentList();
  xbase::TXbTable* table = form->categoryTable();
  EXPECT_EQ(atStart.text(), kInvalidFolderMessage);  // the blank DIR is the first category
  ASSERT_EQ(list->Root(), "");
  table->Next();
  form->findChild<QPushButton*>("BVisualizza")->click();
  EXPECT_EQ(list->Root(), office.stampe() + "/CONTAB");

  table->First();
  NextBoxAnswer refusal(mrOk);
  form->findChild<QPushButton*>("BVisualizza")->click();
  EXPECT_EQ(refusal.text(), kInvalidFolderMessage);
  EXPECT_EQ(list->Root(), "") << "another category's documents stayed on screen";

  table->Next();
  form->findChild<QPushButton*>("BVisualizza")->click();
  table->SetFiltered(false);
  table->Last();
  ASSERT_FALSE(table->FieldByName("VISUALIZZA").AsBoolean());
  EXPECT_FALSE(ShowCategoryDocuments(*table, *list, form->stampeFolder()));
  EXPECT_EQ(list->Root(), office.stampe() + "/CONTAB");
}

TEST_F(Program, AFolderRemovedAfterStartFailsWithThePathErrorAndTheListStays) {
  office.writeTable({{"Contabilità", "CONTAB", 1}, {"Lettere", "LETT", 1}});
  office.makeFolder("CONTAB", {"Lettera.doc"});
  office.makeFolder("LETT");
  auto form = start();
  QDir(office.stampe() + "/LETT").removeRecursively();
  form->categoryTable()->Next();
  EXPECT_ANY_THROW(ShowCategoryDocuments(*form->categoryTable(), *form->documentList(), form->stampeFolder()));
  EXPECT_EQ(form->documentList()->Root(), office.stampe() + "/CONTAB");
  EXPECT_EQ(rowNames(form->documentList()), QStringList{"Lettera.doc"});
}

TEST_F(Program, AClickOnAnotherCategorySwitchesTheList) {
  auto form = startUsual();
  form->show();
  TDBGrid* grid = form->categoryGrid();
  QPoint at = grid->CellRect(0, 2).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, grid->viewport()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, grid->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(grid->viewport(), &press);
  QApplication::sendEvent(grid->viewport(), &release);
  EXPECT_EQ(form->documentList()->Root(), office.stampe() + "/LETT");
  EXPECT_EQ(rowNames(form->documentList()), QStringList{"Saluti.doc"});
}

TEST_F(Program, DeletionsFromTheTableAreRefusedSilently) {
  auto form = startUsual();
  EXPECT_THROW(form->categoryTable()->Delete(), EAbort);
  form->categoryTable()->SetFiltered(false);
  EXPECT_EQ(form->categoryTable()->RecordCount(), 3);
}

// Pixel colours of the category grid: type 1 sky blue, type 2 money green, others cream,
// the current row navy once the grid is the active control.
class ProgramColours : public Program {
 protected:
  QColor cellColour(TfrmMain& form, int row) {
    TDBGrid* grid = form.categoryGrid();
    QImage image = grid->viewport()->grab().toImage();
    QRect cell = grid->CellRect(0, row);
    return image.pixelColor(cell.right() - 2, cell.bottom() - 1);
  }
};

TEST_F(ProgramColours, EveryRowStateHasItsColour) {
  office.writeTable({{"Uno", "A", 1}, {"Due", "B", 2}, {"Tre", "C", 3}});
  for (const char* dir : {"A", "B", "C"}) office.makeFolder(dir);
  for (const char* type : {"1", "2", "3"}) {
    auto form = start(type);
    form->show();
    QApplication::processEvents();
    QColor expected = type[0] == '1' ? kAccountingColor : type[0] == '2' ? kTeachingColor : kOtherRowColor;
    EXPECT_EQ(cellColour(*form, 1), expected) << "type " << type;
  }

  office.writeTable({{"Uno", "A", 1}, {"Due", "B", 2}, {"Tre", "C", 3}, {"Uno bis", "A", 1}});
  auto form = start("1");
  form->show();
  QApplication::setActiveWindow(form.get());
  form->categoryGrid()->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(cellColour(*form, 1), kSelectedRowColor);
  EXPECT_EQ(cellColour(*form, 2), kAccountingColor);
}

// While another window is active, the grid's marked row takes the palette's inactive
// highlight and highlighted text, so that its text stays readable (not black on navy).
TEST_F(ProgramColours, MarkedRowOfAnInactiveWindowTakesTheInactiveHighlight) {
  office.writeTable({{"Uno", "A", 1}, {"Due", "A", 1}});
  office.makeFolder("A");
  auto form = start("1");
  form->show();
  QApplication::setActiveWindow(form.get());
  TDBGrid* grid = form->categoryGrid();
  grid->setFocus();
  QWidget other;
  other.show();
  QApplication::setActiveWindow(&other);
  QApplication::processEvents();
  ASSERT_FALSE(form->isActiveWindow());
  QPalette palette = grid->palette();
  EXPECT_EQ(cellColour(*form, 1), palette.color(QPalette::Inactive, QPalette::Highlight));
  EXPECT_EQ(cellColour(*form, 2), kAccountingColor);
  QImage image = grid->viewport()->grab().toImage();
  QRect cell = grid->CellRect(0, 1);
  int textPixels = 0, blackPixels = 0;
  for (int y = cell.top(); y <= cell.bottom(); ++y) {
    for (int x = cell.left(); x <= cell.right(); ++x) {
      QColor pixel = image.pixelColor(x, y);
      textPixels += pixel == palette.color(QPalette::Inactive, QPalette::HighlightedText);
      blackPixels += pixel == QColor(Qt::black);
    }
  }
  EXPECT_GT(textPixels, 10);
  EXPECT_EQ(blackPixels, 0);
}

TEST_F(ProgramColours, EmptyGridRowIsCreamAndNumbersAreRightAligned) {
  office.writeTable({{"Uno", "A", 2}});
  office.makeFolder("A");
  auto empty = start("1");
  empty->show();
  QApplication::processEvents();
  EXPECT_EQ(cellColour(*empty, 1), kOtherRowColor);
  empty.reset();

  office.writeTable({{"Uno", "A", 1}, {"Due", "A", 1}});
  auto form = start("1");
  TDBGrid* grid = form->categoryGrid();
  grid->Columns()[0]->SetWidth(60);
  TColumn* tipo = grid->Columns().Add();
  tipo->SetFieldName("TIPO");
  tipo->SetWidth(60);
  form->show();
  QApplication::processEvents();
  QImage image = grid->viewport()->grab().toImage();
  QRect cell = grid->CellRect(1, 2);
  int inkLeft = -1, inkRight = -1;
  for (int x = cell.left(); x <= cell.right(); ++x) {
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
      if (image.pixelColor(x, y) == kAccountingColor) continue;
      if (inkLeft < 0) inkLeft = x;
      inkRight = x;
    }
  }
  EXPECT_GT(inkLeft, cell.left() + cell.width() / 2);
  EXPECT_LE(inkRight, cell.left() + cell.width() - 3);
  EXPECT_GE(inkRight, cell.left() + cell.width() - 6);
}

TEST_F(Program, OnlyActivityOverTheTwoListsRestartsAndEnablesTheTimer) {
  QDir(office.root()).mkpath("DATI/FG/AGENZIA");
  TempOffice::writeFile(office.root() + "/DATI/FG/AGENZIA/PrevCors.DBF", "");
  office.writeTable({{"Contabilità", "CONTAB", 1}});
  office.makeFolder("CONTAB", {"Lettera.doc"});
  auto form = start("1", "12");
  QTimer* timer = form->inactivityTimerForTesting();
  ASSERT_TRUE(timer->isActive());
  timer->stop();
  QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  for (const char* name : {"Label1", "Shape2", "Panel1", "BVisualizza", "GroupBox1"}) {
    QApplication::sendEvent(form->findChild<QWidget*>(name), &move);
  }
  EXPECT_FALSE(timer->isActive());
  QApplication::sendEvent(form->documentList()->viewport(), &move);
  EXPECT_TRUE(timer->isActive());

  timer->stop();
  QApplication::sendEvent(form->categoryGrid()->viewport(), &move);
  EXPECT_TRUE(timer->isActive());

  timer->start(50);
  WaitFor([] { return false; }, 30);
  int before = timer->remainingTime();
  QKeyEvent key(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(form->documentList(), &key);
  EXPECT_GT(timer->remainingTime(), before);
  timer->stop();
  QApplication::sendEvent(form->categoryGrid(), &key);
  EXPECT_TRUE(timer->isActive());
}

// The home Trash in a folder of the test's own for the time of one test.
class ScopedDataHome {
 public:
  ScopedDataHome() : m_old(qgetenv("XDG_DATA_HOME")) {
    qputenv("XDG_DATA_HOME", m_folder.path().toLocal8Bit());
  }
  ~ScopedDataHome() { qputenv("XDG_DATA_HOME", m_old); }
  QString trash() const { return m_folder.filePath("Trash"); }

 private:
  QTemporaryDir m_folder;
  QByteArray m_old;
};

TEST_F(Program, DeleteAsksWithTheFullPathAndOnlyYesRemovesTheFile) {
  ScopedDataHome data;
  auto form = startUsual();
  TShellListView* list = form->documentList();
  selectRows(list, {1});
  {
    NextBoxAnswer no(mrNo);
    DeleteSelectedDocument(*list);
    EXPECT_EQ(no.text(), "Spostare nel Cestino il documento \"" + contab("Lettera.doc") + "\"?");
  }
  EXPECT_TRUE(QFile::exists(contab("Lettera.doc")));
  NextBoxAnswer yes(mrYes);
  DeleteSelectedDocument(*list);
  EXPECT_TRUE(yes.answered());
  EXPECT_FALSE(QFile::exists(contab("Lettera.doc")));
  EXPECT_EQ(TempOffice::readFile(data.trash() + "/files/Lettera.doc"), "Lettera.doc");
  EXPECT_EQ(rowNames(list), (QStringList{"Fattura.doc", "Modulo.doc"}));
}

// Where no Trash can take the document (here the home Trash is a link), the question says
// so and why, and only Sì deletes it for good; nothing lands where the link points.
TEST_F(Program, WithoutATrashTheQuestionSaysWhyAndOnlyYesDeletesForGood) {
  ScopedDataHome data;
  QTemporaryDir elsewhere;
  ASSERT_TRUE(QFile::link(elsewhere.path(), data.trash()));
  auto form = startUsual();
  TShellListView* list = form->documentList();
  selectRows(list, {1});
  {
    NextBoxAnswer no(mrNo);
    DeleteSelectedDocument(*list);
    EXPECT_EQ(no.text(), "Il documento \"" + contab("Lettera.doc") +
                             "\" non può andare nel Cestino: il Cestino di questo disco è un "
                             "collegamento o appartiene a un altro utente. Cancellarlo "
                             "definitivamente?");
  }
  EXPECT_TRUE(QFile::exists(contab("Lettera.doc")));
  NextBoxAnswer yes(mrYes);
  DeleteSelectedDocument(*list);
  EXPECT_TRUE(yes.answered());
  EXPECT_FALSE(QFile::exists(contab("Lettera.doc")));
  EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
}

// Ctrl+Z takes the window's commands back newest first, the menu naming each: Duplica's
// copy goes to the Trash, Rinomina's old name comes back, Cancella's document comes back
// from the Trash with its bytes and leaves no entry there.
TEST_F(Program, AnnullaTakesBackDuplicaRinominaAndCancellaNewestFirst) {
  ScopedDataHome data;
  auto form = startUsual();
  TShellListView* list = form->documentList();
  selectRows(list, {rowOf(list, "Lettera.doc")});
  {
    NextBoxAnswer yes(mrYes);
    DeleteSelectedDocument(*list);
  }
  list->EndLabelEdit(rowOf(list, "Fattura.doc"), "Fatture.doc");
  selectRows(list, {rowOf(list, "Modulo.doc")});
  DuplicateSelectedDocument(*list);
  ASSERT_EQ(rowNames(list), (QStringList{"Copia di Modulo.doc", "Fatture.doc", "Modulo.doc"}));

  EXPECT_EQ(UndoCaption(*list), "A&nnulla duplicazione di \"Copia di Modulo.doc\"");
  UndoLastDocumentCommand(*list);
  EXPECT_EQ(rowNames(list), (QStringList{"Fatture.doc", "Modulo.doc"}));
  EXPECT_EQ(TempOffice::readFile(data.trash() + "/files/Copia di Modulo.doc"), "Modulo.doc");

  EXPECT_EQ(UndoCaption(*list), "A&nnulla rinomina di \"Fatture.doc\"");
  UndoLastDocumentCommand(*list);
  EXPECT_EQ(rowNames(list), (QStringList{"Fattura.doc", "Modulo.doc"}));

  EXPECT_EQ(UndoCaption(*list), "A&nnulla cancellazione di \"Lettera.doc\"");
  UndoLastDocumentCommand(*list);
  EXPECT_EQ(TempOffice::readFile(contab("Lettera.doc")), "Lettera.doc");
  EXPECT_EQ(list->SelectedShellFolder()->FileSystemPath(), contab("Lettera.doc").toStdString());
  EXPECT_FALSE(QFile::exists(data.trash() + "/info/Lettera.doc.trashinfo"));
  EXPECT_EQ(UndoCaption(*list), "A&nnulla");
}

// An undo that another desk made unsafe changes nothing and says why: the renamed
// document written since, the deleted document's name taken by a new one, the Trash
// entry gone. Each refused step is forgotten, so the next Ctrl+Z goes further back.
TEST_F(Program, AnUndoMadeUnsafeElsewhereChangesNothingAndSaysWhy) {
  ScopedDataHome data;
  auto form = startUsual();
  TShellListView* list = form->documentList();
  for (const char* name : {"Lettera.doc", "Modulo.doc"}) {
    selectRows(list, {rowOf(list, name)});
    NextBoxAnswer yes(mrYes);
    DeleteSelectedDocument(*list);
  }
  list->EndLabelEdit(rowOf(list, "Fattura.doc"), "Fatture.doc");
  QFile written(contab("Fatture.doc"));
  ASSERT_TRUE(written.open(QIODevice::Append));
  written.write(" e una riga del collega");
  written.close();
  ASSERT_TRUE(QFile::remove(data.trash() + "/files/Modulo.doc"));  // the Trash emptied
  TempOffice::writeFile(contab("Lettera.doc"), "una nuova lettera");

  const QStringList expected = {
      "Impossibile annullare la rinomina di \"Fatture.doc\": il documento è stato modificato, "
      "spostato o sostituito da un'altra postazione.",
      "Impossibile annullare la cancellazione di \"Modulo.doc\": il documento non è più nel "
      "Cestino.",
      "Impossibile annullare la cancellazione di \"Lettera.doc\": il nome \"Lettera.doc\" è "
      "già usato da un altro documento."};
  for (const QString& text : expected) {
    NextBoxAnswer ok(mrOk);
    UndoLastDocumentCommand(*list);
    EXPECT_EQ(ok.text(), text);
  }
  EXPECT_EQ(TempOffice::readFile(contab("Fatture.doc")), "Fattura.doc e una riga del collega");
  EXPECT_FALSE(QFile::exists(contab("Fattura.doc")));
  EXPECT_EQ(TempOffice::readFile(contab("Lettera.doc")), "una nuova lettera");
  EXPECT_EQ(TempOffice::readFile(data.trash() + "/files/Lettera.doc"), "Lettera.doc");
  EXPECT_EQ(UndoCaption(*list), "A&nnulla");
}

// Duplica numbers its copies ("Copia di", "Copia (2) di", ...), skipping a name the
// folder holds in any letter case and never writing over a file; each copy ends up
// selected and current, so that a rename that follows acts on it. When the first name is
// taken and no numbered one fits in 255 bytes, the copy is refused with the old message.
TEST_F(Program, DuplicateNumbersItsCopiesSelectsEachAndNeverReplaces) {
  auto form = startUsual();
  TShellListView* list = form->documentList();
  auto selectedName = [list] { return QString::fromStdString(SelectedDocumentFile(*list)).section('/', -1); };
  auto duplicate = [&](const QString& name) {
    selectRows(list, {static_cast<int>(rowNames(list).indexOf(name))});
    DuplicateSelectedDocument(*list);
  };
  duplicate("Lettera.doc");
  EXPECT_EQ(TempOffice::readFile(contab("Copia di Lettera.doc")), "Lettera.doc");
  EXPECT_EQ(selectedName(), "Copia di Lettera.doc");
  EXPECT_EQ(list->currentIndex().row(), rowOf(list, "Copia di Lettera.doc"));

  TempOffice::writeFile(contab("Copia di Lettera.doc"), "edited copy");
  TempOffice::writeFile(contab("COPIA (3) DI LETTERA.DOC"), "a Windows desk's copy");
  for (const char* copy : {"Copia (2) di Lettera.doc", "Copia (4) di Lettera.doc"}) {
    duplicate("Lettera.doc");
    EXPECT_EQ(TempOffice::readFile(contab(copy)), "Lettera.doc") << copy;
    EXPECT_EQ(selectedName(), copy);
  }
  EXPECT_EQ(TempOffice::readFile(contab("Copia di Lettera.doc")), "edited copy");
  EXPECT_EQ(TempOffice::readFile(contab("COPIA (3) DI LETTERA.DOC")), "a Windows desk's copy");
  EXPECT_FALSE(QFile::exists(contab("Copia (3) di Lettera.doc")));
  duplicate("Copia di Lettera.doc");
  EXPECT_EQ(TempOffice::readFile(contab("Copia di Copia di Lettera.doc")), "edited copy");

  const QString longName = QString(242, QLatin1Char('z')) + ".doc";  // "Copia di " + it: 255 bytes
  TempOffice::writeFile(contab(longName), "long");
  TempOffice::writeFile(contab("Copia di " + longName), "taken");
  list->ReloadList();
  NextBoxAnswer refused(mrOk);
  duplicate(longName);
  EXPECT_EQ(refused.text(), "Errore durante la copia, un file di nome \"Copia di " + longName +
                                "\" potrebbe già esistere in questa cartella !");
  EXPECT_EQ(TempOffice::readFile(contab("Copia di " + longName)), "taken");
  EXPECT_EQ(selectedName(), longName);
}

// Desks duplicating one document at once, while "Copia di" is taken, each make a whole
// copy under a number of its own.
TEST_F(Program, RacingDuplicatesTakeNumbersOfTheirOwn) {
  office.makeFolder("CONTAB", {"Lettera.doc", "Copia di Lettera.doc"});
  const std::string source = contab("Lettera.doc").toStdString();
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  std::vector<pid_t> desks;
  for (int i = 0; i < 3; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char byte;
      while (read(gate[0], &byte, 1) > 0) {
      }
      std::string copy;
      _exit(DuplicateDocument(source, copy));
    }
    desks.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // all start at once
  for (pid_t pid : desks) {
    int status = -1;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (const char* copy : {"Copia (2) di Lettera.doc", "Copia (3) di Lettera.doc", "Copia (4) di Lettera.doc"}) {
    EXPECT_EQ(TempOffice::readFile(contab(copy)), "Lettera.doc") << copy;
  }
  EXPECT_EQ(TempOffice::readFile(contab("Copia di Lettera.doc")), "Copia di Lettera.doc");
  EXPECT_EQ(QDir(office.stampe() + "/CONTAB").entryList(QDir::Files | QDir::Hidden).size(), 5);
}

// While the delete question is open, another desk renames the chosen document and gives
// its name to another one: Sì deletes neither and a box says why.
TEST_F(Program, DeleteActsOnlyOnTheDocumentChosen) {
  office.writeTable({{"Contabilità", "CONTAB", 1}});
  office.makeFolder("CONTAB", {"Copia di Promemoria.odt", "Promemoria vecchio.odt"});
  auto form = start();
  TShellListView* list = form->documentList();
  selectRows(list, {rowOf(list, "Copia di Promemoria.odt")});
  std::unique_ptr<NextBoxAnswer> told;
  bool asked = false;
  QTimer otherDesk;  // acts from the question's own event loop
  otherDesk.setInterval(10);
  QObject::connect(&otherDesk, &QTimer::timeout, [&] {
    auto* question = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
    if (!question) return;
    otherDesk.stop();
    asked = true;
    QFile::rename(contab("Copia di Promemoria.odt"), contab("Promemoria Mario.odt"));
    QFile::rename(contab("Promemoria vecchio.odt"), contab("Copia di Promemoria.odt"));
    told = std::make_unique<NextBoxAnswer>(mrOk);
    question->done(mrYes);
  });
  otherDesk.start();
  DeleteSelectedDocument(*list);
  ASSERT_TRUE(asked);
  EXPECT_EQ(TempOffice::readFile(contab("Copia di Promemoria.odt")), "Promemoria vecchio.odt");
  EXPECT_EQ(TempOffice::readFile(contab("Promemoria Mario.odt")), "Copia di Promemoria.odt");
  ASSERT_TRUE(told && told->answered());
  EXPECT_EQ(told->text(), "Il documento \"" + contab("Copia di Promemoria.odt") +
                              "\" è stato rinominato o sostituito da un'altra postazione: non è stato "
                              "cancellato.");
}

// A delete that cannot be done says why instead of asking, in a warning titled with the
// program's name, naming who has the document open and since when when its lock file says
// so (here the document is also open on this computer, so no going ahead is offered); the
// document stays.
TEST_F(Program, RefusedDeleteSaysWhyInsteadOfAsking) {
  auto form = startUsual();
  TShellListView* list = form->documentList();
  office.makeFolder("CONTAB/Archivio");
  list->ReloadList();
  auto refusal = [&](const char* name) {
    selectRows(list, {rowOf(list, name)});
    NextBoxAnswer box(mrOk);
    QFile openHere(contab(name));  // open on this computer: no going ahead is offered
    if (QFileInfo(contab(name)).isFile()) {
      EXPECT_TRUE(openHere.open(QIODevice::ReadOnly)) << name;
    }
    DeleteSelectedDocument(*list);
    EXPECT_EQ(box.asked().kind, mtWarning) << name;
    EXPECT_EQ(box.asked().title, "Velloria") << name;
    EXPECT_EQ(box.asked().buttons, QStringList{"OK"}) << name;
    return box.text();
  };
  auto since = [&](const char* lockFile) {
    return " dal " + QLocale().toString(QFileInfo(contab(lockFile)).lastModified(), QLocale::ShortFormat) + ".";
  };
  const QString head = "Impossibile cancellare il documento \"" + contab("%1") + "\": ";
  TempOffice::writeFile(contab(".~lock.Lettera.doc#"),
                        "Mario Rossi,mrossi,segreteria-2,07.12.2026 10:15,file:///home/mrossi/.config;");
  EXPECT_EQ(refusal("Lettera.doc"),
            head.arg("Lettera.doc") + "è aperto da Mario Rossi sul computer segreteria-2" + since(".~lock.Lettera.doc#"));
  TempOffice::writeFile(contab("~$dulo.doc"), QByteArray("\x05mario") + QByteArray(48, ' '));
  EXPECT_EQ(refusal("Modulo.doc"), head.arg("Modulo.doc") + "è aperto da mario" + since("~$dulo.doc"));
  TempOffice::writeFile(contab("~$ttura.doc"), "");
  EXPECT_EQ(refusal("Fattura.doc"),
            head.arg("Fattura.doc") + "è aperto in un programma di videoscrittura" + since("~$ttura.doc"));
  EXPECT_EQ(refusal("Archivio"), head.arg("Archivio") + "è una cartella, non un documento.");
  for (const char* name : {"Lettera.doc", "Modulo.doc", "Fattura.doc"}) EXPECT_TRUE(QFile::exists(contab(name)));

  QFile::remove(contab("~$ttura.doc"));
  QFile::setPermissions(contab("Fattura.doc"), QFile::ReadOwner | QFile::ReadGroup);
  EXPECT_EQ(refusal("Fattura.doc"), head.arg("Fattura.doc") + "il documento è di sola lettura.");
  QFile::remove(contab("Fattura.doc"));
  EXPECT_EQ(refusal("Fattura.doc"), head.arg("Fattura.doc") + "il documento non esiste più.");
}

// A colleague's Writer that ended without closing the document leaves a lock file naming
// another computer, and nothing here holds the document. After the delete question a
// second one says who and since when and offers to go ahead: No is its default and focused
// button, and Sì deletes the document and its lock file. A lock file written again while
// the question is open (the document opened anew) keeps both.
TEST_F(Program, ADocumentHeldOnlyByAnotherComputersLockFileIsDeletedAfterASecondQuestion) {
  auto form = startUsual();
  TShellListView* list = form->documentList();
  const QDateTime since(QDate(2026, 12, 7), QTime(9, 14));
  auto writeLock = [&](const QDateTime& time) {
    TempOffice::writeFile(contab(".~lock.Lettera.doc#"), "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///x;");
    QFile lock(contab(".~lock.Lettera.doc#"));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(time, QFileDevice::FileModificationTime));
  };
  auto files = [&] { return QDir(office.stampe() + "/CONTAB").entryList(QDir::Files | QDir::Hidden).join(' '); };
  const QString all = ".~lock.Lettera.doc# Fattura.doc Lettera.doc Modulo.doc";
  writeLock(since);
  const QString question = "Il documento \"" + contab("Lettera.doc") +
                           "\" risulta aperto da Mario Rossi sul computer segreteria-2 dal " +
                           QLocale().toString(since, QLocale::ShortFormat) +
                           ". Se quel programma non è più aperto, si può procedere. Procedere comunque?";
  selectRows(list, {rowOf(list, "Lettera.doc")});
  {
    NextBoxAnswer first(mrYes), second(mrNo);
    DeleteSelectedDocument(*list);
    EXPECT_EQ(first.text(), DeleteQuestion(contab("Lettera.doc")));
    EXPECT_EQ(second.text(), question);
    EXPECT_EQ(second.asked().kind, mtWarning);
    EXPECT_EQ(second.asked().title, "Velloria");
    EXPECT_EQ(second.asked().buttons, (QStringList{ButtonCaption(mbYes).remove('&'), ButtonCaption(mbNo).remove('&')}));
  }
  EXPECT_EQ(files(), all);

  // The real box: Enter answers No, the default and focused button.
  QString defaultButton, focused;
  QTimer user;
  user.setInterval(10);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* box = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    user.stop();
    defaultButton = box->defaultButton()->objectName();
    focused = box->focusWidget() ? box->focusWidget()->objectName() : QString();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &enter);
  });
  {
    NextBoxAnswer first(mrYes);
    user.start();
    DeleteSelectedDocument(*list);
    EXPECT_TRUE(first.answered());
  }
  EXPECT_EQ(defaultButton, "No");
  EXPECT_EQ(focused, "No");
  EXPECT_EQ(files(), all);

  {
    NextBoxAnswer first(mrYes), second(mrYes), refused(mrOk);
    second.whileAsked([&] { writeLock(since.addSecs(600)); });
    DeleteSelectedDocument(*list);
    EXPECT_EQ(refused.text(), "Impossibile cancellare il documento \"" + contab("Lettera.doc") +
                                  "\": è aperto da Mario Rossi sul computer segreteria-2 dal " +
                                  QLocale().toString(since.addSecs(600), QLocale::ShortFormat) + ".");
  }
  EXPECT_EQ(files(), all);

  {
    NextBoxAnswer first(mrYes), second(mrYes);
    DeleteSelectedDocument(*list);
    EXPECT_TRUE(second.answered());
  }
  EXPECT_EQ(files(), "Fattura.doc Modulo.doc");
  EXPECT_EQ(rowNames(list), (QStringList{"Fattura.doc", "Modulo.doc"}));
}

// A failed Duplica keeps "...potrebbe già esistere..." for a name taken (tested above) and
// says the real cause otherwise.
TEST_F(Program, FailedDuplicateSaysTheRealCause) {
  auto form = startUsual();
  TShellListView* list = form->documentList();
  const QString longName = QString(250, QLatin1Char('x')) + ".doc";  // the copy's name: 263 bytes
  office.makeFolder("CONTAB/Archivio", {});
  office.makeFolder("CONTAB", {longName});
  list->ReloadList();
  auto failure = [&](const QString& name) {
    selectRows(list, {static_cast<int>(rowNames(list).indexOf(name))});
    NextBoxAnswer box(mrOk);
    DuplicateSelectedDocument(*list);
    return box.text();
  };
  EXPECT_EQ(failure("Archivio"), "Impossibile duplicare il documento \"Archivio\": è una cartella, non un documento.");
  EXPECT_EQ(failure(longName), "Impossibile duplicare il documento \"" + longName + "\": il nome \"Copia di " +
                                   longName + "\" è troppo lungo (più di 255 byte).");
  QFile::remove(contab("Lettera.doc"));
  EXPECT_EQ(failure("Lettera.doc"), "Impossibile duplicare il documento \"Lettera.doc\": il documento non esiste più.");
  EXPECT_EQ(QDir(office.stampe() + "/CONTAB").entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST_F(Program, ThreeSelectedRowsActOnTheFirstAndNoneDoNothing) {
  auto form = startUsual();
  TShellListView* list = form->documentList();
  selectRows(list, {2, 0, 1});
  EXPECT_EQ(SelectedDocumentFile(*list), contab("Fattura.doc").toStdString());
  DuplicateSelectedDocument(*list);
  EXPECT_EQ(rowNames(list), (QStringList{"Copia di Fattura.doc", "Fattura.doc", "Lettera.doc", "Modulo.doc"}));

  list->selectionModel()->clearSelection();
  NextBoxAnswer none(mrYes);
  DeleteSelectedDocument(*list);
  DuplicateSelectedDocument(*list);
  QKeyEvent enterDown(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QKeyEvent enterUp(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(list, &enterDown);
  QApplication::sendEvent(list, &enterUp);
  WaitFor([] { return false; }, 50);
  EXPECT_FALSE(none.answered());
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_EQ(list->ItemCount(), 4);
}

// The rename toggle pairs each Enter release with its press: only a plain Enter pressed in
// the list counts, not a release whose press went to a box, a shortcut (Ctrl+Enter) or
// another window in between.
TEST_F(Program, EnterPressedAndReleasedInTheListOpensThenEndsTheCaptionEditor) {
  auto form = startUsual();
  form->show();
  TShellListView* list = form->documentList();
  selectRows(list, {0});
  auto send = [list](QEvent::Type type, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent key(type, Qt::Key_Return, modifiers);
    QApplication::sendEvent(list, &key);
  };
  send(QEvent::KeyRelease);
  send(QEvent::KeyPress, Qt::ControlModifier);
  send(QEvent::KeyRelease, Qt::ControlModifier);
  send(QEvent::KeyPress);
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(list, &deactivate);
  send(QEvent::KeyRelease);
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(form->renameArmed());

  send(QEvent::KeyPress);
  send(QEvent::KeyRelease);
  ASSERT_TRUE(list->LabelEditing());
  EXPECT_FALSE(form->renameArmed());
  auto* editor = list->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QKeyEvent enterDown(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QKeyEvent enterUp(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(editor, &enterDown);
  QApplication::sendEvent(editor, &enterUp);
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(form->renameArmed());
  EXPECT_TRUE(QFile::exists(contab("Fattura.doc")));
}

// The idle close with the delete question open answers it as the close box (2): the
// document stays, the window closes and the program is asked to end.
TEST_F(Program, IdleCloseEndsAnOpenQuestionWithTwoAndDeletesNothing) {
  auto form = startUsual();
  form->show();
  TShellListView* list = form->documentList();
  selectRows(list, {0});
  form->inactivityTimerForTesting()->start(50);
  QTimer::singleShot(2000, [] {  // a Yes long after the idle close must find no box
    if (auto* box = qobject_cast<TMessageForm*>(QApplication::activeModalWidget())) box->done(mrYes);
  });
  DeleteSelectedDocument(*list);
  EXPECT_TRUE(QFile::exists(contab("Fattura.doc")));
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(TApplication::instance()->terminated());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace velloria
