// Conversion of table text between a table's 8-bit code page (from the header's
// language-driver byte) and UTF-8, for the table component and xbtool. Every byte of the
// supported code pages has a Unicode character, so a round trip keeps the bytes. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velloria::codepage {

enum class TCodePage { cp1252, cp437, cp850 };

// The code page of a language-driver byte: 0x01 CP437, 0x02 CP850, 0x03/0x57/0x58/0x59,
// 0x00 and every unknown byte CP1252.
TCodePage CodePageOfLanguageDriver(std::uint8_t driver);

// The language-driver byte that names a code page by its number (1252, 437, 850); -1 for
// any other number.
int LanguageDriverOfCodePageNumber(int number);

// `bytes` in `page` as UTF-8.
std::string ToUtf8(std::string_view bytes, TCodePage page);
// `text` (UTF-8) in `page`; characters the page lacks, and malformed UTF-8 (overlong forms
// and surrogates included), become '?'.
std::string FromUtf8(std::string_view text, TCodePage page);
// `text` (UTF-8) in `page`, refusing what the lenient form would replace: false with `bad`
// holding the first character the page lacks, or "invalid UTF-8".
bool FromUtf8Exactly(std::string_view text, TCodePage page, std::string& out, std::string& bad);

}  // namespace velloria::codepage
