// The window's texts under the system language: the document list's column titles, the
// properties dialog, the message boxes' captions and buttons and Qt's own texts follow it
// (Italian or English), the program's own Italian texts do not. Run by ctest under LANG=C and LANG=it_IT.UTF-8 (tests/app).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <clocale>

#include "app/main_window.h"
#include "shellview/shell_list_view.h"
#include "shellview/shell_properties_dialog.h"
#include "tests/app/office_fixture.h"
#include "ui/messagebox.h"

namespace velloria {
namespace {

bool ItalianAsked() { return QLocale::system().language() == QLocale::Italian; }

class Language : public ::testing::Test {
 protected:
  void SetUp() override {
    // The system must know the locale the environment names, as an Italian desktop does.
    if (ItalianAsked() && std::setlocale(LC_ALL, "") == nullptr) {
      GTEST_SKIP() << "locale " << qgetenv("LANG").constData() << " not available (LOCPATH "
                   << qgetenv("LOCPATH").constData() << "): generating it needs root";
    }
    office.makeFolder("CONTAB",
                      {"Lettera.doc", "Modulo.docx", "Nota.txt", "Testo.odt", "Circolare.pdf"});
    office.makeFolder("CONTAB/Archivio");
    office.writeTable({{"Contabilità", "CONTAB", 1}});
  }
  testing::TempOffice office;
};

TEST_F(Language, ListAndDialogsFollowTheSystemLanguageTheProgramStaysItalian) {
  TfrmMain form({"velloria", "1", "5", office.dataPath(), ""});
  auto* list = form.findChild<TShellListView*>("SLVDoc");
  ASSERT_NE(list, nullptr);
  bool italian = ItalianAsked();
  // Every column starts wide enough for its title (beside the sort indicator) and for
  // the texts of these typical documents.
  form.show();
  QStringList titles;
  for (int column = 0; column < list->model()->columnCount(); ++column) {
    titles << list->model()->headerData(column, Qt::Horizontal).toString();
    int width = list->columnWidth(column);
    EXPECT_GE(width, list->header()->sectionSizeHint(column)) << column;
    EXPECT_GE(width, static_cast<QAbstractItemView*>(list)->sizeHintForColumn(column)) << column;
  }
  EXPECT_EQ(titles, italian ? QStringList({"Nome", "Dimensione", "Tipo", "Ultima modifica"})
                            : QStringList({"Name", "Size", "Type", "Modified"}));
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Undo"), italian ? "Ann&ulla" : "&Undo");
  EXPECT_EQ(form.findChild<QPushButton*>("BVisualizza")->text(), "&Visualizza");

  ShowPropertiesDialog((office.stampe() + "/CONTAB/Lettera.doc").toStdString());
  QDialog* dialog = nullptr;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* found = qobject_cast<QDialog*>(widget); found && found->isVisible()) dialog = found;
  }
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(),
            italian ? "Proprietà di Lettera.doc" : "Properties of Lettera.doc");
  dialog->close();
}

// A refused rename says so, and why, in the system language.
TEST_F(Language, RenameFailuresFollowTheSystemLanguage) {
  QString text = RenameFailedText(nullptr, "Nuovo.doc", shell::Status::kNotFound);
  EXPECT_EQ(text, ItalianAsked() ? "Impossibile rinominare in Nuovo.doc.\nIl documento non c'è più: nel frattempo è "
                                   "stato rinominato, spostato o cancellato."
                                 : "Rename to Nuovo.doc failed.\nThe document is no longer there: it has been "
                                   "renamed, moved or deleted meanwhile.");
}

// The boxes' captions and buttons follow the system language; their texts, the program's
// own, stay Italian.
TEST_F(Language, MessageBoxCaptionsAndButtonsFollowTheSystemLanguage) {
  bool italian = ItalianAsked();
  testing::NextBoxAnswer question(mrNo);
  testing::NextBoxAnswer information(mrOk);
  ShowMessageDialog("Cancellare?", mtConfirmation, {mbYes, mbNo, mbCancel});
  ShowMessageDialog("Cartella non valida.", mtInformation, {mbOK});
  EXPECT_EQ(question.asked().title, italian ? "Conferma" : "Confirm");
  EXPECT_EQ(question.asked().buttons,
            italian ? QStringList({"Sì", "No", "Annulla"}) : QStringList({"Yes", "No", "Cancel"}));
  EXPECT_EQ(information.asked().title, italian ? "Informazioni" : "Information");
  EXPECT_EQ(information.asked().text, "Cartella non valida.");
  EXPECT_EQ(KindCaption(mtWarning), italian ? "Avviso" : "Warning");
  EXPECT_EQ(KindCaption(mtError), italian ? "Errore" : "Error");
}

}  // namespace
}  // namespace velloria
