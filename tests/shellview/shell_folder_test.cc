// Shell items on real folders: id-list arithmetic, display names and shell strings,
// rename rules and the column-text cache.
#include "shellview/shell_folder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <cstring>
#include <fstream>

#include "shellview/shell_errors.h"
#include "test_folders.h"

namespace velloria {
namespace {

using testing::RealFolder;
using testing::TempFolder;
using testing::WrappedFolder;

PItemIDList Child(const char* name) { return shell::MakeChildIdList(name); }

TEST(IdLists, SizesCountsAndJoins) {
  EXPECT_EQ(IDSize(nullptr), 0u);
  IDListHolder empty(shell::MakeIdList({}));
  EXPECT_EQ(IDSize(empty.get()), 2u);
  EXPECT_EQ(IDElementCount(empty.get()), 0);

  IDListHolder a(shell::MakeIdList({"srv", "gest"}));
  IDListHolder b(Child("Stampe"));
  EXPECT_EQ(IDSize(a.get()), 2u + 5 + 6);
  EXPECT_EQ(IDElementCount(a.get()), 2);
  EXPECT_EQ(NextIDElement(a.get()), a.get() + 5);

  IDListHolder joined(JoinIDs(a.get(), b.get()));
  EXPECT_EQ(IDSize(joined.get()), IDSize(a.get()) - 2 + IDSize(b.get()));
  EXPECT_EQ(shell::PathOfIdList(joined.get()), "/srv/gest/Stampe");

  IDListHolder copy(JoinIDs(nullptr, b.get()));
  ASSERT_EQ(IDSize(copy.get()), IDSize(b.get()));
  EXPECT_EQ(std::memcmp(copy.get(), b.get(), IDSize(b.get())), 0);
}

TEST(IdLists, DropLastElementNamesTheParentAndStopsAtTheDesktop) {
  IDListHolder list(shell::MakeIdList({"srv", "gest"}));
  DropLastIDElement(list.get());
  EXPECT_EQ(shell::PathOfIdList(list.get()), "/srv");
  DropLastIDElement(list.get());
  EXPECT_EQ(IDSize(list.get()), 2u);
  DropLastIDElement(list.get());
  EXPECT_EQ(IDSize(list.get()), 2u);
}

TEST(IdLists, SameIdComparesThroughTheDesktopOrder) {
  TempFolder temp;
  temp.AddFolder("Lettere");
  IDListHolder first(temp.IdOf("Lettere")), second(temp.IdOf("Lettere")), parent(temp.IdOf());
  EXPECT_TRUE(SameID(first.get(), second.get()));
  EXPECT_FALSE(SameID(first.get(), parent.get()));
}

TEST(ShellStrings, QuestionMarkDigitRuleAndKinds) {
  auto cstring = [](const char* text) {
    shell::StrRet r;
    r.kind = shell::StrRet::kCString;
    r.cstring = text;
    return TextFromShellString(nullptr, r);
  };
  EXPECT_EQ(cstring("?1?2/0?3"), "12/03");
  EXPECT_EQ(cstring("?a?b"), "?a?b");
  EXPECT_EQ(cstring("?"), "?");
  EXPECT_EQ(cstring("1?2"), "1?2");

  shell::StrRet nullWide;
  EXPECT_EQ(TextFromShellString(nullptr, nullWide), "");

  IDListHolder id(Child("Modulo.doc"));
  shell::StrRet offset;
  offset.kind = shell::StrRet::kOffset;
  offset.offset = 2;
  EXPECT_EQ(TextFromShellString(id.get(), offset), "Modulo.doc");
}

TEST(DisplayNames, ClassIdPathIsAskedAgainWithNormalFlags) {
  TempFolder temp;
  temp.AddFile("a.doc");
  auto folder = std::make_shared<WrappedFolder>(RealFolder(temp.Path()));
  std::vector<std::uint32_t> asked;
  folder->displayName = [&](shell::ConstIdList, std::uint32_t flags, shell::StrRet* name) {
    asked.push_back(flags);
    name->kind = shell::StrRet::kCString;
    name->cstring = flags == shell::kNameNormal ? "Normale" : "::{20D04FE0}";
    return true;
  };
  IDListHolder id(Child("a.doc"));
  EXPECT_EQ(QueryDisplayName(folder, id.get(), shell::kNameForParsing), "Normale");
  EXPECT_EQ(asked, (std::vector<std::uint32_t>{shell::kNameForParsing, shell::kNameNormal}));
  EXPECT_EQ(QueryDisplayName(nullptr, id.get(), shell::kNameInFolder), "parentfolder = nil");
}

TEST(RootItems, MakeRootItemNamesTheFolder) {
  TempFolder temp;
  IDListHolder id(temp.IdOf());
  std::unique_ptr<TShellFolder> root = MakeRootItem(id.get());
  EXPECT_EQ(root->FullPath(), temp.Path());
  EXPECT_EQ(root->ItemName(), QFileInfo(temp.Path()).fileName());
  EXPECT_TRUE(root->IsContainer());
  EXPECT_EQ(root->ParentItem(), DesktopItem());
  ASSERT_EQ(IDSize(root->LocalID()), IDSize(root->FullID()));
  EXPECT_EQ(std::memcmp(root->LocalID(), root->FullID(), IDSize(root->FullID())), 0);
}

// A name that is not UTF-8 (code page 1252 from a Windows share) is shown decoded while
// file calls get its bytes.
TEST(RootItems, ANameThatIsNotUtf8IsShownDecodedAndKeptAsBytes) {
  TempFolder temp;
  std::string path = temp.Path().toStdString() + "/Lettera \xE0.doc";
  std::ofstream(path) << "x";
  IDListHolder id(temp.IdOf());
  std::unique_ptr<TShellFolder> root = MakeRootItem(id.get());
  IDListHolder child(shell::MakeChildIdList("Lettera \xE0.doc"));
  TShellFolder item(root.get(), child.get(), nullptr);
  EXPECT_EQ(item.ItemName(), QString::fromUtf8("Lettera à.doc"));
  EXPECT_EQ(item.FullPath(), temp.Path() + QString::fromUtf8("/Lettera à.doc"));
  EXPECT_EQ(item.FileSystemPath(), path);
}

class ShellItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.AddFile("Lettera.txt", "hello");
    temp.AddFile("Taken.doc");
    IDListHolder id(temp.IdOf());
    folder = std::make_shared<WrappedFolder>(RealFolder(temp.Path()));
    root = std::make_unique<TShellFolder>(DesktopItem(), id.get(), folder);
    IDListHolder child(Child("Lettera.txt"));
    item = std::make_unique<TShellFolder>(root.get(), child.get(), nullptr);
  }

  TempFolder temp;
  std::shared_ptr<WrappedFolder> folder;
  std::unique_ptr<TShellFolder> root;
  std::unique_ptr<TShellFolder> item;
};

TEST_F(ShellItemTest, RenameKeepsCachedColumnTexts) {
  item->LoadColumnDetails(root.get(), 3);
  QString typeBefore = item->ColumnText(2);
  ASSERT_TRUE(item->RenameTo("Lettera.doc"));
  EXPECT_EQ(item->ItemName(), "Lettera.doc");
  EXPECT_EQ(item->FullPath(), temp.PathOf("Lettera.doc"));
  EXPECT_TRUE(temp.Has("Lettera.doc"));
  EXPECT_FALSE(temp.Has("Lettera.txt"));
  EXPECT_EQ(item->ColumnText(2), typeBefore);
}

TEST_F(ShellItemTest, RenameWithoutTheAbilityIsRefusedSilently) {
  folder->RemoveAttributes(shell::kAttrCanRename);
  EXPECT_FALSE(item->RenameTo("Nuovo.txt"));
  EXPECT_EQ(folder->renameCalls, 0);
  EXPECT_EQ(item->ItemName(), "Lettera.txt");
  EXPECT_TRUE(temp.Has("Lettera.txt"));
}

void ExpectRefused(TShellFolder* item, const QString& name) {
  try {
    item->RenameTo(name);
    ADD_FAILURE() << "rename to " << name.toStdString() << " succeeded";
  } catch (const EShellError& error) {
    EXPECT_TRUE(QString::fromStdString(error.what()).startsWith("Rename to " + name + " failed.\n")) << error.what();
  }
  EXPECT_EQ(item->ItemName(), "Lettera.txt");
}

TEST_F(ShellItemTest, RefusedRenameRaisesAndKeepsTheName) {
  for (QString name : {"Taken.doc", "TAKEN.DOC", "bad:name.doc", "CON.txt", "trailing. "}) {
    ExpectRefused(item.get(), name);
  }
  temp.AddFile(".~lock.Lettera.txt#");  // the document is open in an office program
  ExpectRefused(item.get(), "Nuovo.txt");
  EXPECT_TRUE(temp.Has("Lettera.txt"));
  QFile taken(temp.PathOf("Taken.doc"));
  ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
  EXPECT_EQ(taken.readAll(), "x");  // never replaced
}

TEST_F(ShellItemTest, ColumnTextCacheRules) {
  try {
    item->ColumnText(1);
    ADD_FAILURE() << "no exception before LoadColumnDetails";
  } catch (const EShellError& error) {
    EXPECT_STREQ(error.what(), "Lettera.txt: Missing call to LoadColumnDetails");
  }
  item->LoadColumnDetails(root.get(), 2);
  EXPECT_EQ(item->ColumnText(1), "1 KB");
  temp.AddFile("Lettera.txt", QByteArray(5000, 'x'));
  item->LoadColumnDetails(root.get(), 2);
  item->LoadColumnDetails(root.get(), 1);
  EXPECT_EQ(item->ColumnText(1), "1 KB");
  item->LoadColumnDetails(root.get(), 4);
  EXPECT_EQ(item->ColumnText(1), "5 KB");
}

}  // namespace
}  // namespace velloria
