// Interoperability with independent DBF readers and writers: tables written by python3-dbf
// and shapelib read the same through the engine, and tables the engine creates, appends to
// and rewrites read the same through python3-dbf, python3-dbfread and shapelib.
#include <shapefil.h>

#include <cmath>
#include <sstream>

#include "tests/engine/test_util.h"
#include "base/code_page.h"

namespace {

using xbtest::Run;
using xbtest::TempDir;

std::string Peer(const std::string& args) {
  std::string out;
  int status = Run(std::string("/usr/bin/python3 ") + PEER_SCRIPT + " " + args, &out);
  EXPECT_EQ(status, 0) << args;
  return out;
}

std::string Utf8(const std::string& cp1252) {
  return velloria::codepage::ToUtf8(cp1252, velloria::codepage::TCodePage::cp1252);
}

std::string Escaped(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\\n");
  return text;
}

// The current record in the peer's line form.
std::string EngineRow() {
  std::string qty_text;
  if (std::string(xb_GetString("QTY")).find_first_not_of(' ') != std::string::npos) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", xb_GetDouble("QTY"));
    qty_text = text;
  }
  std::string ok = xb_GetString("OK");
  std::string ok_text = ok == "T" || ok == "t" ? "T" : ok == "F" || ok == "f" ? "F" : "";
  std::string day = xb_GetTrimString("DAY");
  return std::string(xb_Deleted() ? "*" : " ") + "|" + Utf8(xb_GetTrimString("NAME")) + "|" +
         qty_text + "|" + ok_text + "|" + day + "|" + Escaped(Utf8(xb_GetMemo("NOTE")));
}

// All records through the engine, live ones first, in the peer's form.
std::string EngineDump(const std::string& path) {
  int area = xb_UseEx(path.c_str(), "", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NORMAL);
  EXPECT_GT(area, 0) << xb_LastErrorText();
  std::string live, deleted;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) (xb_Deleted() ? deleted : live) += EngineRow() + "\n";
  xb_Close();
  return live + deleted;
}

// Copies every record of the open table `from` into a new engine table at path.
void EngineCopy(const std::string& from, const std::string& path) {
  xbtest::CreateTable(path, {{"NAME", "C", 40, 0},
                             {"QTY", "N", 8, 2},
                             {"OK", "L", 1, 0},
                             {"DAY", "D", 8, 0},
                             {"NOTE", "M", 10, 0}});
  int src = xb_UseEx(from.c_str(), "SRC", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NORMAL);
  int dst = xb_UseEx(path.c_str(), "DST", XB_OPEN_SHARED, 1, XB_COMMIT_NORMAL);
  ASSERT_GT(src, 0);
  ASSERT_GT(dst, 0);
  xb_Select(int16_t(src));
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    std::string values[5] = {xb_GetString("NAME"), xb_GetString("QTY"), xb_GetString("OK"),
                             xb_GetString("DAY"), xb_GetMemo("NOTE")};
    bool deleted = xb_Deleted();
    xb_Select(int16_t(dst));
    ASSERT_EQ(xb_AppendBlank(), 1) << xb_LastErrorText();
    const char* fields[5] = {"NAME", "QTY", "OK", "DAY", "NOTE"};
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(
          xb_Replace(fields[i], i == 4 ? XB_REPLACE_MEMO : XB_REPLACE_TEXT, values[i].c_str()), 1)
          << fields[i] << " " << xb_LastErrorText();
    }
    if (deleted) xb_Delete();
    xb_Commit();
    xb_Unlock(0);
    xb_Select(int16_t(src));
  }
  xb_CloseAll();
}

class InteropTest : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { xb_FinalizeSession(); }
  TempDir dir_;
};

TEST_P(InteropTest, TablesOfThePythonWriterReadTheSame) {
  std::string path = dir_.File("PEER.DBF");
  Peer("write " + path + " " + std::to_string(GetParam()));
  std::string expected = Peer("expected " + std::to_string(GetParam()));
  EXPECT_EQ(EngineDump(path), expected);
}

TEST_P(InteropTest, TablesTheEngineWritesAndRewritesReadTheSameByThePeers) {
  std::string source = dir_.File("PEER.DBF");
  std::string path = dir_.File("ENGINE.DBF");
  Peer("write " + source + " " + std::to_string(GetParam()));
  EngineCopy(source, path);
  std::string expected = Peer("expected " + std::to_string(GetParam()));
  EXPECT_EQ(Peer("read-dbfread " + path), expected);
  EXPECT_EQ(Peer("read-dbf " + path), expected);

  // Rewrite every record as the program's sweep does, then read again.
  xbtest::Open(path, XB_OPEN_EXCLUSIVE);
  std::vector<char> image(static_cast<size_t>(xb_RecSize()));
  int ok_at = xb_FieldOffset("OK") - 1;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    xb_GetRecord(image.data());
    image[size_t(ok_at)] = image[size_t(ok_at)] == 'T' ? 'F' : 'T';
    ASSERT_EQ(xb_PutRecord(image.data()), 1);
    ASSERT_EQ(xb_Commit(), 1);
  }
  xb_CloseAll();
  std::string flipped;
  std::istringstream lines(expected);
  for (std::string line; std::getline(lines, line);) {
    size_t a = line.find('|', line.find('|', line.find('|') + 1) + 1);
    line[a + 1] = line[a + 1] == 'T' ? 'F' : 'T';
    flipped += line + "\n";
  }
  EXPECT_EQ(Peer("read-dbfread " + path), flipped);
  EXPECT_EQ(Peer("read-dbf " + path), flipped);
}

TEST_P(InteropTest, ShapelibReadsEngineTablesRecordForRecord) {
  std::string source = dir_.File("PEER.DBF");
  std::string path = dir_.File("ENGINE.DBF");
  Peer("write " + source + " " + std::to_string(GetParam()));
  EngineCopy(source, path);
  DBFHandle shp = DBFOpen(path.c_str(), "rb");
  ASSERT_NE(shp, nullptr);
  ASSERT_EQ(DBFGetRecordCount(shp), GetParam());
  ASSERT_EQ(DBFGetFieldCount(shp), 5);
  xbtest::Open(path, XB_OPEN_READ_ONLY);
  for (int i = 0; i < GetParam(); ++i) {
    xb_Go(i + 1);
    EXPECT_EQ(DBFIsRecordDeleted(shp, i) != 0, xb_Deleted() != 0) << i;
    EXPECT_STREQ(DBFReadStringAttribute(shp, i, 0), xb_GetTrimString("NAME")) << i;
    EXPECT_DOUBLE_EQ(DBFReadDoubleAttribute(shp, i, 1), xb_GetDouble("QTY")) << i;
    EXPECT_EQ(DBFReadLogicalAttribute(shp, i, 2)[0], xb_GetString("OK")[0]) << i;
    EXPECT_EQ(std::string(DBFReadStringAttribute(shp, i, 3)), std::string(xb_GetTrimString("DAY")))
        << i;
  }
  DBFClose(shp);
}

INSTANTIATE_TEST_SUITE_P(Sizes, InteropTest, ::testing::Values(0, 13, 2500));

TEST(ShapelibInterop, EngineReadsWhatShapelibWrites) {
  TempDir dir;
  std::string path = dir.File("SHP.DBF");
  DBFHandle shp = DBFCreate(path.c_str());
  ASSERT_NE(shp, nullptr);
  DBFAddField(shp, "NAME", FTString, 30, 0);
  DBFAddField(shp, "QTY", FTDouble, 10, 3);
  DBFAddField(shp, "COUNT", FTInteger, 6, 0);
  DBFAddNativeFieldType(shp, "OK", 'L', 1, 0);
  DBFAddNativeFieldType(shp, "DAY", 'D', 8, 0);
  for (int i = 0; i < 500; ++i) {
    std::string name = "Voce \xE8 " + std::to_string(i);  // CP1252 e-grave
    DBFWriteStringAttribute(shp, i, 0, name.c_str());
    DBFWriteDoubleAttribute(shp, i, 1, i * 0.125 - 7);
    DBFWriteIntegerAttribute(shp, i, 2, i * 3);
    DBFWriteLogicalAttribute(shp, i, 3, i % 3 == 0 ? 'T' : 'F');
    DBFWriteStringAttribute(shp, i, 4, "20240101");
    if (i % 7 == 0) DBFMarkRecordDeleted(shp, i, 1);
  }
  DBFClose(shp);
  xbtest::Open(path, XB_OPEN_READ_ONLY);
  ASSERT_EQ(xb_RecCount(), 500);
  int seen = 0;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1), ++seen) {
    int i = xb_RecNo() - 1;
    EXPECT_EQ(std::string(xb_GetTrimString("NAME")), "Voce \xE8 " + std::to_string(i));
    EXPECT_DOUBLE_EQ(xb_GetDouble("QTY"), i * 0.125 - 7);
    EXPECT_EQ(xb_GetLong("COUNT"), i * 3);
    EXPECT_EQ(xb_GetLogical("OK"), i % 3 == 0 ? 1 : 0);
    EXPECT_EQ(xb_Deleted() != 0, i % 7 == 0);
  }
  EXPECT_EQ(seen, 500);
  xb_SetDeleted(1);
  EXPECT_EQ(xb_Count(), 500 - 72);
  xb_FinalizeSession();
}

}  // namespace
