// The search of every category folder: against `find -iname` on a made tree, the
// matching rules of the filter, the categories searched, stopping, and choosing a hit in
// the window, which shows its category with the document selected.
#include "app/document_search.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <set>

#include "app/application.h"
#include "app/filter_bar.h"
#include "app/main_window.h"
#include "app/search_results.h"
#include "app/shown_category.h"
#include "platform/fonts.h"
#include "shellview/name_match.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

std::set<std::string> Searched(const QString& root, const QString& text) {
  std::set<std::string> found;
  std::atomic<bool> stop{false};
  SearchFolderTree(root.toStdString(), NameMatchKey(text), stop,
                   [&](const std::string& path, const QString&) { found.insert(path); });
  return found;
}

std::set<std::string> FoundByFind(const QString& root, const QString& pattern) {
  QProcess find;
  find.start("find", {root, "-type", "f", "-iname", pattern, "-not", "-name", ".*"});
  EXPECT_TRUE(find.waitForFinished(10000));
  std::set<std::string> found;
  for (const QByteArray& line : find.readAllStandardOutput().split('\n')) {
    if (!line.isEmpty()) found.insert(line.toStdString());
  }
  return found;
}

TEST(SearchFolderTree, FindsWhatFindFindsInEveryFolderBelowAndAccentsBeside) {
  QTemporaryDir dir;
  const QString root = dir.path();
  QDir(root).mkpath("A/Archivio/2019");
  QDir(root).mkpath("B/vuota");
  for (const char* name :
       {"A/Fattura.doc", "A/lettera FATTURA.docx", "A/Archivio/fattura vecchia.doc",
        "A/Archivio/2019/Fattura 2019.doc", "A/Archivio/Altro.doc", "B/Preventivo.doc",
        "B/.fattura nascosta.doc", "B/~$fattura.doc", "A/Fatture/x"}) {
    QDir(root).mkpath(QFileInfo(root + "/" + name).path());
    testing::TempOffice::writeFile(root + "/" + name, "x");
  }
  QDir(root).mkpath("A/Fattura cartella");
  std::set<std::string> byFind = FoundByFind(root, "*fattura*");
  byFind.erase((root + "/B/~$fattura.doc").toStdString());  // Word's owner file, never listed
  EXPECT_EQ(Searched(root, "FATTURA"), byFind);
  EXPECT_EQ(byFind.size(), 4u);

  int fd = ::open((root.toStdString() + "/B/Citt\xe0.doc").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ::close(fd);
  testing::TempOffice::writeFile(root + "/A/Archivio/CITTÀ nuova.doc", "x");
  EXPECT_EQ(Searched(root, "citta"),
            std::set<std::string>({root.toStdString() + "/A/Archivio/CITTÀ nuova.doc",
                                   root.toStdString() + "/B/Citt\xe0.doc"}));
  ::unlink((root.toStdString() + "/B/Citt\xe0.doc").c_str());  // a name the folder cannot remove
}

class SearchWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTahoma();
    office.writeTable({{"Contabilità", "CONTAB", 1},
                       {"Lettere", "LETT", 1},
                       {"Ancora lettere", "LETT", 1},
                       {"Didattica", "DIDA", 2},
                       {"Senza cartella", "  ", 1}});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    office.makeFolder("CONTAB/Archivio", {"Lettera vecchia.doc"});
    office.makeFolder("LETT", {"Lettera al fornitore.doc", "Saluti.doc"});
    office.makeFolder("DIDA", {"Lettera scuola.doc"});
    form = std::make_unique<TfrmMain>(
        std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    ASSERT_FALSE(form->startupFailed());
  }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }

  testing::TempOffice office;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(SearchWindow, TheShownTypesFoldersAreSearchedOnceAndTheGridKeepsItsRow) {
  form->categoryTable()->Next();
  std::vector<SearchFolder> folders =
      CategoryFoldersToSearch(*form->categoryTable(), form->stampeFolder());
  ASSERT_EQ(folders.size(), 2u) << "the type's categories with a folder, each folder once";
  EXPECT_EQ(folders[0].category, "Contabilità");
  EXPECT_EQ(folders[1].category, "Lettere");
  EXPECT_EQ(form->categoryTable()->RecNo(), 2);
}

TEST_F(SearchWindow, AHitChosenShowsItsCategoryWithTheDocumentSelected) {
  form->filterBar()->Field()->setText("LETTERA");
  form->findChild<QAction*>("CercaOvunque")->trigger();
  auto* results = form->findChild<SearchResults*>("frmCerca");
  ASSERT_NE(results, nullptr);
  ASSERT_TRUE(testing::WaitFor([&] { return !results->Search().Running(); }, 10000));
  EXPECT_TRUE(results->Status().endsWith("\"LETTERA\": 3 documenti trovati"))
      << results->Status().toStdString();
  QTreeWidget* hits = results->Results();
  QStringList rows;
  for (int i = 0; i < hits->topLevelItemCount(); ++i) {
    rows << hits->topLevelItem(i)->text(0) + " | " + hits->topLevelItem(i)->text(1) + " | " +
                hits->topLevelItem(i)->text(2);
  }
  rows.sort();
  EXPECT_EQ(rows, QStringList({"Lettera al fornitore.doc | Lettere | ",
                               "Lettera vecchia.doc | Contabilità | Archivio",
                               "Lettera.doc | Contabilità | "}));

  QList<QTreeWidgetItem*> wanted = hits->findItems("Lettera al fornitore.doc", Qt::MatchExactly);
  ASSERT_EQ(wanted.size(), 1);
  hits->setCurrentItem(wanted.first());
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(hits, &enter);
  TShellListView* list = form->documentList();
  EXPECT_EQ(form->shownCategory()->Text(),
            "Categoria: Lettere — Cartella: " + office.stampe() + "/LETT — 2 documenti");
  ASSERT_NE(list->SelectedShellFolder(), nullptr);
  EXPECT_EQ(list->SelectedShellFolder()->ItemName(), "Lettera al fornitore.doc");
  EXPECT_EQ(list->ItemCount(), 2) << "the filter goes with the category";

  wanted = hits->findItems("Lettera vecchia.doc", Qt::MatchExactly);
  ASSERT_EQ(wanted.size(), 1);
  emit hits->itemActivated(wanted.first(), 0);
  EXPECT_EQ(list->ShownFolderText(), office.stampe() + "/CONTAB/Archivio");
  ASSERT_NE(list->SelectedShellFolder(), nullptr);
  EXPECT_EQ(list->SelectedShellFolder()->ItemName(), "Lettera vecchia.doc");
}

TEST_F(SearchWindow, AStoppedSearchSaysSoAndANewOneDropsTheOldHits) {
  for (int i = 0; i < 200; ++i)
    office.makeFolder(QString("CONTAB/Archivio/%1").arg(i), {"Lettera.doc"});
  DocumentSearch search;
  std::vector<bool> finished;
  QObject::connect(&search, &DocumentSearch::finished,
                   [&](bool stopped) { finished.push_back(stopped); });
  std::vector<SearchHit> hits;
  QObject::connect(&search, &DocumentSearch::found, [&](const std::vector<SearchHit>& batch) {
    hits.insert(hits.end(), batch.begin(), batch.end());
  });
  std::vector<SearchFolder> folders =
      CategoryFoldersToSearch(*form->categoryTable(), form->stampeFolder());
  search.Start(folders, "lettera");
  search.Stop();
  ASSERT_TRUE(testing::WaitFor([&] { return !finished.empty(); }, 10000));
  EXPECT_EQ(finished, std::vector<bool>{true});
  EXPECT_FALSE(search.Running());
  hits.clear();
  search.Start(folders, "saluti");
  ASSERT_TRUE(testing::WaitFor([&] { return finished.size() == 2; }, 10000));
  EXPECT_EQ(finished, std::vector<bool>({true, false}));
  ASSERT_EQ(hits.size(), 1u) << "hits of the stopped search came after the new start";
  EXPECT_EQ(hits[0].name, "Saluti.doc");
}

}  // namespace
}  // namespace velloria
