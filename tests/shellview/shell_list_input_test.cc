// Editing and activation on a shown list: the caption editor, the key path with and
// without a default button, Enter, Alt+Enter, Backspace, F5, double-click, context menu.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "shellview/document_drag.h"
#include "shellview/document_list.h"
#include "shellview/shell_errors.h"
#include "shellview/shell_list_view.h"
#include "shellview/shell_properties_dialog.h"
#include "test_folders.h"

namespace velloria {
namespace {

using testing::TempFolder;

// Records what would have been started or shown instead of starting it.
class ActionRecorder {
 public:
  ActionRecorder() {
    m_previousLauncher = shell::SetDefaultActionLauncherForTesting([this](const std::string& path) {
      launched.push_back(QString::fromStdString(path));
      return true;
    });
    m_previousPresenter = shell::SetPropertiesPresenter(
        [this](const std::string& path) { shown.push_back(QString::fromStdString(path)); });
    m_previousFailure = SetShellViewFailureHandlerForTesting([this](std::exception_ptr failure) {
      try {
        std::rethrow_exception(failure);
      } catch (const std::exception& error) {
        failures.push_back(QString::fromStdString(error.what()));
      }
    });
  }
  ~ActionRecorder() {
    shell::SetDefaultActionLauncherForTesting(m_previousLauncher);
    shell::SetPropertiesPresenter(m_previousPresenter);
    SetShellViewFailureHandlerForTesting(m_previousFailure);
  }
  QStringList launched, shown, failures;

 private:
  shell::Launcher m_previousLauncher;
  shell::PropertiesPresenter m_previousPresenter;
  TFailureHandler m_previousFailure;
};

class InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.AddFolder("Sotto");
    temp.AddFile("Lettera.doc");
    temp.AddFile("Modulo.doc");
    list = new TShellListView(&window);
    new QVBoxLayout(&window);
    window.layout()->addWidget(list);
    list->SetRoot(temp.Path());  // Sotto, Lettera.doc, Modulo.doc
    window.show();
    list->setFocus();
  }
  void Select(int row) {
    list->setCurrentIndex(list->model()->index(row, 0));
  }
  QLineEdit* OpenEditor(int row) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // editors closed before
    EXPECT_TRUE(list->BeginLabelEdit(row));
    return list->findChild<QLineEdit*>();
  }
  // Opens row's name editor, puts `name` in it and ends the edit keeping the text, as a
  // click elsewhere does; what the end runs later (a question, the editor opened again
  // after a refusal) has run on return.
  void RenameInEditor(int row, const QString& name) {
    QLineEdit* editor = OpenEditor(row);
    ASSERT_NE(editor, nullptr);
    editor->setText(name);
    list->CancelLabelEdit();
    QCoreApplication::processEvents();
  }

  ActionRecorder recorder;
  TempFolder temp;
  QWidget window;
  TShellListView* list = nullptr;
};

TEST_F(InputTest, EditorSelectsTheNameUpToItsExtensionAndRenamesOnEnter) {
  Select(1);
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(list->LabelEditing());
  EXPECT_EQ(editor->selectedText(), "Lettera");
  QTest::keyClicks(editor, "Lettera2");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the view ends the edit from a queued call
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(temp.Has("Lettera2.doc"));
  EXPECT_EQ(list->model()->index(1, 0).data().toString(), "Lettera2.doc");
  // Enter reached the editor, so the Enter handling ran for the selected document first.
  EXPECT_EQ(recorder.launched, QStringList{temp.PathOf("Lettera.doc")});
}

// While the editor is open another desk renames the document and gives its name to
// another one: ending the edit renames neither and says why.
TEST_F(InputTest, ARenameActsOnlyOnTheDocumentWhoseEditorWasOpened) {
  temp.AddFile("Vecchio.doc", "vecchio");
  Select(1);  // Enter in the editor first runs the Enter of the selected row
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(QFile::rename(temp.PathOf("Lettera.doc"), temp.PathOf("Lettera Mario.doc")));
  ASSERT_TRUE(QFile::rename(temp.PathOf("Vecchio.doc"), temp.PathOf("Lettera.doc")));
  QTest::keyClicks(editor, "Verbale");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_FALSE(temp.Has("Verbale.doc"));
  EXPECT_TRUE(temp.Has("Lettera Mario.doc"));
  QFile moved(temp.PathOf("Lettera.doc"));
  ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
  EXPECT_EQ(moved.readAll(), "vecchio");
  ASSERT_EQ(recorder.failures.size(), 1);
  EXPECT_EQ(recorder.failures[0],
            "Rename to Verbale.doc failed.\nMeanwhile the document has been renamed or replaced at "
            "another desk: its name now leads to another file, which was left as it is.");
}

TEST_F(InputTest, BeginLabelEditLeavesTheSelectionAlone) {
  Select(2);
  ASSERT_NE(OpenEditor(1), nullptr);
  EXPECT_EQ(list->SelectedItem(), 2);
}

// Every refused name keeps the old one and says why, on the line after "Rename to X
// failed."; the names that would hide the document are refused too.
TEST_F(InputTest, RefusedRenamesSayWhyAndKeepTheOldName) {
  const std::pair<QString, QString> cases[] = {
      {"Modulo.doc", "A document or folder with this name already exists."},
      {"MODULO.doc", "A document or folder with this name written in other capital and small letters already exists."},
      {".Lettera riservata.doc", "A name cannot begin with a dot: the document would be hidden"},
      {"a:b.doc", "A name cannot contain any of the characters \\ / : * ? \" < > |"},
      {"Lettera.doc.", "A name cannot end with a dot or a blank."},
      {"Lettera.doc ", "A name cannot end with a dot or a blank."},
      {"CON.doc", "Windows keeps this name for a device"},
      {"Thumbs.db", "Windows and Office keep this name"},
      {QString(300, 'x') + ".doc", "The name is too long (more than 255 bytes)."},
      {"", "The name cannot be empty."},
  };
  for (const auto& [name, reason] : cases) {
    recorder.failures.clear();
    QLineEdit* editor = OpenEditor(1);
    ASSERT_NE(editor, nullptr);
    editor->setText(name);
    list->CancelLabelEdit();  // ends the edit keeping the typed text
    ASSERT_EQ(recorder.failures.size(), 1) << name.toStdString();
    EXPECT_TRUE(recorder.failures[0].startsWith("Rename to " + name + " failed.\n" + reason))
        << recorder.failures[0].toStdString();
    EXPECT_EQ(list->model()->index(1, 0).data().toString(), "Lettera.doc");
  }
  EXPECT_EQ(QDir(temp.Path()).entryList(QDir::Files), QStringList({"Lettera.doc", "Modulo.doc"}));
}

// A refused name opens the editor again with what was typed, only once the box saying
// why has closed (an editor under a modal box would end at once), so that the user can
// correct it; the corrected name then renames.
TEST_F(InputTest, RefusedNameReopensTheEditorWithTheTypedTextAfterTheBox) {
  auto openEditor = [&] {
    return qobject_cast<QLineEdit*>(list->indexWidget(list->model()->index(1, 0)));
  };
  Select(1);
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  editor->setText("Modulo.doc");  // taken
  list->CancelLabelEdit();
  QDialog box(&window);  // the failure box, opened from a queued call before the reopen
  box.setModal(true);
  box.show();
  QTest::qWait(300);
  EXPECT_FALSE(list->LabelEditing());
  box.close();
  QTest::qWait(300);
  ASSERT_TRUE(list->LabelEditing());
  ASSERT_NE(openEditor(), nullptr);
  EXPECT_EQ(openEditor()->text(), "Modulo.doc");
  EXPECT_EQ(openEditor()->selectedText(), "Modulo");
  QTest::keyClicks(openEditor(), "Modulo2");
  QTest::keyClick(openEditor(), Qt::Key_Return);
  QTest::qWait(50);
  EXPECT_TRUE(temp.Has("Modulo2.doc"));
  EXPECT_FALSE(temp.Has("Lettera.doc"));
  EXPECT_EQ(recorder.failures.size(), 1);
}

// A new name loses its leading blanks, as a Windows desk drops them, and the list says
// so after the rename; a name of blanks only stays refused as empty.
TEST_F(InputTest, LeadingBlanksAreDroppedFromANewNameAndSaid) {
  QStringList told;
  list->OnLeadingBlanksRemoved = [&](TCustomShellListView*, const QString& name) { told << name; };
  RenameInEditor(1, "  Primo.doc");
  EXPECT_TRUE(temp.Has("Primo.doc"));
  EXPECT_FALSE(temp.Has("  Primo.doc"));
  EXPECT_EQ(list->model()->index(1, 0).data().toString(), "Primo.doc");
  EXPECT_EQ(told, QStringList{"Primo.doc"});
  EXPECT_TRUE(recorder.failures.isEmpty());

  told.clear();
  RenameInEditor(1, "   ");
  EXPECT_EQ(recorder.failures, QStringList{"Rename to  failed.\nThe name cannot be empty."});
  EXPECT_TRUE(told.isEmpty());
  EXPECT_TRUE(temp.Has("Primo.doc"));
}

TEST_F(InputTest, RenameOfADocumentGoneMeanwhileSaysSo) {
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  QFile::remove(temp.PathOf("Lettera.doc"));
  editor->setText("Nuovo.doc");
  list->CancelLabelEdit();
  EXPECT_EQ(recorder.failures, QStringList{"Rename to Nuovo.doc failed.\nThe document is no longer there: it has "
                                           "been renamed, moved or deleted meanwhile."});
  EXPECT_FALSE(temp.Has("Nuovo.doc"));
}

// A changed, added or removed extension is asked about once the edit has ended; a
// different letter case of the same extension, and folders, are not.
TEST_F(InputTest, ChangedExtensionIsAskedBeforeRenaming) {
  QStringList asked;
  bool answer = false;
  list->OnExtensionChange = [&](TCustomShellListView*, const QString& from, const QString& to) {
    EXPECT_FALSE(list->LabelEditing());
    asked << from + ">" + to;
    return answer;
  };
  RenameInEditor(1, "Lettera");
  EXPECT_EQ(asked, QStringList{"Lettera.doc>Lettera"});
  EXPECT_TRUE(temp.Has("Lettera.doc"));
  answer = true;
  RenameInEditor(1, "Lettera.txt");
  EXPECT_TRUE(temp.Has("Lettera.txt"));
  RenameInEditor(1, "Lettera.TXT");
  RenameInEditor(0, "Sotto.bak");
  EXPECT_EQ(asked.size(), 2);
  EXPECT_TRUE(temp.Has("Lettera.TXT"));
  EXPECT_TRUE(temp.Has("Sotto.bak"));
  EXPECT_TRUE(recorder.failures.isEmpty());
}

// A document that only another computer's lock file holds is asked about once the edit
// has ended: No keeps the name and the lock file, Yes renames it and removes the lock file
// (it names the old name). A document this computer also holds is refused unasked, and
// the refusal says who has it open and since when.
TEST_F(InputTest, ADocumentHeldOnlyByAnotherComputersLockFileIsRenamedWhenTheUserAgrees) {
  const QDateTime since(QDate(2026, 12, 7), QTime(9, 14));
  auto writeLock = [&](const QString& document) {
    QString name = ".~lock." + document + "#";
    temp.AddFile(name, "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///home/mrossi;");
    QFile lock(temp.PathOf(name));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(since, QFileDevice::FileModificationTime));
  };
  writeLock("Lettera.doc");
  writeLock("Modulo.doc");
  QStringList asked;
  bool answer = false;
  list->OnForeignLock = [&](TCustomShellListView*, const std::string& path, const shell::ForeignLock& lock) {
    EXPECT_FALSE(list->LabelEditing());
    EXPECT_EQ(lock.since, since.toSecsSinceEpoch());
    asked << QString::fromStdString(path + " " + lock.holder.user + "@" + lock.holder.host);
    return answer;
  };
  const QString allFiles = ".~lock.Lettera.doc# .~lock.Modulo.doc# Lettera.doc Modulo.doc";
  auto files = [&] { return QDir(temp.Path()).entryList(QDir::Files | QDir::Hidden).join(' '); };
  RenameInEditor(1, "Verbale.doc");
  EXPECT_EQ(asked, QStringList{temp.PathOf("Lettera.doc") + " Mario Rossi@segreteria-2"});
  EXPECT_EQ(files(), allFiles);

  {
    int holder = open(temp.PathOf("Modulo.doc").toLocal8Bit().constData(), O_RDONLY);
    ASSERT_EQ(flock(holder, LOCK_SH), 0);  // held here too: a refusal, no question
    RenameInEditor(2, "Nuovo.doc");
    list->AbandonLabelEdit();  // the editor opened again with the refused name is left
    close(holder);
  }
  EXPECT_EQ(asked.size(), 1);
  EXPECT_EQ(recorder.failures, QStringList{"Rename to Nuovo.doc failed.\nThe document is open by Mario Rossi on the "
                                           "computer segreteria-2 since " +
                                           QLocale().toString(since, QLocale::ShortFormat) + "."});
  EXPECT_EQ(files(), allFiles);

  answer = true;
  RenameInEditor(1, "Verbale.doc");
  EXPECT_EQ(asked.size(), 2);
  EXPECT_EQ(files(), ".~lock.Modulo.doc# Modulo.doc Verbale.doc");
  EXPECT_EQ(recorder.failures.size(), 1);
}

// Tab and Shift+Tab end the edit of that one row, which is renamed; no other row's
// editor opens. A click on another selected row ends an edit and starts none.
TEST_F(InputTest, TabOrAClickEndsTheEditOfThatRowOnly) {
  for (Qt::KeyboardModifier shift : {Qt::NoModifier, Qt::ShiftModifier}) {
    QLineEdit* editor = OpenEditor(1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, shift ? "Due" : "Uno");
    QTest::keyClick(editor, shift ? Qt::Key_Backtab : Qt::Key_Tab, shift);
    QCoreApplication::processEvents();
    EXPECT_FALSE(list->LabelEditing());
  }
  EXPECT_TRUE(temp.Has("Due.doc"));
  window.activateWindow();  // the click moves the focus, which ends the edit
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  list->selectAll();
  ASSERT_NE(OpenEditor(1), nullptr);
  QRect other = list->visualRect(list->model()->index(2, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, other.center());
  EXPECT_FALSE(list->LabelEditing()) << "the click did not end the edit";
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_FALSE(list->LabelEditing()) << "the click started another edit";
  EXPECT_TRUE(recorder.failures.isEmpty());
}

TEST_F(InputTest, AbandonedEditRenamesNothing) {
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  editor->setText("Nuovo.doc");
  list->AbandonLabelEdit();
  QCoreApplication::processEvents();
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(temp.Has("Lettera.doc"));
  list->AbandonLabelEdit();  // with no editor: nothing
}

// An edit ended with the name as it was renames nothing, so a document that an office
// program holds (its lock file, a lock on the file) gives no failure.
TEST_F(InputTest, UnchangedNameRenamesNothing) {
  temp.AddFile(".~lock.Lettera.doc#");
  QFile held(temp.PathOf("Lettera.doc"));
  ASSERT_TRUE(held.open(QIODevice::ReadOnly));
  ASSERT_EQ(flock(held.handle(), LOCK_EX | LOCK_NB), 0);
  ASSERT_NE(OpenEditor(1), nullptr);
  list->CancelLabelEdit();
  EXPECT_TRUE(recorder.failures.isEmpty());
  EXPECT_EQ(list->model()->index(1, 0).data().toString(), "Lettera.doc");
}

TEST_F(InputTest, EndOfEditOutsideTheRowsIsIgnored) {
  list->EndLabelEdit(3, "x.doc");
  list->EndLabelEdit(-1, "x.doc");
  EXPECT_TRUE(temp.Has("Lettera.doc"));
}

TEST_F(InputTest, BackspaceInTheEditorEditsAndDoesNotGoUp) {
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  editor->setText("abc");
  QTest::keyClick(editor, Qt::Key_Backspace);
  EXPECT_EQ(editor->text(), "ab");
  EXPECT_EQ(list->RootShellFolder()->FullPath(), temp.Path());
}

TEST_F(InputTest, F5ReloadsAlsoWhileEditing) {
  QLineEdit* editor = OpenEditor(1);
  ASSERT_NE(editor, nullptr);
  temp.AddFile("Nuovo.doc");
  QTest::keyClick(editor, Qt::Key_F5);
  EXPECT_EQ(list->ItemCount(), 4);
  EXPECT_FALSE(list->LabelEditing());
  list->CancelLabelEdit();  // the reload ended the edit already
  EXPECT_TRUE(recorder.failures.isEmpty());
  EXPECT_TRUE(temp.Has("Lettera.doc"));
}

TEST_F(InputTest, ShiftEnterOpensADocumentOrShowsASubFolder) {
  int keyDowns = 0;
  list->OnKeyDown = [&](TCustomShellListView*, int& key, Qt::KeyboardModifiers) { keyDowns += key == Qt::Key_Return; };
  Select(2);
  QTest::keyClick(list, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(recorder.launched, QStringList{temp.PathOf("Modulo.doc")});
  Select(0);
  QTest::keyClick(list, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(list->RootShellFolder()->FullPath(), temp.PathOf("Sotto"));
  EXPECT_EQ(list->Root(), temp.Path());
  EXPECT_EQ(keyDowns, 2);
}

// ...except on a selected folder, which a plain Enter shows.
TEST_F(InputTest, PlainEnterGoesToTheDefaultButtonFirst) {
  auto* button = new QPushButton("Visualizza", &window);
  window.layout()->addWidget(button);
  button->setDefault(true);
  button->show();
  QSignalSpy clicked(button, &QPushButton::clicked);
  Select(0);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(list->RootShellFolder()->FullPath(), temp.PathOf("Sotto"));
  EXPECT_EQ(clicked.count(), 0);
  list->GoUp();
  Select(1);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_TRUE(recorder.launched.isEmpty());
  QTest::keyClick(list, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_EQ(recorder.launched.size(), 1);
}

TEST_F(InputTest, KeyDownHandlerCanConsumeTheKey) {
  list->OnKeyDown = [](TCustomShellListView*, int& key, Qt::KeyboardModifiers) {
    if (key == Qt::Key_Return) key = 0;
  };
  Select(1);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_TRUE(recorder.launched.isEmpty());
}

TEST_F(InputTest, AltEnterShowsPropertiesOfTheLowestSelectedRow) {
  list->clearSelection();  // the first row shown is selected
  list->selectionModel()->select(list->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(list, Qt::Key_Return, Qt::AltModifier);
  EXPECT_EQ(recorder.shown, QStringList{temp.PathOf("Lettera.doc")});
  EXPECT_TRUE(recorder.launched.isEmpty());
  list->clearSelection();
  QTest::keyClick(list, Qt::Key_Return, Qt::AltModifier);
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(recorder.shown.size(), 1);
  EXPECT_TRUE(recorder.launched.isEmpty());
}

TEST_F(InputTest, BackspaceGoesUpOneLevelEachTime) {
  list->SetRoot(temp.PathOf("Sotto"));
  QTest::keyClick(list, Qt::Key_Backspace);
  EXPECT_EQ(list->RootShellFolder()->FullPath(), temp.Path());
  QTest::keyClick(list, Qt::Key_Backspace);
  EXPECT_EQ(list->RootShellFolder()->FullPath(), QFileInfo(temp.Path()).path());
}

TEST_F(InputTest, DoubleClickOpensTheDocumentByPathAndSaysWhenNothingOpened) {
  QRect row = list->visualRect(list->model()->index(2, 0));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(recorder.launched, QStringList{temp.PathOf("Modulo.doc")});
  shell::Launcher previous = shell::SetDefaultActionLauncherForTesting([](const std::string&) { return false; });
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
  QTest::keyClick(list, Qt::Key_Return, Qt::ShiftModifier);
  shell::SetDefaultActionLauncherForTesting(previous);
  EXPECT_EQ(recorder.failures,
            QStringList(2, "Cannot open \"Modulo.doc\": no program to open it was found."));
}

TEST_F(InputTest, KeyboardContextMenuOpensAtTheSelectedRowOrTheCorner) {
  list->SetAutoContextMenus(false);
  QList<QPoint> positions;
  list->OnContextPopup = [&](TCustomShellListView*, QPoint at, bool& handled) {
    positions << at;
    handled = true;
  };
  list->clearSelection();  // the first row shown is selected
  QContextMenuEvent noSelection(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(list, &noSelection);
  Select(1);
  QContextMenuEvent onRow(QContextMenuEvent::Keyboard, QPoint(), QPoint());
  QApplication::sendEvent(list, &onRow);
  ASSERT_EQ(positions.size(), 2);
  EXPECT_EQ(positions[0], list->viewport()->mapToGlobal(QPoint(0, 0)));
  QRect rowRect = list->visualRect(list->model()->index(1, 0));
  EXPECT_EQ(list->viewport()->mapFromGlobal(positions[1]).y(), rowRect.center().y());
}

TEST_F(InputTest, RightClickOpensTheProgramsMenuAlsoOverEmptySpace) {
  list->SetAutoContextMenus(false);
  QMenu menu;
  menu.addAction("Apri");
  list->SetPopupMenu(&menu);
  QPoint empty(5, list->viewport()->height() - 5);
  QContextMenuEvent click(QContextMenuEvent::Mouse, empty, list->viewport()->mapToGlobal(empty));
  QApplication::sendEvent(list->viewport(), &click);
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
  QPoint outside(-10, -10);
  QContextMenuEvent away(QContextMenuEvent::Mouse, outside, list->viewport()->mapToGlobal(outside));
  QApplication::sendEvent(list->viewport(), &away);
  EXPECT_FALSE(menu.isVisible());
}

// The document list drags documents, not folders, and keeps its clicks: a click on the
// selected document still opens its name for renaming, and a press and release on another
// row selects that row alone.
TEST(DocumentListDrag, DocumentsAreDraggableFoldersAreNotAndClicksKeepTheirMeaning) {
  TempFolder temp;
  temp.AddFolder("Sotto");
  temp.AddFile("Lettera.doc");
  temp.AddFile("Modulo.doc");
  QWidget window;
  TShellListView* list = CreateDocumentList(&window);
  new QVBoxLayout(&window);
  window.layout()->addWidget(list);
  list->SetRoot(temp.Path());  // Sotto, Lettera.doc, Modulo.doc
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_TRUE(list->dragEnabled());
  EXPECT_FALSE(list->acceptDrops()) << "the list takes no drops";
  QAbstractItemModel* model = list->model();
  EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsDragEnabled);
  EXPECT_TRUE(model->flags(model->index(1, 0)) & Qt::ItemIsDragEnabled);
  EXPECT_TRUE(model->flags(model->index(2, 1)) & Qt::ItemIsDragEnabled) << "the whole row";

  QPoint lettera = list->visualRect(model->index(1, 0)).center();
  QPoint modulo = list->visualRect(model->index(2, 0)).center();
  list->selectAll();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, modulo);
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1) << "the click selects one row";
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lettera);
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_FALSE(list->LabelEditing()) << "a click on a row not selected only selects it";
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, lettera);
  EXPECT_TRUE(QTest::qWaitFor([&] { return list->LabelEditing(); }))
      << "a click on the selected document opens its name";
  list->AbandonLabelEdit();
}

TEST(DocumentListDrag, TheDragCarriesTheFilesBytesAsAUrlAndAsThePath) {
  const std::string path = "/srv/Stampe/CONTAB/Citt\xe0 di Roma #1.doc";  // code page 1252
  std::unique_ptr<QMimeData> data = DocumentDragData(path);
  EXPECT_EQ(data->data("text/uri-list"),
            "file:///srv/Stampe/CONTAB/Citt%E0%20di%20Roma%20%231.doc\r\n");
  ASSERT_EQ(data->urls().size(), 1);
  EXPECT_EQ(
      QByteArray::fromPercentEncoding(data->urls().first().path(QUrl::FullyEncoded).toLatin1())
          .toStdString(),
      path);
  EXPECT_EQ(DraggedDocumentPath(*data), path);
  QMimeData other;
  other.setUrls({QUrl::fromLocalFile("/tmp/x.doc")});
  EXPECT_EQ(DraggedDocumentPath(other), "") << "only a drag from the list names a path";
}

TEST(PropertiesDialog, ShowsTheItemsFacts) {
  TempFolder temp;
  temp.AddFile("Verbale.doc", QByteArray(3000, 'x'));
  ShowPropertiesDialog(temp.PathOf("Verbale.doc").toStdString());
  QDialog* dialog = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* candidate = qobject_cast<QDialog*>(widget); candidate && candidate->isVisible()) dialog = candidate;
  }
  ASSERT_NE(dialog, nullptr);
  QStringList texts;
  for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains("Verbale.doc"));
  EXPECT_TRUE(texts.contains(temp.Path() + "/"));
  EXPECT_TRUE(texts.contains("3 KB (3,000 bytes)") || texts.contains("3 KB (3.000 bytes)")) << texts.join('|').toStdString();
  dialog->close();
}

// Under 1 KB the size is in bytes alone: a rounded-up "1 KB" would overstate a tiny file.
TEST(PropertiesDialog, SizesUnderOneKilobyteAreInBytes) {
  TempFolder temp;
  const std::pair<int, QString> cases[] = {
      {1, "1 byte"}, {0, "0 bytes"}, {1023, "1,023 bytes"}, {1024, "1 KB (1,024 bytes)"}};
  for (const auto& [size, text] : cases) {
    QString name = QStringLiteral("f%1.txt").arg(size);
    temp.AddFile(name, QByteArray(size, 'x'));
    ShowPropertiesDialog(temp.PathOf(name).toStdString());
    QDialog* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* candidate = qobject_cast<QDialog*>(widget); candidate && candidate->isVisible())
        dialog = candidate;
    }
    ASSERT_NE(dialog, nullptr);
    QStringList texts;
    for (QLabel* label : dialog->findChildren<QLabel*>()) texts << label->text().replace('.', ',');
    EXPECT_TRUE(texts.contains(text)) << size << ": " << texts.join('|').toStdString();
    dialog->close();
  }
}

}  // namespace
}  // namespace velloria
