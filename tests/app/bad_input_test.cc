// Odd input reaching the running program: DIR values that climb out of the Stampe folder
// or name no folder, and documents with names Windows forbids, through the real main
// window on real folders offscreen.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "app/application.h"
#include "app/catalogue.h"
#include "app/document_commands.h"
#include "app/main_window.h"
#include "dataset/field.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

using testing::NextBoxAnswer;
using testing::TempOffice;

TEST(StampeFolderBounds, DotDotMayNotClimbAboveTheStampeFolder) {
  for (const char* inside :
       {"CONTAB", "", ".", "CONTAB/..", "./CONTAB", "A/B/../C", "/tmp", "CONTAB/"}) {
    EXPECT_TRUE(StaysInsideStampeFolder(inside)) << inside;
  }
  for (const char* outside :
       {"..", "../DATI", "CONTAB/../..", "CONTAB/../../DATI", "./..", "A/../../B", "../Stampe"}) {
    EXPECT_FALSE(StaysInsideStampeFolder(outside)) << outside;
  }
}

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTahoma(); }
  void TearDown() override { TApplication::instance()->resumeAfterTerminationForTesting(); }
  std::unique_ptr<TfrmMain> start() {
    auto form = std::make_unique<TfrmMain>(
        std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    EXPECT_FALSE(form->startupFailed());
    return form;
  }
  // Marks the current record as shown and runs Visualizza: its DIR is still refused and
  // the list stays in `root`.
  void expectRefusedEvenMarkedShown(TfrmMain& form, const QString& root) {
    xbase::TXbTable* table = form.categoryTable();
    table->Edit();
    table->FieldByName("VISUALIZZA").SetAsBoolean(true);
    table->Post();
    EXPECT_FALSE(ShowCategoryDocuments(*table, *form.documentList(), form.stampeFolder()));
    EXPECT_EQ(form.documentList()->Root(), root);
  }
  TempOffice office;
};

TEST_F(BadInput, ADirOutsideTheStampeFolderIsNoCategoryFolderAndIsRefusedByVisualizza) {
  office.writeTable({{"Padre", "..", 1}, {"Dati", "../DATI", 1}, {"Contabilità", "CONTAB", 1}});
  office.makeFolder("CONTAB", {"Lettera.doc"});
  auto form = start();
  xbase::TXbTable* table = form->categoryTable();
  table->SetFiltered(false);
  table->First();
  EXPECT_FALSE(table->FieldByName("VISUALIZZA").AsBoolean());
  table->Next();
  EXPECT_FALSE(table->FieldByName("VISUALIZZA").AsBoolean());
  EXPECT_EQ(form->documentList()->Root(), office.stampe() + "/CONTAB");

  table->First();
  expectRefusedEvenMarkedShown(*form, office.stampe() + "/CONTAB");
}

// DIR values written on Windows separate folders with backslashes.
TEST_F(BadInput, ABackslashDirNamesTheSubFolderAndStillCannotClimbOut) {
  office.writeTable({{"Fuori", "..\\DATI", 1}, {"Sotto", "DUE\\SUB", 1}});
  office.makeFolder("DUE/SUB", {"Lettera.doc"});
  auto form = start();
  xbase::TXbTable* table = form->categoryTable();
  EXPECT_EQ(form->documentList()->Root(), office.stampe() + "/DUE/SUB");
  table->SetFiltered(false);
  table->First();
  EXPECT_FALSE(table->FieldByName("VISUALIZZA").AsBoolean());
  expectRefusedEvenMarkedShown(*form, office.stampe() + "/DUE/SUB");
}

// Names a Windows machine of the office could not hold may still be made on the Linux
// share; the program lists them, duplicates them and deletes them like any other.
TEST_F(BadInput, DocumentsWithNamesWindowsForbidsAreListedDuplicatedAndDeleted) {
  const QStringList names = {"a:b.doc", "a*b.doc", "che?.doc", "q\"uote.doc", "<x>.doc",
                             "a|b.doc", "punto.",  "spazio ",  "CON",         "NUL.doc"};
  office.writeTable({{"Contabilità", "CONTAB", 1}});
  office.makeFolder("CONTAB", names);
  auto form = start();
  TShellListView* list = form->documentList();
  ASSERT_EQ(list->ItemCount(), names.size());
  auto select = [list](const QString& path) {
    int row = 0;
    while (row < list->ItemCount() && list->FolderAt(row)->FullPath() != path) ++row;
    list->selectionModel()->clearSelection();
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    return row < list->ItemCount();
  };
  for (const QString& name : names) {
    QString path = office.stampe() + "/CONTAB/" + name;
    ASSERT_TRUE(select(path)) << name.toStdString();
    DuplicateSelectedDocument(*list);
    EXPECT_EQ(TempOffice::readFile(office.stampe() + "/CONTAB/Copia di " + name), name.toUtf8());
    ASSERT_TRUE(select(path));
    NextBoxAnswer yes(mrYes);
    DeleteSelectedDocument(*list);
    EXPECT_FALSE(QFile::exists(path)) << name.toStdString();
  }
  EXPECT_EQ(list->ItemCount(), names.size());  // the copies
}

}  // namespace
}  // namespace velloria
