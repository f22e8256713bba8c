// Tests of xbtool through its command line: creation with a code page, UTF-8 text in and
// out, CSV dumps with deleted records marked, edits, counts, checks and usage errors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class XbtoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/xbtool-test-XXXXXX";
    dir_ = mkdtemp(pattern);
    table_ = dir_ + "/STAMPE.DBF";
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs xbtool with args (shell words); returns the exit status, output in out_ (stdout
  // and stderr together).
  int Tool(const std::string& args) {
    FILE* pipe = popen((std::string(XBTOOL_PATH) + " " + args + " 2>&1").c_str(), "r");
    out_.clear();
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out_.append(buffer, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Bytes() {
    std::ifstream in(table_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string dir_, table_, out_;
};

TEST_F(XbtoolTest, CreateAppendSetDumpRoundTripsUtf8ThroughCp1252) {
  ASSERT_EQ(
      Tool("create " + table_ + " DESCRIZIO:C:40 DIR:C:20 VISUALIZZA:L TIPO:N:1:0 --codepage 1252"),
      0)
      << out_;
  std::string header = Bytes();
  EXPECT_EQ(uint8_t(header[0]), 0x03);
  EXPECT_EQ(uint8_t(header[29]), 0x03);  // language driver CP1252
  ASSERT_EQ(Tool("append " + table_ + " 'DESCRIZIO=Contabilità €' DIR=conta VISUALIZZA=T TIPO=1"),
            0)
      << out_;
  ASSERT_EQ(
      Tool("append " + table_ + " 'DESCRIZIO=Didattica, \"prima\"' DIR=dida VISUALIZZA=F TIPO=2"),
      0)
      << out_;
  EXPECT_NE(Bytes().find("Contabilit\xE0 \x80"), std::string::npos);  // stored as CP1252 bytes
  ASSERT_EQ(Tool("set " + table_ + " 2 VISUALIZZA=T"), 0) << out_;
  ASSERT_EQ(Tool("dump " + table_), 0) << out_;
  EXPECT_EQ(out_,
            "DELETED,DESCRIZIO,DIR,VISUALIZZA,TIPO\n"
            ",Contabilità €,conta,T,1\n"
            ",\"Didattica, \"\"prima\"\"\",dida,T,2\n");
  ASSERT_EQ(Tool("count " + table_ + " 'TIPO=1 AND VISUALIZZA=TRUE'"), 0) << out_;
  EXPECT_EQ(out_, "1\n");
  ASSERT_EQ(Tool("count " + table_ + " 'DESCRIZIO = \"Contabilità\"'"), 0) << out_;
  EXPECT_EQ(out_, "1\n");
  ASSERT_EQ(Tool("check " + table_), 0) << out_;
}

TEST_F(XbtoolTest, DeletedRecordsAreMarkedAndNotCounted) {
  ASSERT_EQ(Tool("create " + table_ + " NAME:C:5 NOTE:M"), 0) << out_;
  ASSERT_EQ(Tool("append " + table_ + " NAME=a 'NOTE=riga uno'"), 0) << out_;
  ASSERT_EQ(Tool("append " + table_ + " NAME=b"), 0) << out_;
  std::string bytes = Bytes();
  size_t header = size_t(uint8_t(bytes[8]) | uint8_t(bytes[9]) << 8);
  bytes[header] = '*';
  std::ofstream(table_, std::ios::binary | std::ios::trunc) << bytes;
  ASSERT_EQ(Tool("dump " + table_), 0) << out_;
  EXPECT_EQ(out_, "DELETED,NAME,NOTE\n*,a,riga uno\n,b,\n");
  ASSERT_EQ(Tool("count " + table_ + " '.T.'"), 0);
  EXPECT_EQ(out_, "1\n");
}

TEST_F(XbtoolTest, CodePage437RefusesCharactersItLacks) {
  ASSERT_EQ(Tool("create " + table_ + " NAME:C:10 --codepage 437"), 0) << out_;
  EXPECT_EQ(uint8_t(Bytes()[29]), 0x01);
  ASSERT_EQ(Tool("append " + table_ + " 'NAME=città'"), 0) << out_;
  EXPECT_NE(Bytes().find("citt\x85"), std::string::npos);
  EXPECT_EQ(Tool("append " + table_ + " 'NAME=5 €'"), 1);
  EXPECT_NE(out_.find("€"), std::string::npos) << out_;
  ASSERT_EQ(Tool("dump " + table_), 0);
  EXPECT_EQ(out_, "DELETED,NAME\n,città\n");
}

TEST_F(XbtoolTest, CheckReportsDamageAndExitsNonZero) {
  ASSERT_EQ(Tool("create " + table_ + " NAME:C:10 QTY:N:3:0"), 0) << out_;
  ASSERT_EQ(Tool("append " + table_ + " NAME=a QTY=5"), 0) << out_;
  std::string bytes = Bytes();
  bytes[4] = 9;  // counts more records than the file holds
  std::ofstream(table_, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(Tool("check " + table_), 1);
  EXPECT_NE(out_.find("counts 9 records"), std::string::npos) << out_;
  bytes[4] = 1;
  bytes[10] = char(bytes[10] + 2);  // record length disagrees with the fields
  std::ofstream(table_, std::ios::binary | std::ios::trunc) << bytes;
  EXPECT_EQ(Tool("check " + table_), 1);
  EXPECT_NE(out_.find("disagrees"), std::string::npos) << out_;
  EXPECT_EQ(Bytes(), bytes);  // checking never writes
}

TEST_F(XbtoolTest, BinaryMemosAreShownByLengthAndCheckFollowsMemoChains) {
  std::string memo = dir_ + "/STAMPE.DBT";
  ASSERT_EQ(Tool("create " + table_ + " NAME:C:4 NOTE:M"), 0) << out_;
  ASSERT_EQ(Tool("append " + table_ + " NAME=a NOTE=abc"), 0) << out_;
  ASSERT_EQ(Tool("append " + table_ + " NAME=b NOTE=" + std::string(600, 'x')), 0) << out_;
  auto patch = [](const std::string& file, long at, const std::string& bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(at);
    f.write(bytes.data(), std::streamsize(bytes.size()));
  };
  patch(memo, 512, std::string("a\0bc", 4));  // a picture, say: bytes with a NUL
  ASSERT_EQ(Tool("dump " + table_), 0) << out_;
  EXPECT_NE(std::string::npos, out_.find("a,\"<binary, 4 bytes>\"")) << out_;
  ASSERT_EQ(Tool("check " + table_), 0) << out_;

  // Record 1 (header 32 + 2 x 32 + 1, then deletion byte and NAME) pointed into record 2's
  // memo, which spans blocks 2 and 3; then past the file's end.
  long reference = 32 + 2 * 32 + 1 + 1 + 4;
  patch(table_, reference, "         3");
  EXPECT_EQ(Tool("check " + table_), 1);
  EXPECT_NE(std::string::npos, out_.find("starts inside the memo of record 2")) << out_;
  patch(table_, reference, "        99");
  EXPECT_EQ(Tool("check " + table_), 1);
  EXPECT_NE(std::string::npos, out_.find("past the end")) << out_;
}

TEST_F(XbtoolTest, BadInputGetsAClearErrorAndNothingIsWritten) {
  EXPECT_EQ(Tool(""), 2);
  EXPECT_EQ(Tool("frobnicate x"), 2);
  EXPECT_NE(out_.find("unknown command"), std::string::npos);
  EXPECT_EQ(Tool("create " + table_ + " NAME:Q:10"), 1);
  EXPECT_EQ(Tool("create " + table_ + " NAME"), 1);
  EXPECT_EQ(Tool("create " + table_ + " NAME:C:10 --codepage 1251"), 1);
  EXPECT_EQ(Tool("dump " + dir_ + "/MISSING.DBF"), 1);
  EXPECT_NE(out_.find("MISSING.DBF"), std::string::npos) << out_;
  ASSERT_EQ(Tool("create " + table_ + " NAME:C:3 QTY:N:2:0"), 0) << out_;
  std::string before = Bytes();
  EXPECT_EQ(Tool("set " + table_ + " 1 NAME=x"), 1);  // no record 1
  EXPECT_EQ(Tool("set " + table_ + " zero NAME=x"), 1);
  EXPECT_EQ(Tool("count " + table_ + " 'QTY +'"), 1);
  EXPECT_EQ(Tool("append " + table_ + " NOSUCH=1"), 1);
  EXPECT_EQ(Tool("append " + table_ + " NAME=ok QTY=123"), 1);  // too wide
  EXPECT_NE(out_.find("too wide"), std::string::npos) << out_;
  EXPECT_EQ(Bytes(), before);  // a refused append leaves no record behind
}

// A text longer than its field is refused by append and set alike (the record left as it
// was, the other fields of the same command unwritten); --truncate asks for the cut.
TEST_F(XbtoolTest, TextLongerThanItsFieldIsRefusedUnlessCuttingIsAsked) {
  ASSERT_EQ(Tool("create " + table_ + " DESCRIZIO:C:10 DIR:C:5"), 0) << out_;
  std::string empty = Bytes();
  EXPECT_EQ(Tool("append " + table_ + " DESCRIZIO=Circolari DIR=CIRCOLARI"), 1);
  EXPECT_NE(out_.find("field DIR holds 5 characters, the text has 9"), std::string::npos) << out_;
  EXPECT_EQ(Bytes(), empty);

  ASSERT_EQ(Tool("append " + table_ + " DESCRIZIO=Circolari DIR=CIRC"), 0) << out_;
  std::string one = Bytes();
  EXPECT_EQ(Tool("set " + table_ + " 1 DESCRIZIO=Lettere DIR=LETTERE"), 1);
  EXPECT_EQ(Bytes(), one);
  EXPECT_EQ(Tool("set " + table_ + " 1 DIR=àèìòù"), 0) << out_;  // five letters, five bytes
  EXPECT_EQ(Tool("set " + table_ + " 1 DESCRIZIO=Lettere DIR=LETTERE --truncate"), 0) << out_;
  EXPECT_EQ(Tool("append " + table_ + " --truncate DESCRIZIO=Modulistica DIR=MOD"), 0) << out_;
  ASSERT_EQ(Tool("dump " + table_), 0);
  EXPECT_EQ(out_, "DELETED,DESCRIZIO,DIR\n,Lettere,LETTE\n,Modulistic,MOD\n");
}

TEST_F(XbtoolTest, EveryCommandHasHelp) {
  EXPECT_EQ(Tool("--help"), 0);
  for (const char* command : {"create", "dump", "append", "set", "count", "check"}) {
    EXPECT_EQ(Tool(std::string(command) + " --help"), 0) << command;
    EXPECT_NE(out_.find(std::string("usage: xbtool ") + command), std::string::npos) << out_;
  }
}

}  // namespace
