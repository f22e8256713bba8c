// Interoperability of our NTX files with an independent reader (Debian's Perl XBase index
// support) and writer (ntx_writer.py, made from the documented layout), and xbtool's index,
// seek, check and reindex commands on real files.
#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/engine/test_util.h"

using namespace xbtest;

namespace {

// Prints "key<TAB>recno<TAB>NAME of that record" for every entry, in the reader's order.
const char* kPerlReader =
    "use XBase; use XBase::Index;"
    "my ($dbf, $ntx) = @ARGV;"
    "my $t = XBase->new($dbf) or die XBase->errstr;"
    "my $i = XBase::Index->new($ntx, 'type' => 'char') or die XBase::Index->errstr;"
    "$i->prepare_select;"
    "while (my ($k, $r) = $i->fetch) {"
    "  my (undef, $name) = $t->get_record($r - 1, 'NAME');"
    "  print \"$k\\t$r\\t$name\\n\"; }";

struct Entry {
  std::string key;
  int recno;
  std::string name;
};

std::vector<Entry> ReadWithPerl(const std::string& dbf, const std::string& ntx) {
  TempDir scratch;
  WriteFile(scratch.File("reader.pl"), kPerlReader);
  std::string out;
  int status = Run("perl " + scratch.File("reader.pl") + " '" + dbf + "' '" + ntx + "'", &out);
  EXPECT_EQ(status, 0) << out;
  std::vector<Entry> entries;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    size_t a = line.find('\t'), b = line.find('\t', a + 1);
    if (a == std::string::npos || b == std::string::npos) continue;
    entries.push_back({line.substr(0, a), std::stoi(line.substr(a + 1, b - a - 1)), line.substr(b + 1)});
  }
  return entries;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A program that opened ntx-char.dbf under the alias ntx_char wrote the key "ntx_char->v1":
// the alias names the table's own field, so the index opens, checks and seeks under any
// alias of ours; a key naming a field the table lacks still names another work area.
TEST(NtxInterop, IndexWrittenUnderAnotherAliasOfTheTableOpensChecksAndSeeks) {
  TempDir dir;
  std::string out;
  ASSERT_EQ(0, xbtest::Run(std::string("/usr/bin/python3 ") + NTX_WRITER_SCRIPT + " " + dir.path(),
                           &out))
      << out;
  const std::string ntx = dir.File("ntx-char.ntx");
  xb_CloseAll();
  ASSERT_GT(Open(dir.File("ntx-char.dbf"), XB_OPEN_SHARED, "MINE"), 0) << xb_LastErrorText();
  ASSERT_GT(xb_IndexOpen(ntx.c_str()), 0) << xb_LastErrorText();
  xb_SetOrder(1);
  EXPECT_EQ(1, xb_IndexCheck(1)) << xb_LastErrorText();
  for (int recno = 1; recno <= xb_RecCount(); ++recno) {
    xb_Go(recno);
    const std::string key = xb_GetTrimString("V1");
    ASSERT_EQ(1, xb_Seek(key.c_str())) << key;
    EXPECT_EQ(recno, xb_RecNo()) << key;
  }
  std::vector<std::string> walked;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) walked.push_back(xb_GetTrimString("V1"));
  EXPECT_EQ(size_t(xb_RecCount()), walked.size());
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
  xb_CloseAll();

  std::string bytes = ReadFile(ntx);
  bytes.replace(22, 12, "ntx_char->zz");
  WriteFile(ntx, bytes);
  ASSERT_GT(Open(dir.File("ntx-char.dbf"), XB_OPEN_SHARED, "MINE"), 0) << xb_LastErrorText();
  EXPECT_EQ(0, xb_IndexOpen(ntx.c_str()));
  EXPECT_NE(std::string::npos, std::string(xb_LastErrorText()).find("another work area"))
      << xb_LastErrorText();
  xb_CloseAll();
}

TEST(NtxInterop, PerlReaderWalksOurIndexInKeyOrderWithMatchingKeys) {
  xb_CloseAll();
  TempDir dir;
  std::string dbf = dir.File("names.dbf"), ntx = dir.File("names.ntx");
  CreateTable(dbf, {{"NAME", "C", 12, 0}});
  Open(dbf);
  std::mt19937 random(3);
  for (int i = 0; i < 3000; ++i) {
    std::string name;
    for (int k = 0; k < 1 + int(random() % 10); ++k) name += char((k ? 'a' : 'A') + random() % 26);
    Append({{"NAME", name}});
  }
  ASSERT_GT(xb_Index(ntx.c_str(), "UPPER(NAME)", 0, 0, ""), 0) << xb_LastErrorText();
  // Updates after the build: splits and merges must leave a file the reader still follows.
  for (int i = 0; i < 600; ++i) {
    xb_Go(int32_t(1 + random() % 3000));
    std::string name = "Q" + std::to_string(random() % 100000);
    ASSERT_EQ(xb_Replace("NAME", XB_REPLACE_TEXT, name.c_str()), 1);
  }
  xb_CloseAll();

  std::vector<Entry> entries = ReadWithPerl(dbf, ntx);
  ASSERT_EQ(entries.size(), 3000u);
  std::vector<int> seen(3001, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    std::string expected = Upper(e.name);
    expected.resize(12, ' ');
    EXPECT_EQ(e.key, expected) << "record " << e.recno;
    if (i > 0) {
      EXPECT_LE(entries[i - 1].key, e.key);
    }
    ASSERT_TRUE(e.recno >= 1 && e.recno <= 3000);
    ++seen[size_t(e.recno)];
  }
  EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), 3000);
}

class NtxToolTest : public ::testing::Test {
 protected:
  int Tool(const std::string& args) {
    return xbtest::Run(std::string(XBTOOL_PATH) + " " + args + " 2>&1", &out_);
  }
  TempDir dir_;
  std::string out_;
};

TEST_F(NtxToolTest, IndexSeekCheckAndReindexRepairAfterATornUpdate) {
  std::string dbf = dir_.File("t.dbf"), ntx = dir_.File("t.ntx");
  ASSERT_EQ(Tool("create " + dbf + " CODE:C:8 N:N:5"), 0) << out_;
  for (int i = 1; i <= 150; ++i)
    ASSERT_EQ(Tool("append " + dbf + " CODE=K" + std::to_string(1000 - i) + " N=" + std::to_string(i)), 0);
  ASSERT_EQ(Tool("index " + dbf + " " + ntx + " CODE"), 0) << out_;
  ASSERT_EQ(Tool("seek " + dbf + " " + ntx + " K990"), 0) << out_;
  EXPECT_EQ(out_, "10\n");
  EXPECT_EQ(Tool("seek " + dbf + " " + ntx + " Z"), 1);
  EXPECT_EQ(out_, "not found\n");
  EXPECT_EQ(Tool("check " + dbf + " " + ntx), 0) << out_;

  // A change written to the table but not to the index, as a crash between the two leaves.
  ASSERT_EQ(Tool("set " + dbf + " 10 CODE=A1"), 0) << out_;
  EXPECT_EQ(Tool("check " + dbf + " " + ntx), 1);
  EXPECT_NE(out_.find("record 10"), std::string::npos) << out_;
  ASSERT_EQ(Tool("reindex " + dbf + " " + ntx), 0) << out_;
  EXPECT_EQ(Tool("check " + dbf + " " + ntx), 0) << out_;
  EXPECT_EQ(Tool("seek " + dbf + " " + ntx + " A1"), 0);
  EXPECT_EQ(out_, "10\n");

  EXPECT_EQ(Tool("index " + dbf + " " + ntx + " 'NOPE+'"), 1);
  EXPECT_NE(out_.find("cannot index"), std::string::npos) << out_;
  EXPECT_EQ(Tool("seek " + dbf + " " + dir_.File("missing.ntx") + " A"), 1);
  EXPECT_NE(out_.find("cannot open index"), std::string::npos) << out_;
}

}  // namespace
