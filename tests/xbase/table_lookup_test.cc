// Lookup on TXbTable with real NTX orders: the seek route and the query route, and what
// both leave alone: the dataset's record, state and data links, the engine's record,
// order, exact setting and query.
#include "dataset/data_source.h"
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

// Counts every notice that would repaint or move a data-aware control.
struct CountingLink : TDataLink {
  int notices = 0;
  void DataSetChanged() override { ++notices; }
  void DataSetScrolled(int distance) override {
    TDataLink::DataSetScrolled(distance);
    ++notices;
  }
  void RecordChanged(TField*) override { ++notices; }
  void EditingChanged() override { ++notices; }
};

class TableLookupTest : public XBaseTest {
 protected:
  // Orders: 1 on DESCRIZIO, 2 on UPPER(DESCRIZIO), 3 on TIPO; natural order current and
  // the table on its second record ("Fatture"), watched by a data link.
  TXbTable& OpenIndexed() {
    TXbTable& table = OpenCategoriesWithOrders(
        {{"DESC", "DESCRIZIO"}, {"UDESC", "UPPER(DESCRIZIO)"}, {"TIPO", "TIPO"}});
    m_source.SetDataSet(&table);
    m_link.SetDataSource(&m_source);
    table.First();
    table.Next();
    table.BeforeScroll = table.AfterScroll = [this](TDataSet&) { ++m_scrolls; };
    m_link.notices = 0;
    return table;
  }
  TVariant Text(const std::string& text) { return text; }
  // The table and the engine are where OpenIndexed left them, with `order` current.
  void ExpectUntouched(TXbTable& table, int order) {
    const TXbEntryPoints& xb = Xb();
    EXPECT_EQ(2, table.RecNo());
    EXPECT_EQ("FAT", table.FieldByName("DIR").AsString());
    xb.xb_Select(table.WorkArea());
    EXPECT_EQ(2, xb.xb_RecNo());
    EXPECT_EQ(order, xb.xb_IndexOrd());
    EXPECT_EQ(0, m_link.notices);
    EXPECT_EQ(0, m_scrolls);
  }

  TDataSource m_source;
  CountingLink m_link;
  int m_scrolls = 0;
};

TEST_F(TableLookupTest, SeekRouteReadsTheFoundRecordWithoutMovingAnything) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_SysProp(XB_PROP_SET_EXACT, 0);
  Recorder& recorder = StartRecording();
  EXPECT_EQ(Text("PAG"), table.Lookup("descrizio", Text("Pagelle"), "DIR"));
  EXPECT_EQ(1u, recorder.Calls("xb_Seek").size());
  EXPECT_TRUE(recorder.Calls("xb_Query").empty()) << recorder.Log();
  EXPECT_EQ(TVariant(std::int32_t{2}), table.Lookup("TIPO", 2, "TIPO"));
  EXPECT_EQ(Text("compiti"), table.Lookup("TIPO", 2.0, "DESCRIZIO")) << "first in key order";
  // A miss in an order that holds every record is final: no query scan follows.
  recorder.Clear();
  EXPECT_EQ(TVariant(), table.Lookup("DESCRIZIO", Text("Nessuna"), "DIR"));
  EXPECT_EQ(TVariant(), table.Lookup("DESCRIZIO", Text("Fatt"), "DIR")) << "whole key only";
  EXPECT_EQ(2u, recorder.Calls("xb_Seek").size());
  EXPECT_TRUE(recorder.Calls("xb_Query").empty());
  // A Null key finds nothing and asks the engine nothing.
  recorder.Clear();
  EXPECT_EQ(TVariant(), table.Lookup("DESCRIZIO", TVariant(), "DIR"));
  EXPECT_TRUE(recorder.Calls("xb_Seek").empty());
  EXPECT_EQ(0, xb.xb_SysProp(XB_PROP_GET_EXACT, 0)) << "exact setting restored";
  ExpectUntouched(table, 0);
  EXPECT_THROW(table.Lookup("DESCRIZIO", Text("Pagelle"), "NOSUCH"), EDatabaseError);
  EXPECT_THROW(table.Lookup("NOSUCH", Text("Pagelle"), "DIR"), EDatabaseError);
}

TEST_F(TableLookupTest, KeyThatDoesNotConvertLeavesTheOrderAsItWas) {
  TXbTable& table = OpenIndexed();
  EXPECT_THROW(table.Lookup("TIPO", Text("due"), "DIR"), EDatabaseError);
  ExpectUntouched(table, 0);
  EXPECT_THROW(table.Locate("TIPO", Text("due"), {}), EDatabaseError);
  EXPECT_EQ(0, Xb().xb_IndexOrd()) << "not left on the order on TIPO";
}

TEST_F(TableLookupTest, UpperOrderMatchesWhateverTheCase) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(table.WorkArea());
  xb.xb_SetOrder(2);
  EXPECT_EQ(Text("PAG"), table.Lookup("DESCRIZIO", Text("pAGELLE"), "DIR"));
  EXPECT_EQ(Text("COM"), table.Lookup("DESCRIZIO", Text("COMPITI"), "DIR"));
  ExpectUntouched(table, 2);
  // With the plain order current the same key must match exactly.
  xb.xb_SetOrder(1);
  EXPECT_EQ(TVariant(), table.Lookup("DESCRIZIO", Text("pAGELLE"), "DIR"));
  EXPECT_EQ(Text("FA2"), table.Lookup("DESCRIZIO", Text("FATTURE"), "DIR"));
  ExpectUntouched(table, 1);
}

TEST_F(TableLookupTest, QueryRouteWhenNoOrderSuitsKeepsTheFilter) {
  TXbTable& table = OpenIndexed();
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(table.WorkArea());
  // On DIR: one order with a FOR condition and one on a compound key; neither can tell a
  // miss from a record it leaves out.
  EXPECT_GT(xb.xb_Index(m_folder.File("LIVE").c_str(), "DIR", 0, 0, "TIPO=1"), 0);
  EXPECT_GT(xb.xb_Index(m_folder.File("DIRDESC").c_str(), "DIR+DESCRIZIO", 0, 0, ""), 0);
  xb.xb_SetOrder(4);
  xb.xb_Go(2);  // building an index leaves the engine on its first record
  Recorder& recorder = StartRecording();
  EXPECT_EQ(Text("compiti"), table.Lookup("DIR", Text("COM"), "DESCRIZIO"));
  EXPECT_TRUE(recorder.Calls("xb_Seek").empty()) << recorder.Log();
  EXPECT_EQ(2u, recorder.Calls("xb_Query").size()) << "the temporary query and the removal";
  EXPECT_EQ(Text("PAG"), table.Lookup("TIPO;VISUALIZZA", {2, false}, "DIR"));
  ExpectUntouched(table, 4);
  // A filtered table: only records that pass the filter are found; the filter stays.
  xb.xb_SetOrder(0);
  table.SetFilter("TIPO=1");
  table.SetFiltered(true);
  table.First();
  table.Next();
  m_link.notices = m_scrolls = 0;
  EXPECT_EQ(TVariant(), table.Lookup("DIR", Text("COM"), "DESCRIZIO"));
  EXPECT_EQ(Text("FATTURE"), table.Lookup("DIR", Text("FA2"), "DESCRIZIO"));
  EXPECT_EQ("TIPO=1", std::string(xb.xb_DBFilter()));
  ExpectUntouched(table, 0);
}

TEST_F(TableLookupTest, LookupDuringAnEditLeavesTheEditToBePosted) {
  TXbTable& table = OpenIndexed();
  table.Edit();
  table.FieldByName("DIR").SetAsString("NEW");
  m_link.notices = 0;
  EXPECT_EQ(Text("PAG"), table.Lookup("DESCRIZIO", Text("Pagelle"), "DIR"));
  EXPECT_EQ(Text("Bilanci"), table.Lookup("DIR", Text("BIL"), "DESCRIZIO"));
  EXPECT_EQ(TDataSetState::dsEdit, table.State());
  EXPECT_EQ("NEW", table.FieldByName("DIR").AsString());
  table.Post();
  std::vector<std::string> records = ReadRecords(m_folder.File("STAMPE.DBF"));
  EXPECT_EQ("NEW", records[1].substr(31, 3)) << "the edited record, not the one looked up";
  EXPECT_EQ("PAG", records[3].substr(31, 3));
}

}  // namespace
}  // namespace velloria::xbase::testing
