// Tests of the start-up rules: arguments, the Stampe folder, the inactivity decision
// against a real marker file, and the caption.
#include "app/startup.h"

#include <sys/stat.h>

#include <QDate>
#include <QLocale>
#include <QTemporaryDir>
#include <fstream>

#include <gtest/gtest.h>


namespace velloria {
namespace {

TEST(StartupArguments, GoodArgumentsAreReadInOrderAndMissingOnesAreEmpty) {
  StartupArguments args = ParseArguments({"velloria", "2", "-14", "/srv/gest/DATI/", "x"});
  EXPECT_EQ(args.categoryType, 2);
  EXPECT_EQ(args.callerCode, -14);
  EXPECT_EQ(args.dataPath, "/srv/gest/DATI/");
  EXPECT_EQ(args.fourthArgument, "x");

  args = ParseArguments({"velloria", "+1", "12"});
  EXPECT_EQ(args.categoryType, 1);
  EXPECT_EQ(args.dataPath, "");
  EXPECT_EQ(args.fourthArgument, "");
}

TEST(StartupArguments, NoneOrNonNumericFirstOrSecondFail) {
  EXPECT_THROW(ParseArguments({"velloria"}), EConvertError);
  EXPECT_THROW(ParseArguments({}), EConvertError);
  EXPECT_THROW(ParseArguments({"velloria", "uno", "12", "/d/"}), EConvertError);
  EXPECT_THROW(ParseArguments({"velloria", "1", "12a", "/d/"}), EConvertError);
  EXPECT_THROW(ParseArguments({"velloria", "1", "", "/d/"}), EConvertError);
}

TEST(StartupArguments, IntegerConversionRefusesWhatIsNotAWholeInt32) {
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"2147483648", " 1", "1 ", "+", "-", "+-1", "1.0", "0x10", "1e3"}) {
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  }
}

TEST(StampeFolder, DerivedFromTheDataPathsParentFolder) {
  EXPECT_EQ(DeriveStampeFolder("/srv/gest/DATI/"), "/srv/gest/Stampe");
  EXPECT_EQ(DeriveStampeFolder("/srv/gest/DATI"), "/srv/gest/Stampe");
  EXPECT_EQ(DeriveStampeFolder("/DATI/"), "/Stampe");
  EXPECT_EQ(DeriveStampeFolder("DATI/"), "DStampe");  // trimming stops at one character
  EXPECT_EQ(DeriveStampeFolder("ab"), "aStampe");
  EXPECT_EQ(DeriveStampeFolder("//"), "/Stampe");
}

TEST(StampeFolder, DataPathOfFewerThanTwoCharactersFails) {
  EXPECT_THROW(DeriveStampeFolder(""), EStartupError);
  EXPECT_THROW(DeriveStampeFolder("/"), EStartupError);
}

class InactivityDecision : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
  std::string dataPath() const { return m_dir.path().toStdString() + "/DATI/"; }
  void makeMarker(const std::string& relative) {
    std::string path = m_dir.path().toStdString() + "/DATI/" + relative;
    QDir().mkpath(QString::fromStdString(path.substr(0, path.rfind('/'))));
    std::ofstream(path) << "marker";
  }
  QTemporaryDir m_dir;
};

TEST_F(InactivityDecision, OnlyTheFiveCodesWithTheMarkerFileArmTheTimer) {
  makeMarker("FG/AGENZIA/PrevCors.DBF");
  for (int code = -1; code <= 20; ++code) {
    bool expected = code == 3 || code == 9 || code == 12 || code == 14 || code == 18;
    EXPECT_EQ(InactivityTimerArmedAtStart(code, dataPath()), expected) << code;
  }
}

TEST_F(InactivityDecision, MissingMarkerOrFolderInItsPlaceDoesNotArm) {
  EXPECT_FALSE(InactivityTimerArmedAtStart(14, dataPath()));
  QDir().mkpath(QString::fromStdString(dataPath() + "FG/AGENZIA/PrevCors.DBF"));
  EXPECT_FALSE(InactivityTimerArmedAtStart(14, dataPath()));
}

TEST_F(InactivityDecision, MarkerIsFoundWhateverItsLetterCase) {
  makeMarker("fg/Agenzia/PREVCORS.dbf");
  EXPECT_TRUE(InactivityTimerArmedAtStart(12, dataPath()));
}

TEST_F(InactivityDecision, MarkerIsPlainlyAppendedToTheDataPath) {
  makeMarker("FG/AGENZIA/PrevCors.DBF");
  std::string withoutSeparator = dataPath().substr(0, dataPath().size() - 1);
  EXPECT_FALSE(InactivityTimerArmedAtStart(14, withoutSeparator));
}

TEST(Caption, CodeAndDateFollowTheHeadAndATrailingBlankEnds) {
  EXPECT_EQ(ComposeCaption(12, "19/06/2006"),
            "Tarvolo - Gestione dei Documenti di Microsoft Word (Ver. 12 - 19/06/2006) ");
  EXPECT_EQ(ComposeCaption(-3, "x"), std::string(kCaptionHead) + "-3 - x) ");
}

TEST(Caption, ExecutableDateIsTheFilesModificationDateInTheShortDateFormat) {
  struct stat st;
  ASSERT_EQ(stat("/proc/self/exe", &st), 0);
  QDate date = QDateTime::fromSecsSinceEpoch(st.st_mtime).date();
  EXPECT_EQ(ExecutableDateText(),
            QLocale::system().toString(date, QLocale::ShortFormat).toStdString());
}

}  // namespace
}  // namespace velloria
