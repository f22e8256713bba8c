// The whole job done from the keyboard alone in the real main window over a real office:
// moving between the controls, choosing a category in the grid, and opening, renaming,
// deleting and duplicating documents in the list, answering the boxes with keys.
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <functional>

#include <gtest/gtest.h>

#include "app/application.h"
#include "app/main_window.h"
#include "dataset/dataset.h"
#include "platform/fonts.h"
#include "shellview/shell_list_view.h"
#include "tests/app/office_fixture.h"
#include "ui/dbgrid.h"
#include "ui/messagebox.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& texts, std::ostream* out) { *out << texts.join('|').toStdString(); }

namespace velloria {
namespace {

using testing::WaitFor;

// A key pressed and released through the window system into the window that has the
// keyboard (an open popup menu first), as the keyboard delivers it: shortcuts, the
// context-menu key and focus moves included.
void Type(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWindow* window = QApplication::activePopupWidget() ? QApplication::activePopupWidget()->windowHandle()
                                                      : QGuiApplication::focusWindow();
  ASSERT_NE(window, nullptr) << "no window takes the keyboard";
  QTest::keyClick(window, static_cast<Qt::Key>(key), modifiers);
}

// Runs `keys` on the next message box once it is open, recording its text and the
// button that had the focus when it opened.
class OnNextBox {
 public:
  explicit OnNextBox(std::function<void()> keys) : m_keys(std::move(keys)) { poll(); }
  bool came() const { return m_came; }
  QString text() const { return m_text; }
  QString firstFocus() const { return m_firstFocus; }

 private:
  void poll() {
    QTimer::singleShot(5, [this] {
      auto* box = qobject_cast<TMessageForm*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isActiveWindow()) return poll();
      m_came = true;
      m_text = box->messageText();
      m_firstFocus = box->focusWidget() ? box->focusWidget()->objectName() : QString();
      m_keys();
    });
  }
  std::function<void()> m_keys;
  bool m_came = false;
  QString m_text, m_firstFocus;
};

class Keyboard : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTahoma();
    office.writeTable({{"Contabilità", "CONTAB", 1},
                       {"Lettere ai fornitori", "LETT", 1},
                       {"Didattica", "DIDA", 2},
                       {"Bilanci", "BIL", 1}});
    office.makeFolder("CONTAB", {"Fattura.doc", "Lettera.doc"});
    office.makeFolder("LETT", {"Saluti.doc"});
    office.makeFolder("DIDA", {"Scuola.doc"});
    office.makeFolder("BIL", {"Bilancio 2025.doc"});
    form = std::make_unique<TfrmMain>(std::vector<std::string>{"velloria", "1", "5", office.dataPath(), ""});
    ASSERT_FALSE(form->startupFailed());
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    list = form->documentList();
    grid = form->categoryGrid();
    ASSERT_TRUE(WaitFor([&] { return list->ItemCount() == 2; }));
  }
  void TearDown() override {
    form.reset();
    TApplication::instance()->resumeAfterTerminationForTesting();
  }

  QString focused() const {
    QWidget* widget = QApplication::focusWidget();
    return widget ? widget->objectName() : QString();
  }
  QString category() const {
    return QString::fromStdString(form->categoryTable()->FieldByName("DESCRIZIO").AsString()).trimmed();
  }
  QStringList listed() const {
    QStringList names;
    for (int row = 0; row < list->ItemCount(); ++row) names << list->model()->index(row, 0).data().toString();
    return names;
  }
  QString selectedName() const {
    int row = list->SelectedItem();
    return row < 0 ? QString() : list->model()->index(row, 0).data().toString();
  }
  // The offscreen platform leaves no window active after a popup menu closes, where a
  // window system gives the keyboard back to the window under it.
  void returnFromPopup() {
    if (QGuiApplication::platformName() != "offscreen") return;
    form->activateWindow();
    ASSERT_TRUE(WaitFor([] { return QApplication::focusWidget() != nullptr; }));
  }
  QString contab(const QString& name) const { return office.stampe() + "/CONTAB/" + name; }
  // Focus on the list with the row of `name` selected, by keys alone.
  void selectInList(const QString& name) {
    list->setFocus();
    Type(Qt::Key_Home);
    while (selectedName() != name && list->SelectedItem() + 1 < list->ItemCount()) Type(Qt::Key_Down);
    ASSERT_EQ(selectedName(), name);
  }

  testing::TempOffice office;
  std::unique_ptr<TfrmMain> form;
  TShellListView* list = nullptr;
  TDBGrid* grid = nullptr;
};

// The grid keeps Tab for its records; Ctrl+Tab leaves it, as in any control that uses Tab.
TEST_F(Keyboard, TabLeadsFromTheListToTheGridAndCtrlTabOnToTheButton) {
  EXPECT_EQ(focused(), "SLVDoc");
  Type(Qt::Key_Tab);
  EXPECT_EQ(focused(), "DBGrid");
  Type(Qt::Key_Tab);
  EXPECT_EQ(focused(), "DBGrid");
  EXPECT_EQ(category(), "Lettere ai fornitori");
  Type(Qt::Key_Tab, Qt::ControlModifier);
  EXPECT_EQ(focused(), "BVisualizza");
  Type(Qt::Key_Tab);
  EXPECT_EQ(focused(), "SLVDoc");
  Type(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(focused(), "BVisualizza");
  Type(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(focused(), "DBGrid");
  Type(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(focused(), "SLVDoc");
}

TEST_F(Keyboard, GridKeysChooseTheCategoryAndEnterShowsItsDocuments) {
  grid->setFocus();
  Type(Qt::Key_Down);
  EXPECT_EQ(category(), "Lettere ai fornitori");
  EXPECT_EQ(listed(), QStringList({"Fattura.doc", "Lettera.doc"})) << "the list waits for Visualizza";
  Type(Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return listed() == QStringList({"Saluti.doc"}); }));
  EXPECT_EQ(focused(), "DBGrid");

  Type(Qt::Key_End);
  EXPECT_EQ(category(), "Bilanci");
  Type(Qt::Key_Home);
  EXPECT_EQ(category(), "Contabilità");
  Type(Qt::Key_PageDown);
  EXPECT_EQ(category(), "Bilanci");
  Type(Qt::Key_Up);
  EXPECT_EQ(category(), "Lettere ai fornitori");
  Type(Qt::Key_PageUp);
  EXPECT_EQ(category(), "Contabilità");
  Type(Qt::Key_End);
  Type(Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(WaitFor([&] { return listed() == QStringList({"Bilancio 2025.doc"}); }));
}

TEST_F(Keyboard, ArrowsSelectInTheListAndCtrlEnterOpensTheDocumentInTheWordProcessor) {
  QTemporaryDir bin;
  QString record = bin.path() + "/args";
  testing::TempOffice::writeFile(bin.path() + "/WinWord",
                                 ("#!/bin/sh\nprintf '%s' \"$1\" > '" + record + "'\n").toUtf8());
  QFile::setPermissions(bin.path() + "/WinWord", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  QByteArray path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + path);

  selectInList("Fattura.doc");
  Type(Qt::Key_Down);
  EXPECT_EQ(selectedName(), "Lettera.doc");
  Type(Qt::Key_Up);
  Type(Qt::Key_Down);
  Type(Qt::Key_Return, Qt::ControlModifier);
  qputenv("PATH", path);
  EXPECT_TRUE(WaitFor([&] { return QFileInfo(record).size() > 0; }, 5000));
  EXPECT_EQ(testing::TempOffice::readFile(record), contab("Lettera.doc").toUtf8());
  // The release of that Enter, whose press was the shortcut's, renames nothing.
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(QFileInfo::exists(contab("Lettera.doc")));
}

TEST_F(Keyboard, EnterOpensTheCaptionForEditingAndASecondEnterRenames) {
  selectInList("Lettera.doc");
  Type(Qt::Key_Return);
  ASSERT_TRUE(list->LabelEditing());
  auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->selectedText(), "Lettera");
  QTest::keyClicks(editor, "Offerta");
  Type(Qt::Key_Return);
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(form->renameArmed());
  EXPECT_TRUE(QFileInfo::exists(contab("Offerta.doc")));
  EXPECT_FALSE(QFileInfo::exists(contab("Lettera.doc")));
  EXPECT_TRUE(WaitFor([&] { return listed().contains("Offerta.doc"); }));
  EXPECT_EQ(focused(), "SLVDoc");
}

// F2 is the list control's own gesture for editing a caption. The Enter that confirms
// the new name ends the edit and opens no new one.
TEST_F(Keyboard, F2OpensTheCaptionForEditingAndEnterRenames) {
  selectInList("Lettera.doc");
  Type(Qt::Key_F2);
  ASSERT_TRUE(list->LabelEditing());
  QTest::keyClicks(QApplication::focusWidget(), "Offerta");
  Type(Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return listed().contains("Offerta.doc"); }));
  EXPECT_TRUE(QFileInfo::exists(contab("Offerta.doc")));
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_TRUE(form->renameArmed());
  EXPECT_EQ(listed(), QStringList({"Fattura.doc", "Offerta.doc"}));
}

// Escape ends the edit and keeps the name; the next Enter edits again.
TEST_F(Keyboard, EscapeEndsTheEditKeepingTheName) {
  selectInList("Lettera.doc");
  Type(Qt::Key_Return);
  ASSERT_TRUE(list->LabelEditing());
  QTest::keyClicks(QApplication::focusWidget(), "Altro");
  Type(Qt::Key_Escape);
  EXPECT_FALSE(list->LabelEditing());
  EXPECT_EQ(listed(), QStringList({"Fattura.doc", "Lettera.doc"}));
  EXPECT_EQ(focused(), "SLVDoc");
  EXPECT_TRUE(form->renameArmed());
  Type(Qt::Key_Return);
  EXPECT_TRUE(list->LabelEditing());
}

TEST_F(Keyboard, CtrlDeleteAsksAndOnlyYesRemovesTheDocument) {
  selectInList("Fattura.doc");
  QString question = "Spostare nel Cestino il documento \"" + contab("Fattura.doc") + "\"?";
  {
    OnNextBox escape([] { Type(Qt::Key_Escape); });
    Type(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(escape.text().toStdString(), question.toStdString());
    EXPECT_EQ(escape.firstFocus(), "Yes");
  }
  {
    OnNextBox rightEnter([] { Type(Qt::Key_Right); Type(Qt::Key_Return); });
    Type(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(rightEnter.came());
  }
  EXPECT_TRUE(QFileInfo::exists(contab("Fattura.doc")));
  {
    OnNextBox altYes([] { Type(Qt::Key_Y, Qt::AltModifier); });
    Type(Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(altYes.came());
  }
  EXPECT_FALSE(QFileInfo::exists(contab("Fattura.doc")));
  EXPECT_TRUE(WaitFor([&] { return listed() == QStringList({"Lettera.doc"}); }));
}

// A name whose first copy fits in 255 bytes and whose numbered copy does not: the second
// Ctrl+D fails with the box.
TEST_F(Keyboard, CtrlDDuplicatesAndTheFailureBoxClosesWithEnter) {
  QString name = QString(241, 'L') + ".doc";
  QFile file(contab(name));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_TRUE(WaitFor([&] { return listed().contains(name); }));
  selectInList(name);
  Type(Qt::Key_D, Qt::ControlModifier);
  EXPECT_TRUE(WaitFor([&] { return listed().contains("Copia di " + name); }));
  selectInList(name);
  OnNextBox enter([] { Type(Qt::Key_Return); });
  Type(Qt::Key_D, Qt::ControlModifier);
  EXPECT_TRUE(enter.text().startsWith("Errore durante la copia")) << enter.text().toStdString();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(Keyboard, MenuKeyOpensTheContextMenuWhoseLettersRunTheCommands) {
  selectInList("Fattura.doc");
  // The window system turns the menu key into a keyboard context-menu request.
  QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
  QApplication::sendEvent(QApplication::focusWidget(), &menuKey);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), "PopupMenu");
  Type(Qt::Key_D);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  EXPECT_TRUE(WaitFor([&] { return listed().contains("Copia di Fattura.doc"); }));
  returnFromPopup();

  // Shift+F10 does the same on keyboards without a menu key; Escape closes the menu.
  Type(Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_NE(QApplication::activePopupWidget(), nullptr);
  Type(Qt::Key_Escape);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
  returnFromPopup();
  EXPECT_EQ(focused(), "SLVDoc");
}

// Shows a box modally and types `keys` into it once it has the keyboard; returns the value.
int AnswerWithKeys(TMsgDlgButtons buttons, std::function<void(TMessageForm*)> keys) {
  OnNextBox typing([keys] { keys(qobject_cast<TMessageForm*>(QApplication::activeModalWidget())); });
  return ShowMessageDialog("Continuare?", mtConfirmation, buttons);
}

QString FocusedButton() { return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString(); }

TEST(MessageBoxKeyboard, ArrowsAndTabMoveBetweenTheButtonsAndEnterPressesTheFocusedOne) {
  QStringList path;
  int result = AnswerWithKeys({mbYes, mbNo, mbCancel}, [&](TMessageForm*) {
    path << FocusedButton();
    for (int key : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Left, Qt::Key_Tab, Qt::Key_Backtab}) {
      Type(key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
      path << FocusedButton();
    }
    Type(Qt::Key_Return);
  });
  EXPECT_EQ(path, QStringList({"Yes", "No", "Cancel", "No", "Cancel", "No"}));
  EXPECT_EQ(result, mrNo);
}

TEST(MessageBoxKeyboard, UnderlinedLettersPressTheirButtonsWithOrWithoutAlt) {
  EXPECT_EQ(AnswerWithKeys({mbYes, mbNo}, [](TMessageForm*) { Type(Qt::Key_N); }), mrNo);
  EXPECT_EQ(AnswerWithKeys({mbYes, mbNo}, [](TMessageForm*) { Type(Qt::Key_N, Qt::AltModifier); }), mrNo);
  EXPECT_EQ(AnswerWithKeys({mbAbort, mbRetry, mbIgnore}, [](TMessageForm*) { Type(Qt::Key_I); }), mrIgnore);
  EXPECT_EQ(AnswerWithKeys({mbYes, mbNo}, [](TMessageForm*) {
              Type(Qt::Key_X);  // no button has it: the box stays open
              Type(Qt::Key_Escape);
            }),
            mrNo);
}

TEST(MessageBoxKeyboard, CtrlCCopiesTheBoxAndLeavesItOpen) {
  QGuiApplication::clipboard()->clear();
  int result = AnswerWithKeys({mbOK}, [](TMessageForm* box) {
    Type(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(box->isVisible());
    Type(Qt::Key_Return);
  });
  EXPECT_EQ(result, mrOk);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("\r\nContinuare?\r\n"));
}

}  // namespace
}  // namespace velloria
