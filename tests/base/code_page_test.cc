// The code pages of table text: lossless round trips and the language-driver mapping.
#include <gtest/gtest.h>

#include "base/code_page.h"

namespace velloria::codepage {
namespace {

TEST(CodePageTest, EveryByteSurvivesARoundTripInEachPage) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  for (TCodePage page : {TCodePage::cp1252, TCodePage::cp437, TCodePage::cp850}) {
    EXPECT_EQ(all, FromUtf8(ToUtf8(all, page), page));
  }
  EXPECT_EQ("\xC2\x81", ToUtf8("\x81", TCodePage::cp1252)) << "unassigned CP1252 byte";
  EXPECT_EQ("€à", ToUtf8("\x80\xE0", TCodePage::cp1252));
  EXPECT_EQ("è", ToUtf8("\x8A", TCodePage::cp850));
}

TEST(CodePageTest, CharactersAPageLacksBecomeQuestionMarks) {
  EXPECT_EQ("a?b", FromUtf8("a€b", TCodePage::cp437));
  EXPECT_EQ("?x", FromUtf8("\xFFx", TCodePage::cp1252)) << "malformed UTF-8";
  EXPECT_EQ("?", FromUtf8("漢", TCodePage::cp1252));
}

TEST(CodePageTest, MalformedSequencesNeverDecodeToAscii) {
  // Overlong forms of '"' and '/', a surrogate, a truncated sequence, a stray continuation.
  for (const char* bad : {"\xC0\xA2", "\xE0\x80\xAF", "\xED\xA0\x80", "\xC3", "\x80"}) {
    EXPECT_EQ(std::string::npos, FromUtf8(bad, TCodePage::cp1252).find_first_of("\"/")) << bad;
    std::string out, reason;
    EXPECT_FALSE(FromUtf8Exactly(bad, TCodePage::cp1252, out, reason)) << bad;
    EXPECT_EQ("invalid UTF-8", reason);
  }
  EXPECT_EQ("?A", FromUtf8("\xC3" "A", TCodePage::cp1252)) << "the byte after a cut sequence stays";
}

TEST(CodePageTest, ExactConversionNamesTheFirstMissingCharacter) {
  std::string out, bad;
  EXPECT_TRUE(FromUtf8Exactly("Città €", TCodePage::cp1252, out, bad));
  EXPECT_EQ("Citt\xE0 \x80", out);
  EXPECT_FALSE(FromUtf8Exactly("à€漢", TCodePage::cp437, out, bad));
  EXPECT_EQ("€", bad);
}

TEST(CodePageTest, LanguageDriverBytes) {
  EXPECT_EQ(0x03, LanguageDriverOfCodePageNumber(1252));
  EXPECT_EQ(0x01, LanguageDriverOfCodePageNumber(437));
  EXPECT_EQ(0x02, LanguageDriverOfCodePageNumber(850));
  EXPECT_EQ(-1, LanguageDriverOfCodePageNumber(1251));
  EXPECT_EQ(TCodePage::cp437, CodePageOfLanguageDriver(0x01));
  EXPECT_EQ(TCodePage::cp850, CodePageOfLanguageDriver(0x02));
  for (int driver : {0x00, 0x03, 0x57, 0x64}) {
    EXPECT_EQ(TCodePage::cp1252, CodePageOfLanguageDriver(static_cast<std::uint8_t>(driver)));
  }
}

}  // namespace
}  // namespace velloria::codepage
