// Conversion between a table's 8-bit code page and UTF-8 for xbtool's terminal text.
// The language-driver byte picks the code page: 0x01 CP437, 0x02 CP850, anything else CP1252.
#ifndef VELLORIA_TOOLS_CODEPAGE_H_
#define VELLORIA_TOOLS_CODEPAGE_H_

#include <string>
#include <string_view>

namespace xbtool {

enum class CodePage { k1252, k437, k850 };

CodePage CodePageForDriver(int language_driver);
// Language-driver byte for a code page number (1252, 437, 850); -1 when unknown.
int DriverForCodePageNumber(int number);

std::string ToUtf8(std::string_view bytes, CodePage cp);
// Converts UTF-8 text to the code page; false (with *bad the offending character) when the
// text is not valid UTF-8 or holds a character the code page lacks.
bool FromUtf8(std::string_view text, CodePage cp, std::string* out, std::string* bad);

}  // namespace xbtool

#endif  // VELLORIA_TOOLS_CODEPAGE_H_
