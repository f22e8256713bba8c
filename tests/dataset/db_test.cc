// Day numbers, date texts and number patterns of the dataset layer.
#include <gtest/gtest.h>

#include "dataset/db.h"
#include "dataset/field.h"

namespace velloria {
namespace {

TEST(DayNumberTest, RoundTripsAcrossLeapRulesAndCenturies) {
  EXPECT_EQ(1, EncodeDayNumber(1, 1, 1));
  EXPECT_EQ(730559, EncodeDayNumber(2001, 3, 15));
  for (int day : {1, 59, 60, 365, 366, 36524, 36525, 146097, 146098, 730925, 3652059}) {
    TCivilDate date = DecodeDayNumber(day);
    ASSERT_TRUE(IsValidCivilDate(date.year, date.month, date.day)) << day;
    EXPECT_EQ(day, EncodeDayNumber(date.year, date.month, date.day));
  }
  EXPECT_TRUE(IsValidCivilDate(2000, 2, 29));
  EXPECT_FALSE(IsValidCivilDate(1900, 2, 29));
  EXPECT_FALSE(IsValidCivilDate(2001, 0, 10));
  EXPECT_EQ(EncodeDayNumber(2000, 3, 1) - 1, EncodeDayNumber(2000, 2, 29));
}

TEST(DateTextTest, FollowsTheShortDateFormat) {
  DatasetFormatSettings() = TFormatSettings{};
  std::int32_t day = EncodeDayNumber(2001, 3, 5);
  EXPECT_EQ("3/5/01", FormatDate(day, DatasetFormatSettings().shortDateFormat));
  DatasetFormatSettings().shortDateFormat = "dd-mm-yyyy";
  DatasetFormatSettings().dateSeparator = '-';
  EXPECT_EQ("05-03-2001", FormatDate(day, DatasetFormatSettings().shortDateFormat));
  EXPECT_EQ("20010305", FormatDate(day, "yyyymmdd"));
  EXPECT_EQ(day, ParseDateText("5-3-2001"));
  EXPECT_EQ(day, ParseDateText(" 05/03/2001 "));
  EXPECT_EQ(0, ParseDateText("   "));
  EXPECT_THROW(ParseDateText("31-02-2001"), EDatabaseError);
  EXPECT_THROW(ParseDateText("5-3"), EDatabaseError);
  DatasetFormatSettings().shortYearWindow = 0;  // two-digit years from this year on
  EXPECT_GE(DecodeDayNumber(ParseDateText("1-1-30")).year, 2030);
  DatasetFormatSettings() = TFormatSettings{};
}

TEST(NumberPatternTest, DigitDecimalsAndGrouping) {
  DatasetFormatSettings() = TFormatSettings{};
  EXPECT_EQ("3", FormatFloatPattern("0", 3.4));
  EXPECT_EQ("12345", FormatFloatPattern("0", 12345));
  EXPECT_EQ("12.50", FormatFloatPattern("0.00", 12.5));
  EXPECT_EQ("0.3", FormatFloatPattern("0.0", 0.25 + 1e-9));
  EXPECT_EQ(".5", FormatFloatPattern("#.##", 0.5));
  EXPECT_EQ("1,234,567.0", FormatFloatPattern("#,##0.0", 1234567));
  EXPECT_EQ("-2", FormatFloatPattern("0", -2));
  EXPECT_EQ("0", FormatFloatPattern("0", -0.2)) << "no sign on a zero";
  DatasetFormatSettings().decimalSeparator = ',';
  DatasetFormatSettings().thousandSeparator = '.';
  EXPECT_EQ("1.234,50", FormatFloatPattern("#,##0.00", 1234.5));
  DatasetFormatSettings() = TFormatSettings{};
}

TEST(NumberPatternTest, DecimalTextIgnoresTheCLocale) {
  double value = 0;
  EXPECT_TRUE(ParseDecimal("-12.5", value));
  EXPECT_EQ(-12.5, value);
  EXPECT_FALSE(ParseDecimal("12,5", value));
  EXPECT_FALSE(ParseDecimal("", value));
  EXPECT_FALSE(ParseDecimal("1e999", value));
  EXPECT_EQ("3.50", FormatFixed(3.5, 2));
  EXPECT_EQ("-0.1", FormatFixed(-0.125, 1));
}

}  // namespace
}  // namespace velloria
