// Opening and closing TXbTable on real tables: the engine call, aliases, folders, the
// failure texts, field objects and the setters refused on an open table.
#include <filesystem>

#include "base/dbf_field.h"
#include "table_fixture.h"

namespace velloria::xbase::testing {
namespace {

using TableOpenTest = XBaseTest;

TEST_F(TableOpenTest, OpensTheProgramsTableExclusivelyUnderItsAlias) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {Stampe("Lettere", "LETTERE", 1, true)});
  Recorder& recorder = StartRecording();
  TXbTable& table = OpenTable();
  EXPECT_EQ(m_folder.Path() + "/", table.TableFolder());
  EXPECT_TRUE(recorder.Saw("xb_UseEx(\"" + m_folder.Path() + "/STAMPE.DBF\", \"STAMPE\", 2, 1, 1)"))
      << recorder.Log();
  EXPECT_EQ("Lettere", table.FieldByName("DESCRIZIO").AsString());
  table.Close();
  EXPECT_EQ(0, table.WorkArea());
  EXPECT_FALSE(recorder.Calls("xb_Close").empty());
}

TEST_F(TableOpenTest, NameWithoutExtensionReachesTheEngineAsGiven) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {});
  Recorder& recorder = StartRecording();
  OpenTable("STAMPE");
  std::vector<std::string> opens = recorder.Calls("xb_UseEx");
  ASSERT_EQ(1u, opens.size());
  EXPECT_EQ(0u, opens[0].find("xb_UseEx(\"" + m_folder.Path() + "/STAMPE\", "));
}

TEST_F(TableOpenTest, FileSpelledInAnotherCaseIsFound) {
  CreateTable(m_folder.File("stampe.dbf"), StampeFields(), {Stampe("Lettere", "L", 1, true)});
  TXbTable& table = OpenTable();
  EXPECT_EQ("Lettere", table.FieldByName("DESCRIZIO").AsString());
}

TEST_F(TableOpenTest, TablesOfTheSameNameGetAliasesStampe1AndStampe12) {
  TempFolder second, third;
  for (const std::string& folder : {m_folder.Path(), second.Path(), third.Path()}) {
    CreateTable(folder + "/STAMPE.DBF", StampeFields(), {});
  }
  Recorder& recorder = StartRecording();
  OpenTable();
  for (const std::string& folder : {second.Path(), third.Path()}) {
    TXbTable& table = NewTable();
    table.SetDatabaseName(folder);
    table.Open();
  }
  std::vector<std::string> opens = recorder.Calls("xb_UseEx");
  ASSERT_EQ(3u, opens.size()) << recorder.Log();
  EXPECT_NE(std::string::npos, opens[0].find("\"STAMPE\""));
  EXPECT_NE(std::string::npos, opens[1].find("\"STAMPE1\""));
  EXPECT_NE(std::string::npos, opens[2].find("\"STAMPE12\""));
}

TEST_F(TableOpenTest, MissingFileAndMissingNameAreReportedBeforeAnyOpen) {
  Recorder& recorder = StartRecording();
  TXbTable& missing = NewTable("STAMPE.DBF");
  std::string expected = "Table does not exist.\rFile or directory does not exist.\rFile: " +
                         m_folder.Path() + "/STAMPE.DBF";
  try {
    missing.Open();
    FAIL() << "opened a missing file";
  } catch (const EXBaseError& error) {
    EXPECT_EQ(expected, error.what());
  }
  EXPECT_EQ(expected, missing.LastErrorText());
  EXPECT_FALSE(missing.Active());

  TXbTable& unnamed = NewTable("");
  EXPECT_THROW(
      try { unnamed.Open(); } catch (const EXBaseError& error) {
        EXPECT_STREQ("TbArchivio : Missing TableName property", error.what());
        throw;
      },
      EXBaseError);
  EXPECT_TRUE(recorder.Calls("xb_UseEx").empty());
}

TEST_F(TableOpenTest, InvalidDatabaseNameIsRefused) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {});
  TXbTable& table = NewTable();
  table.SetDatabaseName("NoSuchFolderHere");
  EXPECT_THROW(table.Open(), EXBaseError);
  EXPECT_EQ("Invalid DatabaseName value : NoSuchFolderHere", table.LastErrorText());
}

TEST_F(TableOpenTest, NumericFieldsMapBySizeWithDisplayFormats) {
  CreateTable(m_folder.File("T.DBF"),
              {{"SMALL", dbf::type::kNumber, 2}, {"WIDE", dbf::type::kNumber, 5}, {"TENTHS", dbf::type::kNumber, 3, 1}, {"NAME", dbf::type::kCharacter, 12},
               {"FLAG", dbf::type::kLogical, 1}, {"DAY", dbf::type::kDate, 8}, {"NOTES", dbf::type::kMemo, 10}},
              {{{"42", "12345", "2.5", "x", "T", "20010315", ""}}});
  TXbTable& table = OpenTable("T.DBF");
  EXPECT_EQ(TFieldType::ftSmallint, table.FieldByName("SMALL").DataType());
  TField& wide = table.FieldByName("WIDE");
  TField& tenths = table.FieldByName("TENTHS");
  EXPECT_EQ(TFieldType::ftFloat, wide.DataType());
  EXPECT_EQ("0", wide.DisplayFormat);
  EXPECT_EQ(6, wide.Precision);
  EXPECT_EQ("0.0", tenths.DisplayFormat);
  EXPECT_EQ("2.5", tenths.DisplayText());
  EXPECT_EQ("12345", wide.DisplayText());
  EXPECT_EQ(12, table.FieldByName("NAME").Size());
  EXPECT_EQ(TFieldType::ftBoolean, table.FieldByName("FLAG").DataType());
  EXPECT_EQ(TFieldType::ftDate, table.FieldByName("DAY").DataType());
  EXPECT_EQ(TFieldType::ftMemo, table.FieldByName("NOTES").DataType());
  EXPECT_THROW(table.FieldByName("NOSUCH"), EDatabaseError);
}

TEST_F(TableOpenTest, SettersRefusedWhileOpen) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {});
  TXbTable& table = OpenTable();
  auto expectRefusal = [&](auto set, const char* text) {
    EXPECT_THROW(set(), EXBaseError);
    EXPECT_EQ(text, table.LastErrorText());
  };
  expectRefusal([&] { table.SetTableName("OTHER.DBF"); },
                "Cannot perform this operation on an open table");
  expectRefusal([&] { table.SetExclusive(false); },
                "Cannot perform this operation on an open table");
  expectRefusal([&] { table.SetCommitLevel(TXBaseCommitLevel::clFull); },
                "Cannot change the commit level while the Table is opened");
  table.SetCommitLevel(TXBaseCommitLevel::clNormal);  // the same value changes nothing
  EXPECT_EQ("STAMPE.DBF", table.TableName());
}

}  // namespace
}  // namespace velloria::xbase::testing
