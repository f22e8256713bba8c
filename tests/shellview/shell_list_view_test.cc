// The folder list on real folders: root text rules and messages, enumeration and order,
// columns, reload selection, incremental search, navigation, and the model contract.
#include "shellview/shell_list_view.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "shellview/document_list.h"
#include "shellview/shell_errors.h"
#include "test_folders.h"

namespace velloria {
namespace {

using testing::TempFolder;

class ListTest : public ::testing::Test {
 protected:
  QStringList Names() const {
    QStringList names;
    for (int row = 0; row < list.ItemCount(); ++row) names << list.FolderAt(row)->ItemName();
    return names;
  }
  QString ErrorOfRoot(const QString& root) {
    try {
      list.SetRoot(root);
    } catch (const EInvalidPath& error) {
      return QString::fromStdString(error.what());
    }
    return QString();
  }
  void AddNumberedFiles(int count) {
    for (int i = 0; i < count; ++i) temp.AddFile(QStringLiteral("f%1.txt").arg(i, 2, 10, QLatin1Char('0')));
  }
  void Select(int row) {
    list.selectionModel()->select(list.model()->index(row, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }

  TempFolder temp;
  TShellListView list;
};

TEST_F(ListTest, SameRootTextInAnyCaseDoesNothing) {
  temp.AddFolder("Sotto");
  list.SetRoot(temp.Path());
  ASSERT_EQ(Names(), QStringList{"Sotto"});
  temp.AddFile("nuovo.doc");
  list.SetRoot(temp.Path().toUpper());  // would not even exist: never looked at
  EXPECT_EQ(Names(), QStringList{"Sotto"});
  IDListHolder sub(temp.IdOf("Sotto"));
  list.OpenFolderID(sub.get());
  list.SetRoot(temp.Path());
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.PathOf("Sotto"));
  EXPECT_EQ(list.Root(), temp.Path());
}

TEST_F(ListTest, UnusableRootRaisesAndKeepsEverything) {
  temp.AddFile("a.doc");
  list.SetRoot(temp.Path());
  EXPECT_EQ(ErrorOfRoot(""), "Error setting path: \"\"");
  EXPECT_EQ(ErrorOfRoot("/no/such/folder"), "Error setting path: \"/no/such/folder\"");
  EXPECT_EQ(ErrorOfRoot("C:"), "Error setting path: \"C:/\"");
  EXPECT_EQ(ErrorOfRoot("rfPrinters"), "Error setting path: \"rfPrinters\"");
  EXPECT_EQ(list.Root(), temp.Path());
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.Path());
  EXPECT_EQ(Names(), QStringList{"a.doc"});
}

TEST_F(ListTest, HiddenItemsAreLeftOutUnlessAsked) {
  temp.AddFile(".nascosto");
  temp.AddFile("~$ttera.doc");
  temp.AddFile("Lettera.doc");
  list.SetRoot(temp.Path());
  EXPECT_EQ(Names(), QStringList{"Lettera.doc"});
  list.SetObjectTypes(otFolders | otNonFolders | otHidden);
  EXPECT_EQ(list.ItemCount(), 3);
  list.SetObjectTypes(otFolders);
  EXPECT_EQ(list.ItemCount(), 0);
}

TEST_F(ListTest, FoldersFirstThenNaturalCaseInsensitiveOrder) {
  for (const char* name : {"Lettera 10.doc", "lettera 2.doc", "Beta.doc", "alfa.doc"}) temp.AddFile(name);
  temp.AddFolder("zeta");
  temp.AddFolder("Alfa");
  list.SetRoot(temp.Path());
  EXPECT_EQ(Names(), (QStringList{"Alfa", "zeta", "alfa.doc", "Beta.doc", "lettera 2.doc", "Lettera 10.doc"}));
  for (int row = 0; row + 1 < list.ItemCount(); ++row) {
    EXPECT_LT(TCustomShellListView::CompareListItems(list.FolderAt(row), list.FolderAt(row + 1)), 0);
  }
}

// Clicks on a title sort by it, a second click reverses; folders stay first, the order
// and the indicator stay through a reload, the selected item stays selected, and
// type-ahead searches the new order.
TEST_F(ListTest, ATitleClickSortsByItsColumnBothWaysFoldersFirst) {
  temp.AddFile("medio.doc", QByteArray(3000, 'x'));
  temp.AddFile("piccolo.txt", QByteArray(10, 'x'));
  temp.AddFile("grande.doc", QByteArray(20000, 'x'));
  QDateTime now = QDateTime::currentDateTime();
  int age = 0;
  for (const char* name : {"piccolo.txt", "grande.doc", "medio.doc"}) {  // oldest first
    QFile file(temp.PathOf(name));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.setFileTime(now.addDays(age++ - 10), QFileDevice::FileModificationTime);
  }
  temp.AddFolder("Zeta");
  temp.AddFolder("Alfa");
  // Folders of one time sort by name under the date column too.
  const struct timeval sameTime[2] = {{1700000000, 0}, {1700000000, 0}};
  for (const char* folder : {"Zeta", "Alfa"}) ASSERT_EQ(utimes(temp.PathOf(folder).toLocal8Bit().constData(), sameTime), 0);
  list.SetRoot(temp.Path());
  list.show();
  QHeaderView* header = list.header();
  auto clickTitle = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
  };
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
  Select(3);  // medio.doc
  clickTitle(1);
  EXPECT_EQ(Names(), (QStringList{"Alfa", "Zeta", "piccolo.txt", "medio.doc", "grande.doc"}));
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "medio.doc");
  clickTitle(1);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(Names(), (QStringList{"Zeta", "Alfa", "grande.doc", "medio.doc", "piccolo.txt"}));
  list.ReloadList();
  EXPECT_EQ(Names(), (QStringList{"Zeta", "Alfa", "grande.doc", "medio.doc", "piccolo.txt"}));
  EXPECT_EQ(header->sortIndicatorSection(), 1);
  clickTitle(3);
  EXPECT_EQ(Names(), (QStringList{"Alfa", "Zeta", "piccolo.txt", "grande.doc", "medio.doc"}));
  list.setFocus();
  QTest::keyClicks(&list, "g");
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "grande.doc");
  list.SortBy(0, Qt::AscendingOrder);
  EXPECT_EQ(Names(), (QStringList{"Alfa", "Zeta", "grande.doc", "medio.doc", "piccolo.txt"}));
}

TEST_F(ListTest, RootPathIsFoundDespiteLetterCase) {
  temp.AddFolder("Contabilita/Lettere");
  temp.AddFile("Contabilita/Lettere/a.doc");
  list.SetRoot(temp.Path() + "/CONTABILITA/lettere");
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.PathOf("Contabilita/Lettere"));
  EXPECT_EQ(Names(), QStringList{"a.doc"});
}

TEST_F(ListTest, RootChangedWhileFillingListsTheNewRoot) {
  temp.AddFolder("Uno");
  temp.AddFolder("Due");
  temp.AddFile("Uno/a.doc");
  temp.AddFile("Due/b.doc");
  temp.AddFile("Due/c.doc");
  list.SetRoot(temp.PathOf("Uno"));
  bool changed = false;
  list.OnAddFolder = [&](TCustomShellListView* sender, TShellFolder*, bool&) {
    if (changed) return;
    changed = true;
    sender->SetRoot(temp.PathOf("Due"));  // as an event loop inside the handler could
  };
  list.ReloadList();
  list.OnAddFolder = nullptr;
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.PathOf("Due"));
  EXPECT_EQ(Names(), (QStringList{"b.doc", "c.doc"}));
}

TEST_F(ListTest, AddFolderEventVetoesItems) {
  temp.AddFile("tieni.doc");
  temp.AddFile("scarta.doc");
  list.OnAddFolder = [](TCustomShellListView*, TShellFolder* folder, bool& canAdd) {
    canAdd = !folder->ItemName().startsWith("scarta");
  };
  list.SetRoot(temp.Path());
  EXPECT_EQ(Names(), QStringList{"tieni.doc"});
}

TEST_F(ListTest, ColumnsStopAtTheFirstColumnOffByDefault) {
  temp.AddFile("a.doc", QByteArray(2048, 'x'));
  list.SetRoot(temp.Path());
  ASSERT_EQ(list.Columns().size(), 4u);
  QStringList titles;
  for (const TListColumn& column : list.Columns()) titles << column.title;
  EXPECT_EQ(titles, (QStringList{"Name", "Size", "Type", "Modified"}));
  EXPECT_EQ(list.Columns()[1].alignment, Qt::AlignRight);
  int x = list.fontMetrics().horizontalAdvance('X');
  EXPECT_EQ(list.Columns()[1].width, 10 * x);
  EXPECT_EQ(list.RowData(0, 0, Qt::DisplayRole).toString(), "a.doc");
  EXPECT_EQ(list.RowData(0, 1, Qt::DisplayRole).toString(), "2 KB");
  EXPECT_FALSE(list.RowData(0, 3, Qt::DisplayRole).toString().isEmpty());
  // The wording is the MIME database's, which the installed desktop packages change.
  QString wordType = QMimeDatabase().mimeTypeForName("application/msword").comment();
  EXPECT_EQ(list.RowData(0, 2, Qt::DisplayRole).toString(), wordType);
  EXPECT_FALSE(list.RowData(1, 0, Qt::DisplayRole).isValid());
}

// The icons are read from the theme after the list's first paint; until then each row has
// a blank of the same size, so the rows keep their height. A rename that changes the
// extension changes the icon.
TEST_F(ListTest, IconsFollowTheFirstPaintAndTheNameOfTheItem) {
  temp.AddFile("a.doc");
  temp.AddFile("b.txt");
  list.SetRoot(temp.Path());
  auto icon = [&](int row) { return list.RowData(row, 0, Qt::DecorationRole).value<QIcon>(); };
  QSize size = icon(0).availableSizes().value(0);
  ASSERT_FALSE(size.isEmpty());
  qint64 blank = icon(0).cacheKey();
  EXPECT_EQ(icon(1).cacheKey(), blank);
  EXPECT_EQ(icon(0).pixmap(size).toImage().pixelColor(size.width() / 2, size.height() / 2).alpha(), 0);
  int blankRowHeight = list.sizeHintForRow(0);

  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  QTRY_VERIFY(icon(0).cacheKey() != blank);
  EXPECT_NE(icon(0).cacheKey(), icon(1).cacheKey());
  EXPECT_EQ(list.sizeHintForRow(0), blankRowHeight);
  EXPECT_EQ(icon(0).actualSize(size), size);

  list.OnExtensionChange = [](TCustomShellListView*, const QString&, const QString&) { return true; };
  list.EndLabelEdit(0, "a.txt");
  QTRY_COMPARE(list.FolderAt(0)->ItemName(), QString("a.txt"));
  EXPECT_EQ(icon(0).cacheKey(), icon(1).cacheKey());
}

// A width the user sets stays with its column through reloads, other folders and
// refills; the other columns keep their own widths.
TEST_F(ListTest, WidthsTheUserSetsAreKept) {
  temp.AddFolder("Uno");
  temp.AddFolder("Due");
  temp.AddFile("Uno/a.doc");
  list.SetRoot(temp.PathOf("Uno"));
  QHeaderView* header = list.header();
  int nameWidth = header->sectionSize(0);
  ASSERT_GE(nameWidth, list.Columns()[0].width);
  header->resizeSection(2, 333);  // as a drag of the title's edge does
  list.ReloadList();
  EXPECT_EQ(header->sectionSize(2), 333);
  list.SetRoot(temp.PathOf("Due"));
  list.SetSorted(false);
  EXPECT_EQ(header->sectionSize(2), 333);
  EXPECT_EQ(header->sectionSize(0), nameWidth);
}

// The selection follows its item through a reload; an item gone leaves the selection at
// its position, or none past the last row.
TEST_F(ListTest, ReloadKeepsTheSelectedItemOrElseItsPosition) {
  AddNumberedFiles(10);
  list.SetRoot(temp.Path());
  Select(3);
  QFile::remove(temp.PathOf("f00.txt"));
  list.ReloadList();
  EXPECT_EQ(list.ItemCount(), 9);
  EXPECT_EQ(list.SelectedItem(), 2);
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "f03.txt");
  EXPECT_EQ(list.Root(), temp.Path());

  QFile::remove(temp.PathOf("f03.txt"));
  list.ReloadList();
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "f04.txt");

  Select(7);
  QFile::remove(temp.PathOf("f09.txt"));
  list.ReloadList();
  EXPECT_EQ(list.ItemCount(), 7);
  EXPECT_EQ(list.SelectedItem(), -1);
  EXPECT_EQ(list.SelectedShellFolder(), nullptr);
}

// A reload keeps the scroll position, but rows added above the selected one must not
// push it out of view.
TEST_F(ListTest, ReloadKeepsTheSelectedRowInView) {
  AddNumberedFiles(60);
  list.resize(300, 150);
  list.show();
  list.SetRoot(temp.Path());
  Select(50);
  list.setCurrentIndex(list.model()->index(50, 0));
  list.scrollTo(list.model()->index(50, 0));
  for (int i = 0; i < 40; ++i)
    temp.AddFile(QStringLiteral("a%1.txt").arg(i, 2, 10, QLatin1Char('0')));
  list.ReloadList();
  ASSERT_EQ(list.SelectedShellFolder()->ItemName(), "f50.txt");
  QRect row = list.visualRect(list.model()->index(list.SelectedItem(), 0));
  EXPECT_TRUE(list.viewport()->rect().contains(row)) << row.y();
}

// Every folder shown starts with its first row current and selected, so that the
// commands on the selected document work at once; a sub-folder entered can be left up to
// the folder Root names and is named for display.
TEST_F(ListTest, EveryFolderShownStartsWithItsFirstRowSelected) {
  temp.AddFolder("Sotto/Fondo");
  temp.AddFile("Sotto/b.doc");
  temp.AddFile("a.doc");
  QSignalSpy shown(&list, &TCustomShellListView::folderShown);
  list.SetStaysInRoot(true);
  list.SetRoot(temp.Path());
  EXPECT_EQ(list.currentIndex().row(), 0);
  EXPECT_EQ(list.selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(list.SelectedItem(), 0);
  EXPECT_FALSE(list.CanGoUp());
  EXPECT_EQ(list.ShownFolderText(), temp.Path());
  IDListHolder below(temp.IdOf("Sotto"));
  list.OpenFolderID(below.get());
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "Fondo");
  EXPECT_TRUE(list.CanGoUp());
  EXPECT_EQ(list.ShownFolderText(), temp.PathOf("Sotto"));
  Select(1);
  list.ReloadList();  // the reload keeps the selection instead
  EXPECT_EQ(list.selectionModel()->selectedRows().size(), 1);
  EXPECT_EQ(list.SelectedShellFolder()->ItemName(), "b.doc");
  list.GoUp();
  EXPECT_FALSE(list.CanGoUp());
  list.ClearRoot();
  EXPECT_FALSE(list.CanGoUp());
  EXPECT_EQ(list.ShownFolderText(), "");
  EXPECT_GE(shown.count(), 5);
}

// In a wide list the name column takes the room the other columns leave, never less
// than its own width; a width the user gives the name column is kept.
TEST_F(ListTest, NameColumnTakesTheSpareWidthUntilTheUserSetsIt) {
  temp.AddFile("a.doc");
  list.SetRoot(temp.Path());
  QHeaderView* header = list.header();
  auto othersWidth = [&] {
    int width = 0;
    for (int section = 1; section < header->count(); ++section)
      width += header->sectionSize(section);
    return width;
  };
  list.resize(1400, 300);
  list.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(header->sectionSize(0), list.viewport()->width() - othersWidth());
  header->resizeSection(2, header->sectionSize(2) + 100);  // a drag of Type's edge
  EXPECT_EQ(header->sectionSize(0), list.viewport()->width() - othersWidth());
  EXPECT_FALSE(list.horizontalScrollBar()->isVisible());
  list.resize(300, 300);
  QCoreApplication::processEvents();
  int ownWidth = header->sectionSize(0);
  EXPECT_GE(ownWidth, list.Columns()[0].width);
  EXPECT_GT(othersWidth() + ownWidth, list.viewport()->width());
  header->resizeSection(0, 90);  // a drag of Name's edge
  list.resize(1400, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(header->sectionSize(0), 90);
}

// The shown folder removed (or its share gone) while watched: the list empties by itself,
// says the folder is missing, and shows it again by itself when it comes back.
TEST_F(ListTest, AShownFolderThatGoesEmptiesTheListAndComesBackByItself) {
  temp.AddFolder("Sotto");
  temp.AddFile("Sotto/a.doc");
  list.SetRoot(temp.PathOf("Sotto"));
  list.SetAutoRefresh(true);
  int shown = 0;
  QObject::connect(&list, &TCustomShellListView::folderShown, [&] { ++shown; });
  ASSERT_TRUE(QDir(temp.Path()).rename("Sotto", "Altrove"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.FolderMissing(); }, 5000));
  EXPECT_EQ(list.ItemCount(), 0);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.PathOf("Sotto"));
  list.ReloadList();  // F5 while it is missing changes nothing
  EXPECT_EQ(shown, 1);
  ASSERT_TRUE(QDir(temp.Path()).rename("Altrove", "Sotto"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !list.FolderMissing() && list.ItemCount() == 1; }, 5000));
  EXPECT_EQ(shown, 2);
  temp.AddFile("Sotto/b.doc");  // watched again
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 2; }, 5000));
}

TEST_F(ListTest, SelectedItemIsTheLowestSelectedRow) {
  AddNumberedFiles(6);
  list.SetRoot(temp.Path());
  list.clearSelection();  // the first row shown is selected
  list.selectionModel()->select(list.model()->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list.selectionModel()->select(list.model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(list.SelectedItem(), 2);
  EXPECT_THROW(list.FolderAt(6), EListError);
}

TEST_F(ListTest, IncrementalSearchStartsAtTheIndexAndWraps) {
  for (const char* name : {"Alfa.doc", "beta.doc", "Gamma.doc", "delta.doc", "Bravo.doc"}) temp.AddFile(name);
  list.SetRoot(temp.Path());  // Alfa, beta, Bravo, delta, Gamma
  EXPECT_EQ(list.FindItemByText("b", 0, false), 1);
  EXPECT_EQ(list.FindItemByText("B", 2, false), 2);
  EXPECT_EQ(list.FindItemByText("b", 3, false), -1);
  EXPECT_EQ(list.FindItemByText("b", 3, true), 1);
  EXPECT_EQ(list.FindItemByText("BR", 3, true), 2);
  EXPECT_EQ(list.FindItemByText("zz", 4, true), -1);
}

TEST_F(ListTest, GoUpClimbsToTheDesktopAndStops) {
  temp.AddFolder("Sotto");
  list.SetRoot(temp.PathOf("Sotto"));
  list.GoUp();
  EXPECT_EQ(list.RootShellFolder()->FullPath(), temp.Path());
  list.SetRoot("/");
  int rows = list.ItemCount();
  list.GoUp();
  EXPECT_EQ(list.RootShellFolder()->FullPath(), "/");
  EXPECT_EQ(list.ItemCount(), rows);
}

TEST_F(ListTest, ModelContractHoldsThroughRefills) {
  temp.AddFolder("Sotto");
  AddNumberedFiles(5);
  QAbstractItemModelTester tester(list.model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  list.SetRoot(temp.Path());
  list.ReloadList();
  list.SetSorted(false);
  EXPECT_EQ(list.ItemCount(), 6);
  list.GoUp();
  list.ReleaseItems();
  EXPECT_EQ(list.model()->rowCount(), 0);
}

TEST_F(ListTest, AutoRefreshFollowsTheShownFolder) {
  temp.AddFolder("Sotto");
  list.SetRoot(temp.Path());
  list.SetAutoRefresh(true);
  temp.AddFile("nuovo.doc");
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 2; }, 5000));
  list.SetRoot(temp.PathOf("Sotto"));  // the watcher moves with the root
  temp.AddFile("Sotto/altro.doc");
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 1; }, 5000));
  EXPECT_TRUE(list.AutoRefresh());
}

// A change notice reloads the list keeping the selected items, the current row and the
// scroll position; while a caption editor is open the reload waits for the edit to end.
TEST_F(ListTest, AutoRefreshKeepsSelectionCurrentRowAndAnOpenEditor) {
  AddNumberedFiles(60);
  list.SetRoot(temp.Path());
  list.resize(300, 200);
  list.show();
  list.SetAutoRefresh(true);
  list.clearSelection();  // the first row shown is selected
  auto select = [&](int row) {
    list.selectionModel()->select(list.model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  };
  select(40);
  select(45);
  list.selectionModel()->setCurrentIndex(list.model()->index(50, 0), QItemSelectionModel::NoUpdate);
  list.scrollTo(list.model()->index(50, 0));
  int scroll = list.verticalScrollBar()->value();
  QString current = list.FolderAt(50)->ItemName();
  temp.AddFile("00 primo.doc");  // sorts first: every row moves down by one
  ASSERT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 61; }, 5000));
  EXPECT_EQ(list.FolderAt(list.currentIndex().row())->ItemName(), current);
  QStringList selected;
  for (const QModelIndex& index : list.selectionModel()->selectedRows()) selected << QString::number(index.row());
  selected.sort();
  EXPECT_EQ(selected, QStringList({"41", "46"}));
  EXPECT_EQ(list.verticalScrollBar()->value(), scroll);

  ASSERT_TRUE(list.BeginLabelEdit(3));
  auto* editor = list.findChild<QLineEdit*>();
  editor->setText("in corso");
  temp.AddFile("01 secondo.doc");
  QTest::qWait(600);
  EXPECT_TRUE(list.LabelEditing());
  EXPECT_EQ(editor->text(), "in corso");
  EXPECT_EQ(list.ItemCount(), 61);
  list.AbandonLabelEdit();
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 62; }, 5000));
}

// On a network folder the list checks the folder itself while its window is active: a
// colleague's new document, rename and deletion show; nothing is checked while inactive.
TEST_F(ListTest, NetworkFolderIsPolledWhileTheWindowIsActive) {
  struct NetworkFolders {
    NetworkFolders() {
      shell::TreatFoldersAsNetworkForTesting(true);
      shell::FolderWatcher::SetPollIntervalForTesting(50);
    }
    ~NetworkFolders() {
      shell::TreatFoldersAsNetworkForTesting(false);
      shell::FolderWatcher::SetPollIntervalForTesting(0);
    }
  } network;
  temp.AddFile("Lettera.doc");
  list.SetRoot(temp.Path());
  list.show();
  list.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
  list.SetAutoRefresh(true);
  ASSERT_NE(list.FolderWatcherForTesting(), nullptr);
  ASSERT_TRUE(list.FolderWatcherForTesting()->Polls());
  temp.AddFile("Copia di Lettera.doc");
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.ItemCount() == 2; }, 5000));
  QFile::rename(temp.PathOf("Lettera.doc"), temp.PathOf("Circolare.doc"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return list.FindItemByText("Circolare", 0, true) >= 0; }, 5000));
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(&list, &deactivate);
  QFile::remove(temp.PathOf("Circolare.doc"));
  QTest::qWait(300);
  EXPECT_EQ(list.ItemCount(), 2);
}

TEST(DocumentList, ConfiguredAsTheMainWindowList) {
  QWidget window;
  TShellListView* list = CreateDocumentList(&window);
  EXPECT_EQ(list->objectName(), "SLVDoc");
  EXPECT_EQ(list->Root(), "");
  EXPECT_EQ(list->RootShellFolder(), nullptr);
  EXPECT_EQ(list->ItemCount(), 0);
  EXPECT_EQ(list->Columns().size(), 4u);  // the titles show over the empty list
  EXPECT_TRUE(list->StaysInRoot());
  EXPECT_FALSE(list->AutoContextMenus());
  EXPECT_TRUE(list->AutoRefresh());
  EXPECT_TRUE(list->AutoNavigate());
  EXPECT_TRUE(list->Sorted());
  EXPECT_FALSE(list->ReadOnly());
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(list->font().pixelSize(), 11);
  list->GoUp();
  list->ReloadList();
  list->SetSorted(false);
  EXPECT_EQ(list->ItemCount(), 0);
}

// Backspace and GoUp stop at the folder Root names, even after a visit to a sub-folder
// or a reload; a new Root moves the limit. Without the limit the list climbs on.
TEST(DocumentList, ClimbsNoHigherThanTheFolderItWasShown) {
  TempFolder temp;
  temp.AddFolder("Categoria/Sotto/Fondo");
  temp.AddFolder("Altra");
  QWidget window;
  TShellListView* list = CreateDocumentList(&window);
  list->SetRoot(temp.PathOf("Categoria"));
  auto shown = [&] { return list->RootShellFolder()->FullPath(); };
  QTest::keyClick(list, Qt::Key_Backspace);
  EXPECT_EQ(shown(), temp.PathOf("Categoria"));
  IDListHolder deep(temp.IdOf("Categoria/Sotto/Fondo"));
  list->OpenFolderID(deep.get());
  list->ReloadList();
  QTest::keyClick(list, Qt::Key_Backspace);
  EXPECT_EQ(shown(), temp.PathOf("Categoria/Sotto"));
  list->GoUp();
  list->GoUp();
  EXPECT_EQ(shown(), temp.PathOf("Categoria"));
  EXPECT_EQ(list->ItemCount(), 1);

  list->SetRoot(temp.PathOf("Altra"));
  list->GoUp();
  EXPECT_EQ(shown(), temp.PathOf("Altra"));
  list->SetStaysInRoot(false);
  list->GoUp();
  EXPECT_EQ(shown(), temp.Path());
}

}  // namespace
}  // namespace velloria
