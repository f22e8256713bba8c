// Files the engine writes beside a table, each found as a symbolic link planted by another
// account (dangling, or to an existing file elsewhere): nothing outside the table's folder is
// created or changed, and the table stays sound. The journal, the pack's temporary file and
// the journal met at open go on with a plain file in the link's place; creating a table, its
// memo file or an index at a link is refused with a text that says so.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "tests/engine/test_util.h"

namespace {

using xbtest::CreateTable;
using xbtest::Open;
using xbtest::ReadFile;
using xbtest::TempDir;
using xbtest::WriteFile;

struct SideFileCase {
  const char* name;
  const char* side_file;  // the name in the table's folder where the link is planted
  bool refused;           // the operation fails with a text naming the link
  // Runs the operation on the table's folder, calling plant() when the link is to appear;
  // returns the engine's error text, empty on success.
  std::function<std::string(const TempDir&, const std::function<void()>& plant)> operation;
};

void PrintTo(const SideFileCase& c, std::ostream* out) { *out << c.name; }

// The error text of the last call (empty when ok), read before the tables are closed.
std::string Outcome(bool ok) {
  std::string error = ok ? "" : std::string("failed: ") + xb_LastErrorText();
  xb_CloseAll();
  return error;
}

enum class LinkTo { kNothing, kExistingFile };

std::string RewriteEveryRecord(const TempDir& dir, const std::function<void()>& plant) {
  Open(dir.File("T.DBF"));
  plant();  // after the open, which would clear it away
  bool ok = true;
  for (xb_GoTop(); !xb_Eof() && ok; xb_Skip(1)) {
    ok = xb_Replace("NAME", XB_REPLACE_TEXT, "riscritto") == 1 && xb_Commit() == 1;
  }
  return Outcome(ok);
}

std::string OpenAndClose(const TempDir& dir, const std::function<void()>& plant) {
  plant();
  return Outcome(Open(dir.File("T.DBF")) > 0);
}

std::string DeleteFirstAndPack(const TempDir& dir, const std::function<void()>& plant) {
  plant();
  Open(dir.File("T.DBF"));
  return Outcome(xb_Go(1) == 1 && xb_Delete() == 1 && xb_Pack() == 1 && xb_RecCount() == 39);
}

std::string IndexByName(const TempDir& dir, const std::function<void()>& plant) {
  plant();
  Open(dir.File("T.DBF"));
  return Outcome(xb_Index(dir.File("T.NTX").c_str(), "NAME", 0, 0, "") > 0);
}

std::string CreateWithMemo(const TempDir& dir, const std::function<void()>& plant) {
  plant();
  return Outcome(xb_CreateNewEx(dir.File("N.DBF").c_str(), "", 1, 2, 0x03) == 1 &&
                 xb_CreateField("NAME", "C", 10, 0) == 1 &&
                 xb_CreateField("NOTE", "M", 10, 0) == 1 && xb_CreateExec() == 1);
}

std::string ExportAsText(const TempDir& dir, const std::function<void()>& plant) {
  plant();
  Open(dir.File("T.DBF"));
  return Outcome(xb_CopyFileText(dir.File("T.TXT").c_str(), "") >= 0);
}

const SideFileCase kCases[] = {
    {"JournalOnWrite", "T.DBF-journal", false, RewriteEveryRecord},
    {"JournalAtOpen", "T.DBF-journal", false, OpenAndClose},
    {"PackTemporary", "T.DBF.packing", false, DeleteFirstAndPack},
    {"NewIndex", "T.NTX", true, IndexByName},
    {"CreatedTable", "N.DBF", true, CreateWithMemo},
    {"CreatedMemo", "N.DBT", true, CreateWithMemo},
    {"TextExport", "T.TXT", true, ExportAsText},
};

// Every file under `root` with its bytes.
std::map<std::string, std::string> Contents(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    files[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : "";
  }
  return files;
}

class SideFileLinks : public ::testing::TestWithParam<std::tuple<SideFileCase, LinkTo>> {
 protected:
  void SetUp() override {
    // 40 records of 211 bytes: several rewrites cross a page boundary and use the journal.
    CreateTable(table_folder_.File("T.DBF"), {{"NAME", "C", 200, 0}, {"QTY", "N", 10, 0}});
    Open(table_folder_.File("T.DBF"));
    for (int i = 0; i < 40; ++i) xbtest::Append({{"NAME", "riga " + std::to_string(i)}});
    xb_CloseAll();
    WriteFile(elsewhere_.File("precious"), "bytes of another account's file");
  }
  void TearDown() override { xb_FinalizeSession(); }

  TempDir table_folder_;
  TempDir elsewhere_;  // stands for another account's home
};

TEST_P(SideFileLinks, NothingOutsideTheFolderChangesAndTheTableStaysSound) {
  const auto& [c, link_to] = GetParam();
  std::string target = elsewhere_.File(link_to == LinkTo::kNothing ? "planted" : "precious");
  std::string side = table_folder_.File(c.side_file);
  auto before = Contents(elsewhere_.path());

  std::string error =
      c.operation(table_folder_, [&] { ASSERT_EQ(symlink(target.c_str(), side.c_str()), 0); });

  EXPECT_EQ(Contents(elsewhere_.path()), before);
  if (c.refused) {
    EXPECT_NE(error.find(std::string(c.side_file) + ": it is a symbolic link"), std::string::npos)
        << error;
    EXPECT_FALSE(std::filesystem::is_regular_file(
        std::filesystem::symlink_status(table_folder_.File("N.DBF"))))
        << "a table without its memo";
  } else {
    EXPECT_EQ(error, "");
    struct stat st;
    EXPECT_FALSE(lstat(side.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "the link is still there";
  }
  std::string out;
  EXPECT_EQ(xbtest::Run(std::string(XBTOOL_PATH) + " check " + table_folder_.File("T.DBF"), &out),
            0)
      << out;
}

INSTANTIATE_TEST_SUITE_P(EverySideFile, SideFileLinks,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(LinkTo::kNothing,
                                                              LinkTo::kExistingFile)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) == LinkTo::kNothing ? "Dangling"
                                                                               : "ToExistingFile");
                         });

// A table whose folder is reached through a link (as an administrator may set up) is written
// as before: only the last component of a side file's name must not be a link.
TEST(SideFileLinks, FolderReachedThroughALinkKeepsWorking) {
  TempDir root;
  ASSERT_EQ(mkdir(root.File("real").c_str(), 0777), 0);
  ASSERT_EQ(symlink(root.File("real").c_str(), root.File("linked").c_str()), 0);
  std::string table = root.File("linked/T.DBF");
  CreateTable(table, {{"NAME", "C", 200, 0}});
  Open(table);
  for (int i = 0; i < 40; ++i) xbtest::Append({{"NAME", "riga"}});
  ASSERT_EQ(xb_Go(20), 1);
  EXPECT_EQ(xb_Delete(), 1);
  EXPECT_EQ(xb_Pack(), 1) << xb_LastErrorText();
  EXPECT_GT(xb_Index(root.File("linked/T.NTX").c_str(), "NAME", 0, 0, ""), 0) << xb_LastErrorText();
  xb_CloseAll();
  xb_FinalizeSession();
  EXPECT_TRUE(std::filesystem::is_regular_file(root.File("real/T.NTX")));
  std::string out;
  EXPECT_EQ(
      xbtest::Run(std::string(XBTOOL_PATH) + " check " + table + " " + root.File("linked/T.NTX"),
                  &out),
      0)
      << out;
}

// Creating a table over one that a work area holds is refused before anything is emptied.
TEST(SideFileLinks, CreatingOverATableInUseLeavesItWhole) {
  TempDir dir;
  std::string table = dir.File("T.DBF");
  CreateTable(table, {{"NAME", "C", 10, 0}});
  Open(table, XB_OPEN_SHARED);
  xbtest::Append({{"NAME", "resta"}});
  const std::string before = ReadFile(table);
  EXPECT_FALSE(xb_CreateNewEx(table.c_str(), "", 1, 1, 0x03) == 1 &&
               xb_CreateField("NAME", "C", 20, 0) == 1 && xb_CreateExec() == 1);
  EXPECT_NE(std::string(xb_LastErrorText()).find("in use"), std::string::npos)
      << xb_LastErrorText();
  xb_CloseAll();
  xb_FinalizeSession();
  EXPECT_EQ(ReadFile(table), before);
}

}  // namespace
