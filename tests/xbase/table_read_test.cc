// Reading TXbTable: how stored field texts decode, the fetch rules at both ends and on an
// empty table, record numbers, bookmarks and the buffer window seen by a data link.
#include <cstring>
#include <fstream>

#include "base/dbf_field.h"
#include "dataset/data_source.h"
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

class TableReadTest : public XBaseTest {
 protected:
  // One record per row: NAME C 10, COUNT N 5 0, SMALL N 2 0, PRICE N 6 2, FLAG L, DAY D.
  TXbTable& OpenSamples(const std::vector<RawRecord>& records) {
    CreateTable(m_folder.File("SAMPLES.DBF"),
                {{"NAME", dbf::type::kCharacter, 10}, {"COUNT", dbf::type::kNumber, 5}, {"SMALL", dbf::type::kNumber, 2}, {"PRICE", dbf::type::kNumber, 6, 2},
                 {"FLAG", dbf::type::kLogical, 1}, {"DAY", dbf::type::kDate, 8}},
                records);
    return OpenTable("SAMPLES.DBF");
  }
};

TEST_F(TableReadTest, StoredTextDecodesByFieldType) {
  TXbTable& table = OpenSamples({{{"ABC", "   12", " 7", " 12.50", "T", "20010315"}},
                                 {{"", "", "", "", " ", "        "}},
                                 {{"  lead", "  -3 ", "4 ", "   1,5", "y", "20010015"}},
                                 {{"x", "abc", "99", "-0.25", "Y", "20010230"}}});
  TField& name = table.FieldByName("NAME");
  TField& count = table.FieldByName("COUNT");
  TField& small = table.FieldByName("SMALL");
  TField& price = table.FieldByName("PRICE");
  TField& flag = table.FieldByName("FLAG");
  TField& day = table.FieldByName("DAY");

  EXPECT_EQ("ABC", name.AsString());
  EXPECT_FALSE(name.IsNull());
  EXPECT_EQ(12, count.AsFloat());
  EXPECT_EQ(7, small.AsInteger());
  EXPECT_DOUBLE_EQ(12.5, price.AsFloat());
  EXPECT_TRUE(flag.AsBoolean());
  EXPECT_EQ(EncodeDayNumber(2001, 3, 15), day.AsDate());

  table.Next();  // blanks: text empty but present, everything else null
  EXPECT_EQ("", name.AsString());
  EXPECT_FALSE(name.IsNull());
  for (TField* field : {&count, &small, &price, &flag, &day}) {
    EXPECT_TRUE(field->IsNull()) << field->FieldName();
  }

  table.Next();
  EXPECT_EQ("  lead", name.AsString());
  EXPECT_EQ(-3, count.AsFloat()) << "a float may be surrounded by blanks";
  EXPECT_EQ(4, small.AsInteger()) << "a blank after an integer's digits ends it";
  EXPECT_DOUBLE_EQ(1.5, price.AsFloat()) << "a decimal comma";
  EXPECT_TRUE(flag.AsBoolean()) << "lower-case y is true";
  EXPECT_FALSE(day.IsNull());
  EXPECT_EQ(0, day.AsDate()) << "month 00 reads as day 0";

  table.Next();
  EXPECT_EQ(0, count.AsFloat());
  EXPECT_DOUBLE_EQ(-0.25, price.AsFloat());
  EXPECT_TRUE(flag.AsBoolean());
  EXPECT_EQ(0, day.AsDate()) << "30 February does not exist";
}

// A number field's text reads the same through the engine's typed reader, a field in an
// expression (evaluated, and in a query the optimiser runs) and the component's field value.
TEST_F(TableReadTest, MalformedNumberTextReadsAlikeOnEveryRoad) {
  const std::vector<std::pair<std::string, double>> forms = {
      {"1,5", 1.5},      {"  1.5", 1.5},  {" -2,25", -2.25}, {"1.2.3", 1.2}, {"12abc", 12},
      {"1 5", 1},        {"abc", 0},      {"-", 0},          {"****", 0},    {"+3", 3},
      {"1.5E+00", 1.5},  {"1e", 1},       {"0x10", 0},       {",5", 0.5},    {"-.5", -0.5},
      {"1e999", 0},      {"12345678901234567890", 12345678901234567890.0}};
  std::vector<RawRecord> records;
  for (const auto& form : forms) records.push_back({{form.first, form.first}});
  CreateTable(m_folder.File("FORMS.DBF"), {{"V", dbf::type::kNumber, 20, 2}, {"F", dbf::type::kFloat, 20, 2}}, records);
  TXbTable& table = OpenTable("FORMS.DBF");
  const TXbEntryPoints& xb = Xb();
  int matching = 0;
  for (const auto& [text, expected] : forms) {
    SCOPED_TRACE(text);
    EXPECT_DOUBLE_EQ(expected, table.FieldByName("V").AsFloat());
    ASSERT_EQ(1, xb.xb_Go(table.RecNo()));
    EXPECT_DOUBLE_EQ(expected, xb.xb_GetDouble("V"));
    EXPECT_DOUBLE_EQ(expected, xb.xb_EvalNumeric("V"));
    EXPECT_DOUBLE_EQ(expected, xb.xb_GetDouble("F"));
    EXPECT_DOUBLE_EQ(expected, xb.xb_EvalNumeric("F"));
    if (expected < 1e9) {
      EXPECT_EQ(int(expected), xb.xb_GetLong("V"));
    }
    matching += expected == 1.5;
    table.Next();
  }
  auto shown = [&table](const std::string& filter) {
    table.SetFilter(filter);
    int count = 0;
    for (table.First(); !table.Eof(); table.Next()) ++count;
    return count;
  };
  table.SetFiltered(true);
  EXPECT_EQ(matching, shown("V = 1.5"));
  EXPECT_EQ(matching, shown("V = 1.5 .AND. F = 1.5"));
  EXPECT_EQ(matching, shown("V + 0 = 1.5"));  // evaluated, not planned
  EXPECT_EQ(1, xb.xb_EvalNumeric("VAL('1,5')")) << "VAL keeps its own rule";
}

TEST_F(TableReadTest, VisualFoxProIntegerFieldsReadTheirBinaryValueAndTheTableIsReadOnly) {
  // Version 0x30, NAME C 4 and QTY I 4 (little-endian -7); the header ends with the 263
  // bytes Visual FoxPro keeps for its database container.
  std::string header(32, '\0');
  header[0] = '\x30', header[4] = 1;
  size_t headerLength = 32 + 2 * 32 + 1 + 263;
  header[8] = char(headerLength & 0xFF), header[9] = char(headerLength >> 8), header[10] = 9;
  auto descriptor = [](const char* name, char type, int width) {
    std::string d(32, '\0');
    d.replace(0, std::strlen(name), name);
    d[11] = type, d[16] = char(width);
    return d;
  };
  std::string bytes = header + descriptor("NAME", 'C', 4) + descriptor("QTY", 'I', 4) + "\r" +
                      std::string(263, '\0') + " abcd" + std::string("\xF9\xFF\xFF\xFF", 4);
  std::ofstream(m_folder.File("FOX.DBF"), std::ios::binary) << bytes;
  TXbTable& table = OpenTable("FOX.DBF");
  EXPECT_EQ(TFieldType::ftInteger, table.FieldByName("QTY").DataType());
  EXPECT_EQ(-7, table.FieldByName("QTY").AsInteger());
  EXPECT_EQ("abcd", table.FieldByName("NAME").AsString());
  try {
    table.Edit();
    ADD_FAILURE() << "a read-only table was put in edit";
  } catch (const EXBaseError& error) {
    EXPECT_NE(std::string(error.what()).find("cannot be locked for writing"), std::string::npos) << error.what();
  }
}

TEST_F(TableReadTest, FloatsReadTheSameWhateverTheDecimalSeparator) {
  DatasetFormatSettings().decimalSeparator = ',';
  TXbTable& table = OpenSamples({{{"A", "1", "1", " 12.50", "T", ""}}});
  EXPECT_DOUBLE_EQ(12.5, table.FieldByName("PRICE").AsFloat());
  EXPECT_EQ("12,50", table.FieldByName("PRICE").DisplayText());
  DatasetFormatSettings().decimalSeparator = '.';
}

TEST_F(TableReadTest, EmptyTableEndsTheFirstFetchAfterTheLast) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {});
  Recorder& recorder = StartRecording();
  TXbTable& table = OpenTable();
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(table.Eof());
  EXPECT_TRUE(table.Bof());
  EXPECT_TRUE(recorder.Saw("xb_GoBottom()"));
  EXPECT_EQ("", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_THROW(table.Delete(), EDatabaseError);
}

TEST_F(TableReadTest, FetchesPastEitherEndStayOnARealRecord) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 1, true), Stampe("C", "C", 2, true)});
  TXbTable& table = OpenTable();
  table.Last();
  EXPECT_EQ(3, table.RecNo());
  table.Next();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(3, table.RecNo());
  EXPECT_EQ(3, Xb().xb_RecNo()) << "the engine is back on the last record";
  table.First();
  table.Prior();
  EXPECT_TRUE(table.Bof());
  EXPECT_EQ(1, Xb().xb_RecNo());
  EXPECT_EQ(2, table.MoveBy(5));
  EXPECT_EQ("C", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(3, table.RecordCount());
}

TEST_F(TableReadTest, BookmarksReturnToTheirRecord) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 1, true), Stampe("C", "C", 2, true)});
  TXbTable& table = OpenTable();
  table.Next();
  TBookmark second = table.GetBookmark();
  table.Last();
  EXPECT_EQ(1, table.CompareBookmarks(table.GetBookmark(), second));
  EXPECT_EQ(2, table.CompareBookmarks(TBookmark(), second));
  table.GotoBookmark(second);
  EXPECT_EQ("B", table.FieldByName("DESCRIZIO").AsString());
  std::int32_t missing = 99;
  EXPECT_THROW(table.GotoBookmark(TBookmark(reinterpret_cast<char*>(&missing), 4)), EXBaseError);
  EXPECT_EQ("Invalid bookmark", table.LastErrorText());
  table.SetRecNo(3);
  EXPECT_EQ("C", table.FieldByName("DESCRIZIO").AsString());
}

TEST_F(TableReadTest, WindowFollowsTheGridsBufferCount) {
  std::vector<RawRecord> records;
  for (int i = 1; i <= 30; ++i) records.push_back(Stampe("R" + std::to_string(i), "D", 1, true));
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), records);
  TXbTable& table = NewTable();
  TDataSource source;
  source.SetDataSet(&table);
  RecordingLink link;
  link.SetDataSource(&source);
  link.SetBufferCount(22);
  table.Open();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(22, table.BufferCount());
  EXPECT_EQ(22, link.RecordCount());
  EXPECT_LE(table.RecordFetches(), 23u) << "filling 22 rows";

  link.notices.clear();
  table.MoveBy(21);  // to the last buffered row: no shift
  table.Next();      // one past: the buffers shift by one
  EXPECT_EQ((std::vector<std::string>{"scrolled 0", "scrolled 1"}), link.notices);
  EXPECT_EQ(0, link.FirstRecord()) << "the window is the whole buffer set";
  EXPECT_EQ(21, link.ActiveRecord());
  EXPECT_EQ("R23", table.FieldByName("DESCRIZIO").AsString());

  link.SetActiveRecord(0);  // painting row 0 reads that row's record
  EXPECT_EQ("R2", table.FieldByName("DESCRIZIO").AsString());
  link.SetActiveRecord(21);

  link.notices.clear();
  table.Edit();
  table.FieldByName("TIPO").SetAsInteger(2);
  table.Post();
  EXPECT_EQ((std::vector<std::string>{"editing", "record *", "record TIPO", "update", "editing",
                                      "changed"}),
            link.notices);
  link.SetBufferCount(5);
  EXPECT_EQ(5, table.BufferCount());
  EXPECT_EQ(4, link.ActiveRecord());
  EXPECT_EQ("R23", table.FieldByName("DESCRIZIO").AsString());
  table.Close();
  EXPECT_FALSE(link.Active());
}

}  // namespace
}  // namespace velloria::xbase::testing
