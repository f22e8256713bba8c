// The chooser of "Copia in…" and "Sposta in…" with real widgets and keys over real
// category folders: the category holding the document left out of a move and marked for
// a copy (also when the table spells its folder in another letter case), typing that
// narrows the list ignoring letter case and accents, Up and Down from the field, Enter
// that chooses the current category and Escape that cancels.
#include "app/category_chooser.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <QTimer>

#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

class CategoryChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    office.makeFolder("CONTAB", {"Lettera.doc"});
    office.makeFolder("LETT");
    office.makeFolder("CITTA");
    office.makeFolder("ELENCHI");
    const std::string stampe = office.stampe().toStdString();
    categories = {{"Contabilità", 1, stampe + "/contab"},  // as a Windows desk spelled it
                  {"Lettere", 2, stampe + "/LETT"},
                  {"Città e comuni", 3, stampe + "/CITTA"},
                  {"Elenchi", 4, stampe + "/ELENCHI"}};
    document = stampe + "/CONTAB/Lettera.doc";
  }

  static QStringList Shown(const CategoryChooser& chooser) {
    QStringList rows;
    for (int row = 0; row < chooser.Categories()->count(); ++row) {
      QListWidgetItem* item = chooser.Categories()->item(row);
      if (!item->isHidden()) rows << item->text();
    }
    return rows;
  }
  static QString Current(const CategoryChooser& chooser) {
    QListWidgetItem* item = chooser.Categories()->currentItem();
    return item != nullptr ? item->text() : QString();
  }

  testing::TempOffice office;
  std::vector<SearchFolder> categories;
  std::string document;
};

TEST_F(CategoryChooserTest, TheDocumentsCategoryIsLeftOutOfAMoveAndMarkedForACopy) {
  CategoryChooser move(nullptr, TransferKind::kMove, categories, document);
  EXPECT_EQ(move.windowTitle(), "Sposta in");
  EXPECT_EQ(Shown(move), QStringList({"Lettere", "Città e comuni", "Elenchi"}));
  EXPECT_EQ(Current(move), "Lettere");

  CategoryChooser copy(nullptr, TransferKind::kCopy, categories, document);
  EXPECT_EQ(copy.windowTitle(), "Copia in");
  EXPECT_EQ(Shown(copy), QStringList({"Contabilità (cartella del documento)", "Lettere",
                                      "Città e comuni", "Elenchi"}));

  // From a sub-folder of the category, a move into the category's folder changes something.
  office.makeFolder("CONTAB/Archivio", {"Vecchia.doc"});
  CategoryChooser up(nullptr, TransferKind::kMove, categories,
                     office.stampe().toStdString() + "/CONTAB/Archivio/Vecchia.doc");
  EXPECT_EQ(Shown(up).first(), "Contabilità");
}

TEST_F(CategoryChooserTest, TypingNarrowsTheListIgnoringCaseAndAccentsAndArrowsMoveInIt) {
  CategoryChooser chooser(nullptr, TransferKind::kCopy, categories, document);
  chooser.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
  EXPECT_EQ(QApplication::focusWidget(), chooser.Filter());

  QTest::keyClicks(chooser.Filter(), "CITTA");
  EXPECT_EQ(Shown(chooser), QStringList({"Città e comuni"}));
  EXPECT_EQ(Current(chooser), "Città e comuni");

  chooser.Filter()->clear();
  QTest::keyClicks(chooser.Filter(), "c");  // Lettere has no c
  EXPECT_EQ(Shown(chooser).size(), 3);
  EXPECT_EQ(Current(chooser), "Contabilità (cartella del documento)") << "the first match";
  QTest::keyClick(chooser.Filter(), Qt::Key_Down);
  EXPECT_EQ(Current(chooser), "Città e comuni") << "Down skips the rows the filter hides";
  QTest::keyClick(chooser.Filter(), Qt::Key_Down);
  QTest::keyClick(chooser.Filter(), Qt::Key_Up);
  EXPECT_EQ(Current(chooser), "Città e comuni");
  EXPECT_EQ(QApplication::focusWidget(), chooser.Filter()) << "the field keeps the focus";
  EXPECT_EQ(chooser.Filter()->text(), "c");

  QTest::keyClicks(chooser.Filter(), "zz");
  EXPECT_TRUE(Shown(chooser).isEmpty());
  QTest::keyClick(chooser.Filter(), Qt::Key_Return);
  EXPECT_TRUE(chooser.isVisible()) << "Enter with nothing listed chooses nothing";
  EXPECT_FALSE(chooser.ChosenFolder());
}

TEST_F(CategoryChooserTest, EnterChoosesTheCurrentCategorysRealFolderAndEscapeCancels) {
  auto answer = [](const std::function<void(CategoryChooser&)>& keys) {
    QTimer::singleShot(0, [keys] {
      auto* chooser = dynamic_cast<CategoryChooser*>(QApplication::activeModalWidget());
      ASSERT_NE(chooser, nullptr);
      keys(*chooser);
    });
  };
  answer([](CategoryChooser& chooser) {
    QTest::keyClicks(chooser.Filter(), "conta");
    QTest::keyClick(chooser.Filter(), Qt::Key_Return);
  });
  std::optional<std::string> folder =
      ChooseCategoryFolder(nullptr, TransferKind::kCopy, categories, document);
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, office.stampe().toStdString() + "/CONTAB") << "the folder on disk";

  answer([](CategoryChooser& chooser) {
    QTest::keyClick(chooser.Filter(), Qt::Key_Down);
    QTest::keyClick(chooser.Categories(), Qt::Key_Return);
  });
  folder = ChooseCategoryFolder(nullptr, TransferKind::kMove, categories, document);
  EXPECT_EQ(folder, office.stampe().toStdString() + "/CITTA") << "Enter in the list";

  answer([](CategoryChooser& chooser) {
    QTest::keyClicks(chooser.Filter(), "elen");
    QTest::keyClick(chooser.Filter(), Qt::Key_Escape);
  });
  EXPECT_FALSE(ChooseCategoryFolder(nullptr, TransferKind::kMove, categories, document));
}

}  // namespace
}  // namespace velloria
