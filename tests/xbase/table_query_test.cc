// Filtering and locating on TXbTable: the query the engine receives, what moves and what
// stays, and the expressions Locate builds.
#include "dataset/data_source.h"
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

class TableQueryTest : public XBaseTest {
 protected:
  TXbTable& OpenCategories() {
    CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
                {Stampe("Bilanci", "BIL", 1, false), Stampe("Fatture", "FAT", 1, true),
                 Stampe("Compiti", "COM", 2, true), Stampe("Pagelle", "PAG", 2, false),
                 Stampe("Lettere", "LET", 1, true)});
    return OpenTable();
  }
  std::vector<std::string> Descriptions(TXbTable& table) {
    std::vector<std::string> names;
    for (table.First(); !table.Eof(); table.Next()) {
      names.push_back(table.FieldByName("DESCRIZIO").AsString());
    }
    return names;
  }
  std::vector<std::string> m_events;
  void WatchScrolls(TXbTable& table) {
    table.BeforeScroll = [this](TDataSet&) { m_events.push_back("before"); };
    table.AfterScroll = [this](TDataSet&) { m_events.push_back("after"); };
  }
};

TEST_F(TableQueryTest, ProgramsFilterSequence) {
  TXbTable& table = OpenCategories();
  Recorder& recorder = StartRecording();
  WatchScrolls(table);
  table.SetFilter("TIPO=1 AND VISUALIZZA=TRUE");
  EXPECT_TRUE(recorder.Calls("xb_EvalTest").empty()) << "not filtered yet: the query is removed";
  EXPECT_TRUE(recorder.Saw("xb_Query(\"\")"));
  EXPECT_EQ((std::vector<std::string>{"before", "after"}), m_events);
  table.SetFiltered(true);
  EXPECT_TRUE(recorder.Saw("xb_EvalTest(\"TIPO=1 AND VISUALIZZA=TRUE\")"));
  EXPECT_EQ("Fatture", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ((std::vector<std::string>{"Fatture", "Lettere"}), Descriptions(table));
  EXPECT_EQ("TIPO=1 AND VISUALIZZA=TRUE", table.Filter());
}

TEST_F(TableQueryTest, FilterNobodySatisfiesLeavesAnEmptyTableAtItsEnd) {
  TXbTable& table = OpenCategories();
  TDataSource source;
  source.SetDataSet(&table);
  table.SetFilter("TIPO=9");
  table.SetFiltered(true);
  EXPECT_TRUE(table.IsEmpty());
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ("", table.FieldByName("DESCRIZIO").AsString());
  table.SetFiltered(false);
  EXPECT_EQ(5u, Descriptions(table).size());
}

TEST_F(TableQueryTest, InvalidQueryChangesNothing) {
  TXbTable& table = OpenCategories();
  table.SetFilter("TIPO=2");
  table.SetFiltered(true);
  table.Next();
  ASSERT_EQ("Pagelle", table.FieldByName("DESCRIZIO").AsString());
  WatchScrolls(table);
  EXPECT_THROW(table.SetFilter("TIPO+1"), EXBaseError);
  EXPECT_EQ("Invalid Query Expression", table.LastErrorText());
  EXPECT_EQ("TIPO=2", table.Filter());
  EXPECT_EQ("TIPO=2", std::string(Xb().xb_DBFilter()));
  EXPECT_EQ("Pagelle", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(4, table.RecNo());
  EXPECT_TRUE(m_events.empty());
  table.SetFiltered(false);
  EXPECT_NO_THROW(table.SetFiltered(true)) << "the refused text is not kept for later";
  EXPECT_EQ("TIPO=2", std::string(Xb().xb_DBFilter()));
}

TEST_F(TableQueryTest, FilterSetBeforeOpenIsAppliedWithoutTest) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 2, true)});
  Recorder& recorder = StartRecording();
  TXbTable& table = NewTable();
  table.SetFilter("TIPO=2");
  table.SetFiltered(true);
  table.Open();
  EXPECT_TRUE(recorder.Calls("xb_EvalTest").empty());
  EXPECT_TRUE(recorder.Saw("xb_Query(\"TIPO=2\")"));
  EXPECT_EQ("B", table.FieldByName("DESCRIZIO").AsString());
  table.Close();
  table.Open();  // the filter survives closing
  EXPECT_EQ("B", table.FieldByName("DESCRIZIO").AsString());
}

TEST_F(TableQueryTest, LocateOfTheProgramBuildsTheLogicalExpression) {
  TXbTable& table = OpenCategories();
  table.Last();
  Recorder& recorder = StartRecording();
  EXPECT_TRUE(table.Locate("VISUALIZZA", true, {}));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"VISUALIZZA= .T.\")")) << recorder.Log();
  EXPECT_EQ("Fatture", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ("", std::string(Xb().xb_DBFilter())) << "the temporary query is removed";
  EXPECT_TRUE(table.Locate("visualizza", false, {}));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"VISUALIZZA= .F.\")"));
  EXPECT_EQ("Bilanci", table.FieldByName("DESCRIZIO").AsString());
}

TEST_F(TableQueryTest, LocateNotFoundKeepsTheRecordAndFiresOnlyBeforeScroll) {
  TXbTable& table = OpenCategories();
  table.Next();
  table.Next();
  WatchScrolls(table);
  EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("Nessuna"), {}));
  EXPECT_EQ((std::vector<std::string>{"before"}), m_events);
  EXPECT_EQ("Compiti", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(3, Xb().xb_RecNo());
  EXPECT_THROW(table.Locate("NOSUCH", 1, {}), EDatabaseError);
}

TEST_F(TableQueryTest, LocateOnAFilteredTableFindsOnlyFilteredRecords) {
  TXbTable& table = OpenCategories();
  table.SetFilter("TIPO=2");
  table.SetFiltered(true);
  Recorder& recorder = StartRecording();
  EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("Fatture"), {}));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"(DESCRIZIO=\"Fatture                       \") .and. (TIPO=2)\")"))
      << recorder.Log();
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("Pagelle"), {}));
  EXPECT_EQ("TIPO=2", std::string(Xb().xb_DBFilter()));
  EXPECT_EQ((std::vector<std::string>{"Compiti", "Pagelle"}), Descriptions(table));
}

TEST_F(TableQueryTest, LocateStringKeysAreQuotedLiterally) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("Plain", "A", 1, true), Stampe("Say \"hi\"", "B", 1, true),
               Stampe("It's \"x\"", "C", 1, true), Stampe("a\"b'c]d", "D", 1, true)});
  TXbTable& table = OpenTable();
  Recorder& recorder = StartRecording();
  TLocateOptions partial{.caseInsensitive = false, .partialKey = true};
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("Say \"hi\""), partial));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"DESCRIZIO='Say \"hi\"'\")")) << recorder.Log();
  EXPECT_EQ(2, table.RecNo());
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("It's \"x\""), partial));
  EXPECT_EQ(3, table.RecNo());
  recorder.Clear();
  EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("a\"b'c]d"), partial));
  EXPECT_TRUE(recorder.Calls("xb_Query").empty()) << "no expression can hold all three";
  EXPECT_EQ(3, table.RecNo());
}

TEST_F(TableQueryTest, CaseInsensitiveAndPartialLocate) {
  TXbTable& table = OpenCategories();
  Recorder& recorder = StartRecording();
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("lett"),
                           {.caseInsensitive = true, .partialKey = true}));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"UPPER(DESCRIZIO)=\"LETT\"\")")) << recorder.Log();
  EXPECT_EQ("Lettere", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_TRUE(table.Locate("TIPO;VISUALIZZA", std::vector<TVariant>{2, false}, {}));
  EXPECT_TRUE(recorder.Saw("xb_Query(\"TIPO=2 .and. VISUALIZZA= .F.\")"));
  EXPECT_EQ("Pagelle", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(TVariant(std::string("FAT")), table.Lookup("DESCRIZIO", std::string("Fatture"), "DIR"));
}

TEST_F(TableQueryTest, LocatedRecordOutsideTheWindowBecomesItsMiddleRow) {
  std::vector<RawRecord> records;
  for (int i = 1; i <= 40; ++i) records.push_back(Stampe("R" + std::to_string(i), "D", 1, i == 30));
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), records);
  TXbTable& table = NewTable();
  TDataSource source;
  source.SetDataSet(&table);
  struct Link : TDataLink {} link;
  link.SetDataSource(&source);
  link.SetBufferCount(9);
  table.Open();
  WatchScrolls(table);
  EXPECT_TRUE(table.Locate("VISUALIZZA", true, {}));
  EXPECT_EQ(30, table.RecNo());
  EXPECT_EQ(4, table.ActiveRecordIndex());
  EXPECT_EQ(9, table.RecordCountInBuffers());
  EXPECT_EQ(4, link.ActiveRecord());
  EXPECT_EQ((std::vector<std::string>{"before", "after"}), m_events);
}

TEST_F(TableQueryTest, LiteralsTheCodePageLacksFindNothingInsteadOfTheQuestionMarks) {
  // "Ło" cannot be stored in CP1252; a record holding "?o" must not be taken for it.
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("?o", "Q", 1, true), Stampe("Lodz", "L", 1, true)});
  TXbTable& table = OpenTable();
  table.Next();
  for (TLocateOptions options :
       {TLocateOptions{}, TLocateOptions{.caseInsensitive = true, .partialKey = true}}) {
    EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("\xC5\x81o"), options));
    EXPECT_EQ(2, table.RecNo());
  }
  table.SetFilter("DESCRIZIO = \"\xC5\x81o\"");
  table.SetFiltered(true);
  EXPECT_TRUE(table.IsEmpty());
  table.SetFilter("DESCRIZIO = \"?o\"");
  EXPECT_EQ("?o", table.FieldByName("DESCRIZIO").AsString());
}

TEST_F(TableQueryTest, CaseInsensitiveLocateUpperCasesAsTheEngineDoes) {
  // CP1252 letters outside Latin-1's range: \x9A s-caron, \x9C oe, \x9E z-caron, \xFF y-diaeresis.
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("Plain", "A", 1, true), Stampe("\x8AKODA \x8C\x8E\x9F", "B", 1, true)});
  TXbTable& table = OpenTable();
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("\xC5\xA1koda \xC5\x93\xC5\xBE\xC3\xBF"),
                           {.caseInsensitive = true, .partialKey = false}));
  EXPECT_EQ(2, table.RecNo());
}

}  // namespace
}  // namespace velloria::xbase::testing
