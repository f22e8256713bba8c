// Which category the document list shows: a category that cannot be shown empties the
// list (so no command reaches another category's document) and says why; the line below
// the list and the grid's marker always name the shown category, whatever the grid's mark.
#include "app/shown_category.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/category_colours.h"
#include "app/filter_bar.h"
#include "app/main_window.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

using testing::NextBoxAnswer;

class ShownCategoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTahoma();
    office.writeTable({{"Contabilità", "CONTAB", 1}, {"Lettere", "LETT", 1}, {"Senza cartella", "  ", 1}});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    office.makeFolder("LETT", {"Saluti.doc"});
    form = std::make_unique<TfrmMain>(std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    ASSERT_FALSE(form->startupFailed());
    list = form->documentList();
  }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }

  void visualizza() { form->findChild<QPushButton*>("BVisualizza")->click(); }
  // Ctrl+Canc through its menu item: true when it asked anything.
  bool deleteAsks() {
    NextBoxAnswer no(mrNo);
    form->findChild<QAction*>("Cancella1")->trigger();
    return no.answered();
  }
  QString lineText() const { return form->shownCategory()->Text(); }

  testing::TempOffice office;
  std::unique_ptr<TfrmMain> form;
  TShellListView* list = nullptr;
};

TEST_F(ShownCategoryTest, AFolderGoneSinceTheStartEmptiesTheListAndSaysWhyInItalian) {
  EXPECT_EQ(lineText(),
            "Categoria: Contabilità — Cartella: " + office.stampe() + "/CONTAB — 2 documenti");
  QDir(office.stampe() + "/LETT").removeRecursively();
  form->categoryTable()->Next();
  NextBoxAnswer box(mrOk);
  visualizza();
  EXPECT_EQ(box.text(), QString(kMissingCategoryFolderMessage) + office.stampe() + "/LETT");
  EXPECT_EQ(list->ItemCount(), 0) << "the list kept another category's documents";
  EXPECT_EQ(list->Root(), "");
  EXPECT_TRUE(lineText().startsWith("Categoria: Lettere — la cartella ")) << lineText().toStdString();
  EXPECT_EQ(list->accessibleName(), "Documenti della categoria Lettere");
  list->selectAll();
  EXPECT_FALSE(deleteAsks());
  EXPECT_TRUE(QFile::exists(office.stampe() + "/CONTAB/Fattura.doc"));

  form->categoryTable()->First();
  visualizza();
  EXPECT_EQ(list->ItemCount(), 2);
  EXPECT_TRUE(lineText().startsWith("Categoria: Contabilità — Cartella: "));
}

// A sub-folder entered with Enter is named on the category line; "Su", enabled only below
// the category's folder, goes back up one folder at a time.
TEST_F(ShownCategoryTest, TheLineNamesTheSubFolderShownAndSuGoesBackUp) {
  office.makeFolder("CONTAB/Archivio/Vecchi");
  list->ReloadList();
  list->setCurrentIndex(list->model()->index(0, 0));  // Archivio
  QToolButton* up = form->shownCategory()->UpButton();
  const QString contab = "Categoria: Contabilità — Cartella: " + office.stampe() + "/CONTAB";
  EXPECT_EQ(lineText(), contab + " — 2 documenti");
  EXPECT_FALSE(up->isEnabled());
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(list, &enter);
  EXPECT_EQ(lineText(), contab + "/Archivio — 0 documenti");
  EXPECT_EQ(list->accessibleDescription(), "Cartella: " + office.stampe() + "/CONTAB/Archivio");
  EXPECT_TRUE(up->isEnabled());
  QApplication::sendEvent(list, &enter);  // on Vecchi, the first row, selected on entering
  EXPECT_EQ(lineText(), contab + "/Archivio/Vecchi — 0 documenti");
  up->click();
  EXPECT_EQ(lineText(), contab + "/Archivio — 0 documenti");
  EXPECT_TRUE(up->isEnabled());
  up->click();
  EXPECT_EQ(lineText(), contab + " — 2 documenti");
  EXPECT_FALSE(up->isEnabled());
  up->click();
  EXPECT_EQ(list->RootShellFolder()->FullPath(), office.stampe() + "/CONTAB");

  QApplication::sendEvent(list, &enter);
  form->categoryTable()->Next();
  visualizza();
  EXPECT_EQ(lineText(),
            "Categoria: Lettere — Cartella: " + office.stampe() + "/LETT — 1 documento");
  EXPECT_FALSE(up->isEnabled());
}

// Asked again for the folder it shows, the list changes nothing: a folder removed since is
// still noticed.
TEST_F(ShownCategoryTest, TheShownCategorysOwnFolderRemovedEmptiesTheListOnVisualizza) {
  QDir(office.stampe() + "/CONTAB").removeRecursively();
  NextBoxAnswer box(mrOk);
  visualizza();
  EXPECT_TRUE(box.text().startsWith(kMissingCategoryFolderMessage));
  EXPECT_EQ(list->ItemCount(), 0);
}

// The whole Stampe folder moved away while a category is shown: the list empties by itself
// (no command reaches a path that is no more) and the line says so; moved back, the list
// shows the category again by itself.
TEST_F(ShownCategoryTest, TheShownFolderGoneEmptiesTheListAndItsReturnShowsItAgain) {
  const QString folder = office.stampe() + "/CONTAB";
  ASSERT_TRUE(QDir().rename(office.stampe(), office.stampe() + ".altrove"));
  list->ReloadList();  // what the folder's watcher does at the move
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_EQ(lineText(), "Categoria: Contabilità — la cartella " + folder +
                            " non esiste più o non è accessibile: nessun documento mostrato finché non torna");
  list->selectAll();
  EXPECT_FALSE(deleteAsks());
  ASSERT_TRUE(QDir().rename(office.stampe() + ".altrove", office.stampe()));
  EXPECT_TRUE(testing::WaitFor([&] { return list->ItemCount() == 2; }, 5000));
  EXPECT_EQ(lineText(), "Categoria: Contabilità — Cartella: " + folder + " — 2 documenti");
}

TEST_F(ShownCategoryTest, ABlankDirEmptiesTheListAfterTheRefusal) {
  form->categoryTable()->Last();
  NextBoxAnswer box(mrOk);
  visualizza();
  EXPECT_EQ(box.text(), kInvalidFolderMessage);
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_EQ(lineText(), "Categoria: Senza cartella — cartella non valida, nessun documento mostrato");
  EXPECT_FALSE(deleteAsks());
}

// The marker's pixels in `row`'s cell (grid rows count the title as 0) that differ from the
// cell's background.
int MarkerInk(TfrmMain& form, int row) {
  TDBGrid* grid = form.categoryGrid();
  QImage image = grid->viewport()->grab().toImage();
  QRect cell = grid->CellRect(0, row);
  QRect marker = ShownCategoryMarkerRect(cell);
  QColor background = image.pixelColor(cell.right() - 1, cell.bottom() - 1);
  int ink = 0;
  for (int x = marker.left(); x <= marker.right(); ++x) {
    for (int y = marker.top(); y <= marker.bottom(); ++y) ink += image.pixelColor(x, y) != background ? 1 : 0;
  }
  return ink;
}

TEST_F(ShownCategoryTest, TheGridMarksTheShownRowWhereverItsOwnMarkGoes) {
  form->show();
  QApplication::setActiveWindow(form.get());
  TDBGrid* grid = form->categoryGrid();
  grid->setFocus();
  QApplication::processEvents();
  EXPECT_GT(MarkerInk(*form, 1), 4);
  EXPECT_EQ(MarkerInk(*form, 2), 0);

  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(grid, &down);  // the mark moves, the list stays
  QApplication::processEvents();
  EXPECT_EQ(list->ItemCount(), 2);
  EXPECT_GT(MarkerInk(*form, 1), 4);
  EXPECT_EQ(MarkerInk(*form, 2), 0);

  visualizza();
  QApplication::processEvents();
  EXPECT_EQ(MarkerInk(*form, 1), 0);
  EXPECT_GT(MarkerInk(*form, 2), 4);
}

// The filter field narrows the rows and the line counts them; the commands act on the
// filtered rows, a reload keeps the filter, Escape clears it, and another category drops it.
TEST_F(ShownCategoryTest, TheFilterNarrowsTheRowsTheLineCountsThemAndCommandsActOnThem) {
  const QString contab = office.stampe() + "/CONTAB/";
  QLineEdit* field = form->filterBar()->Field();
  EXPECT_EQ(field->placeholderText(), kFilterPlaceholder);
  field->setText("LETT");
  ASSERT_EQ(list->ItemCount(), 1);
  EXPECT_TRUE(lineText().endsWith("/CONTAB — 1 di 2 documenti")) << lineText().toStdString();

  form->findChild<QAction*>("Duplica1")->trigger();
  EXPECT_TRUE(QFile::exists(contab + "Copia di Lettera.doc"));
  EXPECT_FALSE(QFile::exists(contab + "Copia di Fattura.doc"));
  EXPECT_TRUE(testing::WaitFor([&] { return list->ItemCount() == 2; }, 5000))
      << "the reload kept the filter";
  EXPECT_TRUE(lineText().endsWith(" — 2 di 3 documenti")) << lineText().toStdString();

  // Rows: Copia di Lettera.doc, Lettera.doc; the second row unfiltered is Fattura.doc.
  list->setCurrentIndex(list->model()->index(1, 0));
  NextBoxAnswer yes(mrYes);
  form->findChild<QAction*>("Cancella1")->trigger();
  EXPECT_TRUE(yes.answered());
  EXPECT_FALSE(QFile::exists(contab + "Lettera.doc"));
  EXPECT_TRUE(QFile::exists(contab + "Fattura.doc")) << "a row the filter hid was deleted";
  EXPECT_TRUE(testing::WaitFor([&] { return list->ItemCount() == 1; }, 5000));
  EXPECT_TRUE(lineText().endsWith(" — 1 di 2 documenti")) << lineText().toStdString();

  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(field, &escape);
  EXPECT_EQ(field->text(), "");
  EXPECT_EQ(list->ItemCount(), 2);
  EXPECT_TRUE(lineText().endsWith("/CONTAB — 2 documenti")) << lineText().toStdString();

  field->setText("fatt");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(field, &enter);
  EXPECT_EQ(lineText(),
            "Categoria: Contabilità — Cartella: " + contab.chopped(1) + " — 1 di 2 documenti")
      << "Enter in the field shows no other category";
  form->categoryTable()->Next();
  visualizza();
  EXPECT_EQ(field->text(), "") << "another category drops the filter";
  EXPECT_EQ(lineText(),
            "Categoria: Lettere — Cartella: " + office.stampe() + "/LETT — 1 documento");
}

}  // namespace
}  // namespace velloria
