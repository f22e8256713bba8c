// The less travelled roads of TXbTable: memos, calculated fields, the record callback
// filter, and an insert that is cancelled.
#include "base/dbf_field.h"
#include "table_fixture.h"

namespace velloria::xbase::testing {
namespace {

using TableExtrasTest = XBaseTest;

TEST_F(TableExtrasTest, MemoTextIsWrittenAtPostAndReadBack) {
  CreateTable(m_folder.File("NOTES.DBF"), {{"NAME", dbf::type::kCharacter, 8}, {"NOTES", dbf::type::kMemo, 10}},
              {{{"first", ""}}});
  TXbTable& table = OpenTable("NOTES.DBF");
  TField& notes = table.FieldByName("NOTES");
  EXPECT_TRUE(notes.IsNull());
  EXPECT_EQ("(Memo)", notes.DisplayText());
  table.Edit();
  notes.SetAsString("Una nota più lunga del campo");
  table.Post();
  table.Close();
  table.Open();
  EXPECT_EQ("Una nota più lunga del campo", table.FieldByName("NOTES").AsString());
  EXPECT_EQ("(MEMO)", table.FieldByName("NOTES").DisplayText());
  EXPECT_EQ("first", table.FieldByName("NAME").AsString());
}

TEST_F(TableExtrasTest, CalculatedFieldsAndTheRecordCallback) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 2, true), Stampe("C", "C", 1, true)});
  TXbTable& table = NewTable();
  TField& label = table.AddCalculatedField("LABEL", TFieldType::ftString, 20);
  table.OnCalcFields = [&](TDataSet& dataSet) {
    label.SetAsString(dataSet.FieldByName("DESCRIZIO").AsString() + "/" +
                      dataSet.FieldByName("TIPO").AsString());
  };
  table.OnFilterRecord = [](TDataSet& dataSet, bool& accept) {
    accept = dataSet.FieldByName("TIPO").AsInteger() == 1;
  };
  table.Open();
  EXPECT_EQ("A/1", label.AsString());
  table.Next();
  EXPECT_EQ("B/2", label.AsString()) << "the callback filters only while Filtered";
  table.SetFiltered(true);
  std::vector<std::string> seen;
  for (table.First(); !table.Eof(); table.Next()) seen.push_back(label.AsString());
  EXPECT_EQ((std::vector<std::string>{"A/1", "C/1"}), seen);
  table.Edit();
  table.FieldByName("DESCRIZIO").SetAsString("Z");
  EXPECT_EQ("Z/1", label.AsString()) << "recomputed when a field changes";
  table.Cancel();
  EXPECT_EQ("C/1", label.AsString());
}

TEST_F(TableExtrasTest, CancelledInsertReturnsToTheRecordItStartedFrom) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 1, true), Stampe("C", "C", 1, true)});
  TXbTable& table = OpenTable();
  table.Next();
  table.Insert();
  EXPECT_EQ(TDataSetState::dsInsert, table.State());
  EXPECT_EQ("", table.FieldByName("DESCRIZIO").AsString());
  table.FieldByName("DESCRIZIO").SetAsString("New");
  table.Cancel();
  EXPECT_EQ("B", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(3u, ReadRecords(m_folder.File("STAMPE.DBF")).size());
  table.Insert();
  table.FieldByName("DESCRIZIO").SetAsString("New");
  table.Post();
  EXPECT_EQ("New", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(4, table.RecNo());
  EXPECT_EQ(4, table.RecCount());
}

}  // namespace
}  // namespace velloria::xbase::testing
