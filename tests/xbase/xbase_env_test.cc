// The engine binding's load and failure report, and TXBaseEnv's setter rules as the
// engine sees them.
#include "dataset/data_source.h"
#include "table_fixture.h"
#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {
namespace {

TEST(EngineBindingTest, FailedLoadIsShownAtEveryDemandThenALaterLoadWorks) {
  UnloadEngine();
  std::vector<std::string> shown;
  SetEngineLoadFailureHandler([&](const std::string& message) { shown.push_back(message); });
  SetEngineLibraryNameForTesting("libnosuchxbengine.so");
  EXPECT_FALSE(EnsureEngineLoaded());
  EXPECT_FALSE(EnsureEngineLoaded());
  EXPECT_FALSE(EngineLoaded());
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("Unable to load required xBase engine library: libxbengine.so", shown[0]);

  TXBaseEnv env;
  env.SetDeleted(true);
  EXPECT_TRUE(env.Deleted()) << "the component keeps the value after a failed load";
  EXPECT_EQ(3u, shown.size());

  SetEngineLibraryNameForTesting("");
  EXPECT_TRUE(EnsureEngineLoaded());
  EXPECT_NE(nullptr, Xb().xb_Zap);
  SetEngineLoadFailureHandler(nullptr);
}

using EnvironmentTest = XBaseTest;

TEST_F(EnvironmentTest, EpochIsClampedAndAlwaysPushed) {
  Recorder& recorder = StartRecording();
  TXBaseEnv env;
  const std::pair<int, int> cases[] = {{0, 1900}, {50, 100}, {3000, 2999}, {1910, 1910}};
  for (auto [given, kept] : cases) {
    env.SetEpoch(given);
    EXPECT_EQ(kept, env.Epoch());
  }
  env.SetEpoch(1910);
  EXPECT_EQ((std::vector<std::string>{"xb_SetEpoch(1900)", "xb_SetEpoch(100)",
                                      "xb_SetEpoch(2999)", "xb_SetEpoch(1910)",
                                      "xb_SetEpoch(1910)"}),
            recorder.Calls("xb_SetEpoch"));
}

TEST_F(EnvironmentTest, EmptyApplyToAndUnchangedValuesCallNothing) {
  Recorder& recorder = StartRecording();
  TXBaseEnv env;
  env.SetApplyTo({.atLocal = false, .atServer = false});
  env.SetDeleted(true);
  EXPECT_FALSE(env.Deleted());
  env.SetApplyTo({});
  env.SetExact(false);
  env.SetLockTimeOut(1);
  EXPECT_EQ("", recorder.Log());
  env.SetExact(true);
  EXPECT_EQ("xb_SetExact(1)\n", recorder.Log());
}

TEST_F(EnvironmentTest, DateFormatAndCenturyRewriteTheShortDateFormat) {
  Recorder& recorder = StartRecording();
  TXBaseEnv env;
  env.SetDateFormat(TXBaseDateFrmt::dfItalian);
  EXPECT_TRUE(recorder.Saw("xb_SetDateFormat(5)"));
  EXPECT_EQ('-', DatasetFormatSettings().dateSeparator);
  EXPECT_EQ("dd-mm-yyyy", DatasetFormatSettings().shortDateFormat);
  env.SetCentury(false);
  EXPECT_EQ("dd-mm-yy", DatasetFormatSettings().shortDateFormat);
  env.SetDateFormat(TXBaseDateFrmt::dfWinDefault);
  EXPECT_TRUE(recorder.Saw("xb_SetDateFormat(99)"));
  EXPECT_EQ("m/d/yy", DatasetFormatSettings().shortDateFormat);
  env.SetCentury(true);
  EXPECT_EQ("m/d/yyyy", DatasetFormatSettings().shortDateFormat);
  DatasetFormatSettings() = TFormatSettings{};
}

TEST_F(EnvironmentTest, DeletedRefreshesOpenTablesAndIsCopiedAtOpen) {
  RawRecord gone = Stampe("Gone", "G", 1, true);
  gone.deleted = true;
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), {gone, Stampe("Kept", "K", 1, true)});
  TXbTable& table = NewTable();
  TDataSource source;
  source.SetDataSet(&table);
  TDataLink link;
  link.SetDataSource(&source);
  link.SetBufferCount(5);
  table.Open();
  EXPECT_EQ("Kept", table.FieldByName("DESCRIZIO").AsString());
  EXPECT_EQ(1, table.RecordCountInBuffers());
  EXPECT_EQ(1910, table.Epoch());
  m_env.SetDeleted(false);
  EXPECT_EQ(2, table.RecordCountInBuffers()) << "the window was read again";
  EXPECT_EQ("Kept", table.FieldByName("DESCRIZIO").AsString());
}

}  // namespace
}  // namespace velloria::xbase::testing
