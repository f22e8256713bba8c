// Locate's index route on TXbTable with real NTX orders in the engine: the order it chooses,
// the order and exact setting it restores, Null keys, and the fall-back to the query route.
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

class TableIndexTest : public XBaseTest {
 protected:
  // The category table with two orders: 1 on DESCRIZIO, 2 on UPPER(DESCRIZIO); order 0
  // (natural) is current afterwards.
  TXbTable& OpenIndexed() {
    TXbTable& table =
        OpenCategoriesWithOrders({{"DESC", "DESCRIZIO"}, {"UDESC", "UPPER(DESCRIZIO)"}});
    table.First();
    return table;
  }
  std::string Dir(TXbTable& table) { return table.FieldByName("DIR").AsString(); }
};

TEST_F(TableIndexTest, ExactLocateSeeksInTheOrderOnTheFieldAndRestoresOrderAndExact) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_SysProp(XB_PROP_SET_EXACT, 0);
  Recorder& recorder = StartRecording();
  // Without the case-insensitive option an order qualifies by the name exactly as written.
  EXPECT_TRUE(table.Locate("descrizio", std::string("Fatture"), {}));
  EXPECT_EQ("FAT", Dir(table));
  EXPECT_TRUE(recorder.Calls("xb_Seek").empty());
  table.First();
  recorder.Clear();
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("FATTURE"), {}));
  EXPECT_EQ("FA2", Dir(table));
  EXPECT_EQ(1u, recorder.Calls("xb_Seek").size());
  EXPECT_TRUE(recorder.Calls("xb_Query").empty()) << recorder.Log();
  EXPECT_EQ(0, xb.xb_IndexOrd());
  EXPECT_EQ(0, xb.xb_SysProp(XB_PROP_GET_EXACT, 0));
  // Without the case-insensitive option the exact order does not match "fatture".
  recorder.Clear();
  EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("fatture"), {}));
  EXPECT_FALSE(recorder.Calls("xb_Query").empty()) << "falls back to the query route";
  EXPECT_EQ("FA2", Dir(table)) << "the record stays";
}

TEST_F(TableIndexTest, CaseInsensitiveLocateChoosesTheUpperOrder) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_SetOrder(1);
  TLocateOptions insensitive{.caseInsensitive = true, .partialKey = false};
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("compiti"), insensitive));
  EXPECT_EQ("COM", Dir(table));
  EXPECT_EQ(1, xb.xb_IndexOrd());
  TLocateOptions prefix{.caseInsensitive = true, .partialKey = true};
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("pag"), prefix));
  EXPECT_EQ("PAG", Dir(table));
  EXPECT_EQ(1, xb.xb_SysProp(XB_PROP_GET_EXACT, 0)) << "the program's exact setting is back";
}

TEST_F(TableIndexTest, UpperOrderSeekUpperCasesAsTheEngineDoes) {
  TXbTable& table = OpenIndexed();
  table.Append();
  table.FieldByName("DESCRIZIO").SetAsString("\xC5\xA0koda");  // S-caron
  table.FieldByName("DIR").SetAsString("SKO");
  table.Post();
  table.First();
  Recorder& recorder = StartRecording();
  EXPECT_TRUE(table.Locate("DESCRIZIO", std::string("\xC5\xA1KODA"),
                           {.caseInsensitive = true, .partialKey = false}));
  EXPECT_EQ("SKO", Dir(table));
  EXPECT_TRUE(recorder.Calls("xb_Query").empty()) << "found by the seek: " << recorder.Log();
  EXPECT_FALSE(table.Locate("DESCRIZIO", std::string("\xC5\x82"),
                            {.caseInsensitive = true, .partialKey = true}));
  EXPECT_EQ(0, Xb().xb_IndexOrd()) << "the natural order is back";
}

TEST_F(TableIndexTest, NullKeyFindsNothingAndMissedSeekFallsBackToTheQuery) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_SetOrder(2);
  table.Last();
  Recorder& recorder = StartRecording();
  EXPECT_FALSE(table.Locate("DESCRIZIO", TVariant(), {}));
  EXPECT_TRUE(recorder.Calls("xb_Query").empty());
  EXPECT_EQ(2, xb.xb_IndexOrd());
  // A key field no order is on: the query route alone.
  recorder.Clear();
  EXPECT_TRUE(table.Locate("DIR", std::string("BIL"), {}));
  EXPECT_TRUE(recorder.Calls("xb_Seek").empty());
  EXPECT_EQ("Bilanci", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(2, xb.xb_IndexOrd());
}

TEST_F(TableIndexTest, DeletingUnderAnOrderWithDeletedConditionMovesToTheNextRecord) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  EXPECT_GT(xb.xb_Index(m_folder.File("LIVE").c_str(), "DIR", 0, 0, "!DELETED()"), 0);
  table.First();
  ASSERT_EQ("BIL", Dir(table));
  table.Next();
  ASSERT_EQ("COM", Dir(table));
  table.Delete();
  EXPECT_EQ("FA2", Dir(table));
  xb.xb_Select(table.WorkArea());
  EXPECT_EQ(0, xb.xb_Seek("COM")) << "a deleted record leaves the order";
}

TEST_F(TableIndexTest, IndexNameAndExtraIndexesAreOpenedAndDescribed) {
  TXbTable& first = OpenIndexed();
  first.Close();
  TXbTable& table = NewTable();
  table.SetIndexName("UDESC.ntx");
  table.SetExtraIndexes({"DESC.ntx"});
  table.Open();
  std::vector<std::string> dirs;
  for (table.First(); !table.Eof(); table.Next()) dirs.push_back(Dir(table));
  EXPECT_EQ((std::vector<std::string>{"BIL", "COM", "FAT", "FA2", "PAG"}), dirs);
  ASSERT_EQ(2u, table.IndexDefs().size());
  EXPECT_EQ("DESC", table.IndexDefs()[0].name);
  EXPECT_EQ("DESCRIZIO", table.IndexDefs()[0].expression);
  EXPECT_EQ("UPPER(DESCRIZIO)", table.IndexDefs()[1].expression);
  EXPECT_EQ(2, Xb().xb_IndexOrd());
  // A record posted through the table reaches the extra index too.
  table.Append();
  table.FieldByName("DESCRIZIO").SetAsString("Avvisi");
  table.FieldByName("DIR").SetAsString("AVV");
  table.Post();
  table.SetIndexName("DESC.ntx");
  EXPECT_EQ("AVV", Dir(table));
  table.SetIndexName("");
  EXPECT_EQ("BIL", Dir(table));
  EXPECT_THROW(table.SetIndexName("NOSUCH.ntx"), EXBaseError);
}

}  // namespace
}  // namespace velloria::xbase::testing
