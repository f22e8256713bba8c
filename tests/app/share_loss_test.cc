// The share disappearing under the running window: folders removed or renamed after
// start-up, then clicks, open, delete, duplicate, rename and the inactivity close, on real
// folders and widgets offscreen. Every failure must reach the user as a message, not a crash.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/application.h"
#include "app/document_commands.h"
#include "app/main_window.h"
#include "app/shown_category.h"
#include "platform/fonts.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

using testing::NextBoxAnswer;
using testing::TempOffice;
using testing::WaitFor;

class ShareLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTahoma();
    office.writeTable({{"Contabilità", "CONTAB", 1}, {"Lettere", "LETT", 1}});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    office.makeFolder("LETT", {"Saluti.doc"});
    form = std::make_unique<TfrmMain>(
        std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    ASSERT_FALSE(form->startupFailed());
    form->show();
    list = form->documentList();
    ASSERT_EQ(list->ItemCount(), 2);
  }
  void TearDown() override {
    form.reset();
    TApplication::instance()->resumeAfterTerminationForTesting();
  }

  // A left click delivered as the user's would be, so that failures reach the
  // application's failure display.
  static void clickWidget(QWidget* widget, QPoint at = {}) {
    if (at.isNull()) at = widget->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }
  void clickCategory(int row) {
    TDBGrid* grid = form->categoryGrid();
    clickWidget(grid->viewport(), grid->CellRect(0, row).center());
  }
  void selectRow(int row) {
    list->selectionModel()->clearSelection();
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // The shown folder CONTAB with its documents listed and `row` selected, then removed
  // before the list can notice.
  void removeShownFolderWithRowSelected(int row) {
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    list->ReloadList();
    selectRow(row);
    ASSERT_TRUE(QDir(office.stampe() + "/CONTAB").removeRecursively());
  }
  // Lets queued failures and the folder watcher's delayed reload run.
  static void settle() {
    WaitFor([] { return false; }, 300);
  }

  TempOffice office;
  std::unique_ptr<TfrmMain> form;
  TShellListView* list = nullptr;
};

// The list shows no other category's documents in its place.
TEST_F(ShareLoss, ARemovedCategoryFolderIsSaidInItalianAndEmptiesTheList) {
  QString lett = office.stampe() + "/LETT";
  ASSERT_TRUE(QDir(lett).removeRecursively());
  NextBoxAnswer failure(mrOk);
  clickCategory(2);
  EXPECT_EQ(failure.text(), kMissingCategoryFolderMessage + lett);
  EXPECT_EQ(list->Root(), "");
  EXPECT_EQ(list->ItemCount(), 0);

  NextBoxAnswer again(mrOk);
  clickWidget(form->findChild<QPushButton*>("BVisualizza"));  // the grid still stands on LETT
  EXPECT_EQ(again.text(), kMissingCategoryFolderMessage + lett);
}

TEST_F(ShareLoss, CommandsOnTheShownFolderAfterItWasRemovedReportOrDoNothing) {
  QString contab = office.stampe() + "/CONTAB";
  removeShownFolderWithRowSelected(1);
  {
    NextBoxAnswer copyFailed(mrOk);
    DuplicateSelectedDocument(*list);
    EXPECT_EQ(copyFailed.text(),
              "Impossibile duplicare il documento \"Lettera.doc\": il documento non esiste più.");
  }
  removeShownFolderWithRowSelected(1);
  {
    NextBoxAnswer refused(mrOk);  // said at once, without the question
    DeleteSelectedDocument(*list);
    EXPECT_EQ(refused.text(), "Impossibile cancellare il documento \"" + contab +
                                  "/Lettera.doc\": il documento non esiste più.");
  }
  settle();
  EXPECT_EQ(list->ItemCount(), 0);  // the reload found nothing to list
  EXPECT_FALSE(QFileInfo::exists(contab)) << "nothing may be recreated";

  // Open still hands the path to the word processor (a stand-in on PATH), which then
  // finds nothing; the program does not look at the outcome.
  QTemporaryDir bin;
  QString record = bin.path() + "/args";
  TempOffice::writeFile(bin.path() + "/WinWord",
                        ("#!/bin/sh\necho \"$1\" > '" + record + "'\n").toUtf8());
  QFile::setPermissions(bin.path() + "/WinWord", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + path);
  removeShownFolderWithRowSelected(0);
  OpenSelectedDocument(*list);
  qputenv("PATH", path);
  EXPECT_TRUE(WaitFor([&] { return QFileInfo::exists(record); }, 5000));
  EXPECT_TRUE(form->isVisible());
}

// The item can no longer be renamed once its folder is gone: it keeps its name, and
// nothing is shown or created.
TEST_F(ShareLoss, RenamingADocumentWhoseFolderWasRemovedChangesNothingAndSaysWhy) {
  selectRow(0);
  ASSERT_TRUE(list->BeginLabelEdit(0));
  QLineEdit* editor = list->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  ASSERT_TRUE(QDir(office.stampe() + "/CONTAB").removeRecursively());
  editor->setText("Nuova.doc");
  NextBoxAnswer failure(mrOk);
  list->CancelLabelEdit();  // ends the editing and hands the name to the shell
  settle();
  EXPECT_EQ(failure.text(), "Rename to Nuova.doc failed.\nThe document is no longer there: it has been renamed, "
                            "moved or deleted meanwhile.");
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_FALSE(QFileInfo::exists(office.stampe() + "/CONTAB"));
}

TEST_F(ShareLoss, ARenamedStampeFolderLeavesTheTableUntouchedAndTheTimerStillClosesTheWindow) {
  QByteArray afterSweep = office.tableBytes();
  QString moved = office.root() + "/Stampe.spostata";
  ASSERT_TRUE(QDir().rename(office.stampe(), moved));
  settle();
  NextBoxAnswer failure(mrOk);
  clickCategory(2);
  EXPECT_TRUE(failure.text().startsWith(kMissingCategoryFolderMessage)) << failure.text().toStdString();
  form->categoryGrid()->viewport()->repaint();  // rows still read from the open table

  form->inactivityTimerForTesting()->start(20);
  EXPECT_TRUE(WaitFor([&] { return !form->isVisible(); }));
  form.reset();  // closes the table in its moved folder
  EXPECT_EQ(TempOffice::readFile(moved + "/STAMPE.DBF"), afterSweep);
}

TEST_F(ShareLoss, ARemovedStampeFolderStillLetsTheWindowAnswerAndClose) {
  selectRow(0);
  ASSERT_TRUE(QDir(office.stampe()).removeRecursively());
  NextBoxAnswer copyFailed(mrOk);
  DuplicateSelectedDocument(*list);
  EXPECT_TRUE(copyFailed.answered());
  settle();
  for (int row : {2, 1}) {  // also the folder the list showed
    NextBoxAnswer failure(mrOk);
    clickCategory(row);
    EXPECT_TRUE(failure.text().startsWith(kMissingCategoryFolderMessage)) << failure.text().toStdString();
  }
  NextBoxAnswer none(mrOk);
  QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
  QApplication::sendEvent(list, &f5);
  settle();
  EXPECT_FALSE(none.answered()) << none.text().toStdString();
  EXPECT_EQ(list->ItemCount(), 0);
  form->categoryGrid()->viewport()->repaint();
  EXPECT_TRUE(form->close());
}

}  // namespace
}  // namespace velloria
