// Editing TXbTable against real files: what Post writes byte for byte, what it keeps,
// the refused values, locks, deletion and insertion.
#include <cerrno>

#include "base/dbf_field.h"
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

class TableWriteTest : public XBaseTest {
 protected:
  std::string StampeFile() const { return m_folder.File("STAMPE.DBF"); }
  // NAME C 10, SMALL N 1 0, PRICE N 8 2, TIGHT N 6 2, FLAG L, DAY D, NOTE C 4.
  TXbTable& OpenValues(const RawRecord& record) {
    CreateTable(m_folder.File("VALUES.DBF"),
                {{"NAME", dbf::type::kCharacter, 10}, {"SMALL", dbf::type::kNumber, 1}, {"PRICE", dbf::type::kNumber, 8, 2}, {"TIGHT", dbf::type::kNumber, 6, 2},
                 {"FLAG", dbf::type::kLogical, 1}, {"DAY", dbf::type::kDate, 8}, {"NOTE", dbf::type::kCharacter, 4}},
                {record});
    return OpenTable("VALUES.DBF");
  }
  std::string StoredValues() { return ReadRecords(m_folder.File("VALUES.DBF")).at(0); }
};

// A post of a record whose value does not change still writes it: a write the disk refuses
// is heard, and once the write goes through the record is unlocked.
TEST_F(TableWriteTest, SweepPostOfAnUnchangedRecordIsWrittenCommittedAndUnlocked) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("Lettere", "LETTERE", 1, true)});
  std::string before = ReadRecords(StampeFile()).at(0);
  FaultyDisk& disk = UseFaultyDisk();
  TXbTable& table = OpenTable("STAMPE.DBF", /*exclusive=*/false);
  table.Edit();
  table.FieldByName("VISUALIZZA").SetAsBoolean(true);
  disk.RefuseWrites(ENOSPC);
  EXPECT_THROW(table.Post(), EXBaseError);
  EXPECT_EQ(TDataSetState::dsEdit, table.State());
  disk.Mend();
  table.Post();
  EXPECT_EQ(before, ReadRecords(StampeFile()).at(0));
  EXPECT_EQ(TDataSetState::dsBrowse, table.State());
  Xb().xb_Select(table.WorkArea());
  EXPECT_EQ(0, Xb().xb_LockCount());
}

TEST_F(TableWriteTest, AssignedValuesAreWrittenInTheirCanonicalForms) {
  TXbTable& table = OpenValues({{"old", "1", "1", "1", "F", "20000101", "keep"}});
  table.Edit();
  table.FieldByName("NAME").SetAsString("ABC");
  table.FieldByName("SMALL").SetAsInteger(7);
  DatasetFormatSettings().decimalSeparator = ',';
  table.FieldByName("PRICE").SetAsFloat(3.5);
  table.FieldByName("TIGHT").Clear();
  table.FieldByName("FLAG").SetAsBoolean(true);
  table.FieldByName("DAY").SetAsDate(EncodeDayNumber(45, 6, 30));
  table.Post();
  DatasetFormatSettings().decimalSeparator = '.';
  EXPECT_EQ(" ABC       7    3.50      T19450630keep", StoredValues());

  table.Edit();
  table.FieldByName("FLAG").Clear();
  table.FieldByName("DAY").SetAsDate(EncodeDayNumber(5, 1, 2));
  table.FieldByName("NAME").Clear();
  table.Post();
  EXPECT_EQ("           7    3.50       20050102keep", StoredValues());
  table.Edit();
  table.FieldByName("DAY").Clear();
  table.Post();
  EXPECT_EQ(std::string(8, ' '), StoredValues().substr(27, 8));
}

TEST_F(TableWriteTest, UnassignedFieldsKeepTheirStoredBytes) {
  // Unreadable number, impossible date, logical "?", a byte with no printable character,
  // a number wider than its field once reformatted: none may change when another field is set.
  RawRecord odd{{"A\x81\x9D\xFF", "x", "12345.678", "1.5e2", "?", "20011399", "\x8D\x8F\x90 "}};
  TXbTable& table = OpenValues(odd);
  std::string before = StoredValues();
  table.Edit();
  table.FieldByName("SMALL").SetAsInteger(3);
  table.Post();
  std::string after = StoredValues();
  EXPECT_EQ(before.substr(0, 11), after.substr(0, 11));
  EXPECT_EQ("3", after.substr(11, 1));
  EXPECT_EQ(before.substr(12), after.substr(12));

  table.Edit();  // the program's sweep: set and post every record
  table.FieldByName("NOTE").SetAsString(table.FieldByName("NOTE").AsString());
  table.Post();
  EXPECT_EQ(after, StoredValues()) << "CP1252 text survives a read and write round trip";
}

TEST_F(TableWriteTest, ValuesTooWideAreRefusedWithTheRecordUntouchedAndLocked) {
  TXbTable& table = OpenValues({{"n", "1", "1", "1", "T", "", ""}});
  std::string before = StoredValues();
  Recorder& recorder = StartRecording();
  for (auto assign : {+[](TXbTable& t) { t.FieldByName("SMALL").SetAsInteger(12); },
                      +[](TXbTable& t) { t.FieldByName("TIGHT").SetAsFloat(12345.67); },
                      +[](TXbTable& t) { t.FieldByName("PRICE").SetAsFloat(-12345.678); }}) {
    table.Edit();
    assign(table);
    recorder.Clear();
    EXPECT_THROW(table.Post(), EXBaseError);
    EXPECT_EQ("Translate error. Value out of bounds", table.LastErrorText());
    EXPECT_EQ(TDataSetState::dsEdit, table.State());
    EXPECT_TRUE(recorder.Calls("xb_PutRecord").empty());
    EXPECT_TRUE(recorder.Calls("xb_Unlock").empty()) << "the lock is kept";
    EXPECT_EQ(before, StoredValues());
    recorder.Clear();
    table.Cancel();
    EXPECT_TRUE(recorder.Saw("xb_Unlock(0)"));
  }
}

TEST_F(TableWriteTest, TextTheCodePageLacksAndDatesPastYear9999AreRefusedNamingTheField) {
  CreateTable(m_folder.File("NOTES.DBF"), {{"NAME", dbf::type::kCharacter, 10}, {"DAY", dbf::type::kDate, 8}, {"NOTES", dbf::type::kMemo, 10}},
              {{{"old", "20000101", ""}}});
  TXbTable& table = OpenTable("NOTES.DBF");
  std::string before = ReadRecords(m_folder.File("NOTES.DBF")).at(0);
  Recorder& recorder = StartRecording();
  struct Case {
    const char* field;
    void (*assign)(TXbTable&);
  };
  for (const Case& c :
       {Case{"NAME",
             [](TXbTable& t) {
               t.FieldByName("NAME").SetAsString(
                   "\xC5\x81\xC3\xB3"
                   "d\xC5\xBA");
             }},
        Case{"NOTES", [](TXbTable& t) { t.FieldByName("NOTES").SetAsString("zwei \xC5\x82"); }},
        Case{"DAY", [](TXbTable& t) {
               t.FieldByName("DAY").SetAsDate(EncodeDayNumber(9999, 12, 31) + 1);
             }}}) {
    table.Edit();
    table.FieldByName("NAME").SetAsString("\xE2\x82\xAC new");  // the euro sign is in CP1252
    c.assign(table);
    recorder.Clear();
    EXPECT_THROW(table.Post(), EXBaseError) << c.field;
    EXPECT_NE(std::string::npos, table.LastErrorText().find(std::string("field ") + c.field))
        << table.LastErrorText();
    EXPECT_EQ(TDataSetState::dsEdit, table.State());
    EXPECT_TRUE(recorder.Calls("xb_PutRecord").empty()) << recorder.Log();
    EXPECT_TRUE(recorder.Calls("xb_Replace").empty());
    EXPECT_TRUE(recorder.Calls("xb_Unlock").empty()) << "the lock is kept";
    EXPECT_EQ(before, ReadRecords(m_folder.File("NOTES.DBF")).at(0));
    table.Cancel();
  }
  table.Edit();
  table.FieldByName("DAY").SetAsDate(EncodeDayNumber(9999, 12, 31));
  table.Post();
  EXPECT_EQ("99991231", ReadRecords(m_folder.File("NOTES.DBF")).at(0).substr(11, 8));
}

TEST_F(TableWriteTest, CancelInBrowseStillUnlocks) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true)});
  Recorder& recorder = StartRecording();
  TXbTable& table = OpenTable();
  recorder.Clear();
  table.Cancel();
  EXPECT_TRUE(recorder.Saw("xb_Unlock(0)"));
}

TEST_F(TableWriteTest, DeletedRecordKeepsItsMarkAfterPost) {
  m_env.SetDeleted(false);
  RawRecord gone = Stampe("Gone", "G", 1, false);
  gone.deleted = true;
  CreateTable(StampeFile(), StampeFields(), {gone});
  TXbTable& table = OpenTable();
  table.Edit();
  table.FieldByName("VISUALIZZA").SetAsBoolean(true);
  table.Post();
  std::string stored = ReadRecords(StampeFile()).at(0);
  EXPECT_EQ('*', stored[0]);
  EXPECT_EQ('T', stored.back());
}

TEST_F(TableWriteTest, AbortedDeleteTouchesNothing) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true), Stampe("B", "B", 1, true)});
  std::vector<std::string> before = ReadRecords(StampeFile());
  TXbTable& table = OpenTable();
  table.Next();
  std::vector<std::string> events;
  table.BeforeDelete = [](TDataSet&) { Abort(); };
  table.BeforeScroll = [&](TDataSet&) { events.push_back("before scroll"); };
  table.AfterScroll = [&](TDataSet&) { events.push_back("after scroll"); };
  Recorder& recorder = StartRecording();
  EXPECT_THROW(table.Delete(), EAbort);
  EXPECT_TRUE(events.empty());
  EXPECT_TRUE(recorder.Log().empty()) << recorder.Log();
  EXPECT_EQ(2, table.RecNo());
  EXPECT_EQ(TDataSetState::dsBrowse, table.State());
  EXPECT_EQ(before, ReadRecords(StampeFile()));
}

TEST_F(TableWriteTest, DeleteWithDeletedHiddenMovesToTheNextRecord) {
  CreateTable(StampeFile(), StampeFields(),
              {Stampe("A", "A", 1, true), Stampe("B", "B", 1, true), Stampe("C", "C", 1, true)});
  TXbTable& table = OpenTable();
  table.Next();
  table.Delete();
  EXPECT_EQ("C", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ('*', ReadRecords(StampeFile()).at(1)[0]);
  table.Delete();  // the last one: the new last record becomes current
  EXPECT_EQ("A", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(1, table.RecordCount() - 2) << "raw count keeps deleted records";
}

TEST_F(TableWriteTest, EditOfARecordLockedElsewhereFails) {
  m_env.SetLockTimeOut(0);
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true)});
  TXbTable& first = OpenTable("STAMPE.DBF", false);
  TXbTable& second = OpenTable("STAMPE.DBF", false);
  first.Edit();
  EXPECT_THROW(second.Edit(), EXBaseError);
  EXPECT_EQ("Record Lock Failure. May be locked by another user or task.", second.LastErrorText());
  EXPECT_EQ(TDataSetState::dsBrowse, second.State());
  first.Cancel();
  second.Edit();
  EXPECT_EQ(TDataSetState::dsEdit, second.State());
  second.Cancel();
}

TEST_F(TableWriteTest, EditStartsFromTheRecordAsStoredWhenLocked) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true)});
  TXbTable& reader = OpenTable("STAMPE.DBF", false);
  TXbTable& writer = OpenTable("STAMPE.DBF", false);
  writer.Edit();
  writer.FieldByName("DESCRIZIO").SetAsString("Changed");
  writer.Post();
  EXPECT_EQ("A", reader.FieldByName("DESCRIZIO").AsString());
  reader.Edit();
  EXPECT_EQ("Changed", reader.FieldByName("DESCRIZIO").AsString());
  reader.Cancel();
}

TEST_F(TableWriteTest, AppendWritesTextInTheTablesCodePage) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true)});
  TXbTable& table = OpenTable();
  table.Append();
  table.FieldByName("DESCRIZIO").SetAsString("Contabilità €");
  table.FieldByName("TIPO").SetAsInteger(2);
  table.Post();
  EXPECT_EQ(2, table.RecNo());
  std::vector<std::string> stored = ReadRecords(StampeFile());
  ASSERT_EQ(2u, stored.size());
  EXPECT_EQ(" Contabilit\xE0 \x80", stored[1].substr(0, 14));
  EXPECT_EQ("2 ", stored[1].substr(51, 2)) << "a logical never set stays blank";
  table.AppendRecord({std::string("Didattica"), std::string("DID"), 2, true});
  EXPECT_EQ("Didattica", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(3u, ReadRecords(StampeFile()).size());
}

TEST_F(TableWriteTest, Cp850TableTextIsReadAndWrittenInItsCodePage) {
  CreateTable(m_folder.File("OEM.DBF"), {{"NAME", dbf::type::kCharacter, 6}}, {{{"\x8A\x82t\x82"}}}, 0x02);
  TXbTable& table = OpenTable("OEM.DBF");
  EXPECT_EQ("èété", table.FieldByName("NAME").AsString());
  table.Edit();
  table.FieldByName("NAME").SetAsString("ü");
  table.Post();
  EXPECT_EQ(" \x81     ", ReadRecords(m_folder.File("OEM.DBF")).at(0));
}

TEST_F(TableWriteTest, FieldsRefuseValuesOutsideTheWriteStates) {
  CreateTable(StampeFile(), StampeFields(), {Stampe("A", "A", 1, true)});
  TXbTable& table = OpenTable();
  EXPECT_THROW(table.FieldByName("TIPO").SetAsInteger(2), EXBaseError);
  EXPECT_EQ("Data set must be in Edit or Insert mode to update", table.LastErrorText());
  EXPECT_THROW(table.Post(), EDatabaseError);
  table.FieldByName("TIPO").OnValidate = [](TField& field) {
    if (field.AsInteger() > 5) throw EDatabaseError("too big");
  };
  table.Edit();
  EXPECT_THROW(table.FieldByName("TIPO").SetAsInteger(7), EDatabaseError);
  EXPECT_EQ(1, table.FieldByName("TIPO").AsInteger());
  table.Cancel();
}

}  // namespace
}  // namespace velloria::xbase::testing
