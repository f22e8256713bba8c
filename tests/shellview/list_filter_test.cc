// The list's filter on real folders: the matching rules (letter case, accents, names
// that are not UTF-8), the rows and selection it leaves, the document counts, reloads
// that keep it and folder changes that drop it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>

#include "shellview/name_match.h"
#include "shellview/shell_errors.h"
#include "shellview/shell_list_view.h"
#include "test_folders.h"

namespace velloria {
namespace {

using testing::TempFolder;

bool Matches(const QString& name, const QString& typed) {
  return NameMatches(name, NameMatchKey(typed));
}

TEST(NameMatch, LetterCaseAndAccentsAreIgnoredEitherWay) {
  EXPECT_TRUE(Matches("Città di Roma.doc", "citta"));
  EXPECT_TRUE(Matches("Città di Roma.doc", "CITTÀ"));
  EXPECT_TRUE(Matches("Citta di Roma.doc", "città")) << "an accent typed finds the plain letter";
  EXPECT_TRUE(Matches(QString::fromUtf8("Citta\xcc\x80.doc"), "città")) << "a decomposed accent";
  EXPECT_TRUE(Matches("ÉTÉ 2024 Perché.doc", "ete 2024 perche"));
  EXPECT_TRUE(Matches("Lettera.doc", ""));
  EXPECT_TRUE(Matches("Lettera al fornitore.doc", "AL FOR"));
  EXPECT_FALSE(Matches("Lettera.doc", "fattura"));
  EXPECT_FALSE(Matches("Lettera.doc", "lettere"));
}

class FilterTest : public ::testing::Test {
 protected:
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < list.ItemCount(); ++row) names << list.FolderAt(row)->ItemName();
    return names;
  }
  QStringList SelectedNames() const {
    QStringList names;
    for (int row = 0; row < list.ItemCount(); ++row) {
      if (list.selectionModel()->isRowSelected(row)) names << list.FolderAt(row)->ItemName();
    }
    return names;
  }
  void Select(int row) {
    list.selectionModel()->setCurrentIndex(
        list.model()->index(row, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  // A file whose name is the bytes `name`, as a Windows share may hold them; removed at
  // the end, as the temporary folder cannot remove a name that is not UTF-8.
  void AddRawFile(const std::string& name) {
    std::string path = temp.Path().toStdString() + "/" + name;
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    m_rawFiles.push_back(path);
  }
  void TearDown() override {
    for (const std::string& path : m_rawFiles) ::unlink(path.c_str());
  }

  TempFolder temp;
  TShellListView list;
  std::vector<std::string> m_rawFiles;
};

TEST_F(FilterTest, NamesNotInUtf8AreMatchedAsShownInCodePage1252) {
  AddRawFile("Citt\xe0 di Roma.doc");
  AddRawFile("Perch\xe9 no.doc");
  temp.AddFile("Altro.doc");
  list.SetRoot(temp.Path());
  list.SetFilter("CITTA");
  EXPECT_EQ(Names(), QStringList{"Città di Roma.doc"});
  list.SetFilter("perché");
  EXPECT_EQ(Names(), QStringList{"Perché no.doc"});
}

TEST_F(FilterTest, RowsNarrowAsTypedAndTheCountsFollow) {
  temp.AddFolder("Fatture vecchie");
  temp.AddFolder("Archivio");
  for (const char* name :
       {"Fattura marzo.doc", "fattura aprile.doc", "Lettera.doc", "Verbale.doc"}) {
    temp.AddFile(name);
  }
  list.SetRoot(temp.Path());
  EXPECT_FALSE(list.Filtered());
  EXPECT_EQ(list.DocumentCount(), 4) << "folders are not documents";
  list.SetFilter("fatt");
  EXPECT_TRUE(list.Filtered());
  EXPECT_EQ(Names(), QStringList({"Fatture vecchie", "fattura aprile.doc", "Fattura marzo.doc"}))
      << "folders first, then the usual order";
  EXPECT_EQ(list.ShownDocumentCount(), 2);
  EXPECT_EQ(list.DocumentCount(), 4);
  list.SetFilter("fattura m");
  EXPECT_EQ(Names(), QStringList{"Fattura marzo.doc"});
  list.SetFilter("nessuno");
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(list.SelectedItem(), -1);
  list.SetFilter("");
  EXPECT_FALSE(list.Filtered());
  EXPECT_EQ(list.ItemCount(), 6);
  EXPECT_EQ(list.ShownDocumentCount(), 4);
}

TEST_F(FilterTest, SelectedRowsStillShownStaySelectedElseTheFirstRowIs) {
  for (const char* name : {"a fattura.doc", "b lettera.doc", "c fattura.doc", "d lettera.doc"})
    temp.AddFile(name);
  list.SetRoot(temp.Path());
  Select(2);
  list.SetFilter("fattura");
  EXPECT_EQ(SelectedNames(), QStringList{"c fattura.doc"});
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "c fattura.doc")
      << "commands act on the selected item";
  list.SetFilter("lettera");
  EXPECT_EQ(SelectedNames(), QStringList{"b lettera.doc"})
      << "nothing selected is left: the first row";
  Select(1);
  list.SetFilter("");
  EXPECT_EQ(SelectedNames(), QStringList{"d lettera.doc"});
  EXPECT_EQ(list.currentIndex().row(), 3);
}

TEST_F(FilterTest, ReloadsKeepTheFilterAndTheSelection) {
  temp.AddFile("Fattura 1.doc");
  temp.AddFile("Lettera.doc");
  list.SetRoot(temp.Path());
  list.SetAutoRefresh(true);
  list.SetFilter("fattura");
  temp.AddFile("Fattura 2.doc");
  temp.AddFile("Memo.doc");
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.DocumentCount() == 4; }, 5000));
  EXPECT_EQ(Names(), QStringList({"Fattura 1.doc", "Fattura 2.doc"}));
  EXPECT_EQ(list.Filter(), "fattura");
  Select(1);
  QFile::remove(temp.PathOf("Fattura 1.doc"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.DocumentCount() == 3; }, 5000));
  EXPECT_EQ(Names(), QStringList{"Fattura 2.doc"});
  EXPECT_EQ(SelectedNames(), QStringList{"Fattura 2.doc"});
  list.ReloadList();
  EXPECT_EQ(list.Filter(), "fattura");
  EXPECT_EQ(Names(), QStringList{"Fattura 2.doc"});
}

TEST_F(FilterTest, AnotherFolderShownDropsTheFilter) {
  temp.AddFolder("Sotto");
  temp.AddFile("Sotto/Lettera.doc");
  temp.AddFile("Sotto/Fattura.doc");
  temp.AddFile("Fattura.doc");
  TempFolder other;
  other.AddFile("Verbale.doc");
  list.SetRoot(temp.Path());
  QSignalSpy dropped(&list, &TCustomShellListView::filterDropped);

  list.SetFilter("sot");
  ASSERT_EQ(Names(), QStringList{"Sotto"});
  Select(0);
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.Filter(), "");
  EXPECT_EQ(Names(), QStringList({"Fattura.doc", "Lettera.doc"})) << "the sub-folder shows whole";
  EXPECT_EQ(dropped.count(), 1);

  list.SetFilter("lett");
  list.GoUp();
  EXPECT_EQ(list.ItemCount(), 2);
  EXPECT_EQ(dropped.count(), 2);

  list.SetFilter("fatt");
  list.SetRoot(other.Path());
  EXPECT_EQ(Names(), QStringList{"Verbale.doc"});
  EXPECT_EQ(dropped.count(), 3);

  list.SetFilter("zzz");
  EXPECT_THROW(list.SetRoot(temp.PathOf("manca")), EInvalidPath);
  EXPECT_EQ(list.Filter(), "zzz") << "a refused folder leaves the list as it was";
  list.ClearRoot();
  EXPECT_EQ(list.Filter(), "");
}

TEST_F(FilterTest, ARenameOnTheFilteredListRenamesTheRowsItem) {
  for (const char* name : {"a.doc", "b fattura.doc", "c.doc", "d fattura.doc"}) temp.AddFile(name);
  list.SetRoot(temp.Path());
  list.SetFilter("fattura");
  ASSERT_EQ(Names(), QStringList({"b fattura.doc", "d fattura.doc"}));
  list.EndLabelEdit(1, "d fattura saldata.doc");
  EXPECT_TRUE(temp.Has("d fattura saldata.doc"));
  EXPECT_TRUE(temp.Has("b fattura.doc"));
  EXPECT_TRUE(temp.Has("c.doc"));
}

}  // namespace
}  // namespace velloria
