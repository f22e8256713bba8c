// Tables written by other programs: FoxPro 2 and Visual FoxPro tables made by python3-dbf,
// dBase 7 and Clipper tables written byte by byte from the format facts. They open (read-only
// where the engine does not write their types), simple types read typed, the rest raw.
#include <cstring>

#include "base/dbf_field.h"
#include "tests/engine/test_util.h"

namespace dbf = velloria::dbf;

namespace {

using xbtest::Run;
using xbtest::TempDir;

std::string Peer(const std::string& args) {
  std::string out;
  EXPECT_EQ(Run(std::string("/usr/bin/python3 ") + PEER_SCRIPT + " " + args, &out), 0) << args;
  return out;
}

void PutBe32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += char(v >> shift);
}

// dBase 7's sortable encodings: big-endian, sign bit flipped (all bits of a negative double).
std::string OrderedInt32(int32_t v) {
  std::string out;
  PutBe32(out, uint32_t(v) ^ 0x80000000u);
  return out;
}
std::string OrderedDouble(double d) {
  uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  v = (v >> 63) != 0 ? ~v : v | (uint64_t(1) << 63);
  std::string out;
  for (int shift = 56; shift >= 0; shift -= 8) out += char(v >> shift);
  return out;
}

struct RawField {
  std::string name;
  char type;
  int width;
  int decimals;
};

// A table file: 32-byte fixed header, then 32-byte descriptors or, for dBase 7 (version
// 0x04), a 36-byte language driver name and 48-byte descriptors; then the records.
std::string TableBytes(uint8_t version, const std::vector<RawField>& fields,
                       const std::vector<std::string>& records, int record_length) {
  bool dbase7 = version == 0x04 || version == 0x8C;
  size_t header = (dbase7 ? 68 + 48 * fields.size() : 32 + 32 * fields.size()) + 1;
  std::string out(32, '\0');
  out[0] = char(version), out[1] = 124, out[2] = 5, out[3] = 6;
  out[4] = char(records.size());
  out[8] = char(header & 0xFF), out[9] = char(header >> 8);
  out[10] = char(record_length & 0xFF), out[11] = char(record_length >> 8);
  if (dbase7) out += std::string(36, '\0');
  for (const RawField& f : fields) {
    std::string d(dbase7 ? 48 : 32, '\0');
    d.replace(0, f.name.size(), f.name);
    size_t at = dbase7 ? 32 : 11;
    d[at] = f.type;
    d[at + (dbase7 ? 1 : 5)] = char(f.width);
    d[at + (dbase7 ? 2 : 6)] = char(f.decimals);
    out += d;
  }
  out += '\r';
  for (const std::string& r : records) out += r;
  return out + '\x1A';
}

class FormatsTest : public ::testing::Test {
 protected:
  void TearDown() override { xb_FinalizeSession(); }
  TempDir dir_;
};

TEST_F(FormatsTest, VisualFoxProTableOpensReadOnlyWithTypedValuesAndMemos) {
  std::string path = dir_.File("VFP.DBF");
  Peer("write-vfp " + path);
  int area = xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, 2, XB_COMMIT_NORMAL);
  ASSERT_GT(area, 0) << xb_LastErrorText();
  EXPECT_NE(std::string::npos, std::string(xb_TableDamage()).find("read only"));
  xb_GoTop();
  EXPECT_EQ(-7, xb_GetLong("QTY"));
  EXPECT_EQ(2.5, xb_GetDouble("PRICE"));
  EXPECT_EQ(12.0, xb_GetDouble("AMOUNT"));
  EXPECT_STREQ("20240229134510", xb_GetString("WHEN"));
  EXPECT_STREQ("Integer", xb_FieldType("QTY"));
  EXPECT_STREQ("nota", xb_GetMemo("NOTE"));
  EXPECT_EQ(1, xb_EvalLogical("QTY < 0 .AND. PRICE > 2 .AND. YEAR(WHEN) = 2024"));
  xb_Skip(1);
  EXPECT_EQ(123456, xb_GetLong("QTY"));
  EXPECT_EQ(-0.125, xb_GetDouble("PRICE"));
  EXPECT_STREQ(std::string(14, ' ').c_str(), xb_GetString("WHEN")) << "an empty time stamp";
  EXPECT_EQ(0, xb_Replace("NAME", XB_REPLACE_TEXT, "x"));
  EXPECT_EQ(XB_ERR_READ_ONLY, xb_LastErrorCode());
  ASSERT_EQ(1, xb_Query("QTY > 0"));
  EXPECT_EQ(1, xb_QueryRecCount());
}

TEST_F(FormatsTest, FoxPro2TableReadsItsMemoFile) {
  std::string path = dir_.File("FP.DBF");
  Peer("write-fp " + path);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_READ_ONLY, 2, XB_COMMIT_NORMAL), 0)
      << xb_LastErrorText();
  xb_GoTop();
  EXPECT_EQ(-7, xb_GetLong("QTY"));
  EXPECT_STREQ("nota", xb_GetMemo("NOTE"));
  EXPECT_EQ(1, xb_LanguageDriver());
}

TEST_F(FormatsTest, Dbase7TableReadsItsBigEndianTypesAndLongNames) {
  std::vector<RawField> fields = {{"NAME", dbf::type::kCharacter, 6, 0},  {"AMOUNT_IN_EURO", dbf::type::kOrderedDouble, 8, 0},
                                  {"COUNT", dbf::type::kInteger, 4, 0}, {"ID", dbf::type::kAutoIncrement, 4, 0},
                                  {"SINCE", dbf::type::kTimestamp, 8, 0}, {"SHAPE", 'Q', 3, 0}};
  auto record = [](const std::string& name, double amount, int32_t count, int32_t id, uint32_t day,
                   uint32_t ms) {
    std::string r = " " + name;
    r.resize(7, ' ');
    r += OrderedDouble(amount) + OrderedInt32(count) + OrderedInt32(id);
    PutBe32(r, day);
    PutBe32(r, ms);
    return r + "\x01\x02\x03";
  };
  // Julian day 2460370 is 2024-02-29; 49510000 ms is 13:45:10.
  std::string path = dir_.File("D7.DBF");
  xbtest::WriteFile(path, TableBytes(0x04, fields,
                                     {record("uno", -2.25, -5, 1, 2460370, 49510000),
                                      record("due", 1e6, 70000, 2, 0, 0)},
                                     1 + 6 + 8 + 4 + 4 + 8 + 3));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NORMAL), 0)
      << xb_LastErrorText();
  xb_GoTop();
  EXPECT_EQ(-2.25, xb_GetDouble("AMOUNT_IN_EURO"));
  EXPECT_EQ(-5, xb_GetLong("COUNT"));
  EXPECT_EQ(1, xb_GetLong("ID"));
  EXPECT_EQ(2460370, xb_GetDateJulian("SINCE"));
  EXPECT_STREQ("20240229134510", xb_GetString("SINCE"));
  EXPECT_STREQ("\x01\x02\x03", xb_GetString("SHAPE")) << "an uninterpreted type reads raw";
  EXPECT_STREQ("Raw", xb_FieldType("SHAPE"));
  xb_Skip(1);
  EXPECT_EQ(1e6, xb_GetDouble("AMOUNT_IN_EURO"));
  EXPECT_EQ(70000, xb_GetLong("COUNT"));
  ASSERT_EQ(1, xb_Query("AMOUNT_IN_EURO < 0 .AND. COUNT = -5"));
  EXPECT_EQ(1, xb_QueryRecCount());
}

TEST_F(FormatsTest, ClipperWideCharacterFieldsAreReadWrittenAndReadByPeers) {
  // Width 300 = 44 + 256 x 1: the decimals byte holds the width's high byte. A table with a
  // dBase IV version byte is read so too when only that reading fills the record.
  std::string note(300, 'x');
  note.replace(297, 3, "END");
  std::string bytes =
      TableBytes(0x8B, {{"NAME", dbf::type::kCharacter, 4, 0}, {"NOTE", dbf::type::kCharacter, 44, 1}}, {" abcd" + note}, 305);
  std::string path = dir_.File("WIDE.DBF");
  xbtest::WriteFile(path, bytes);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NORMAL), 0)
      << xb_LastErrorText();
  EXPECT_EQ(300, xb_FieldWidth("NOTE"));
  xb_GoTop();
  EXPECT_EQ(note, std::string(xb_GetTrimString("NOTE")));
  xb_CloseAll();

  std::string made = dir_.File("MADE.DBF");
  std::string out;
  ASSERT_EQ(0, xbtest::Run(std::string(XBTOOL_PATH) + " create " + made + " NAME:C:4 NOTE:C:300"));
  ASSERT_EQ(0,
            xbtest::Run(std::string(XBTOOL_PATH) + " append " + made + " NAME=abcd NOTE=" + note));
  ASSERT_EQ(0, xbtest::Run(std::string(XBTOOL_PATH) + " check " + made, &out)) << out;
  EXPECT_EQ("abcd|300|END\n", Peer("read-wide " + made));
  EXPECT_NE(0, xbtest::Run(std::string(XBTOOL_PATH) + " index " + made + " " + dir_.File("N.NTX") +
                               " NOTE 2>&1",
                           &out));
  EXPECT_NE(std::string::npos, out.find("longer than")) << out;
}

}  // namespace
