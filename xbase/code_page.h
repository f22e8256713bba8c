// Conversion of table text between a table's 8-bit code page (from the header's
// language-driver byte) and the program's UTF-8. Every byte of the supported code pages
// has a Unicode character, so decoding then encoding gives back the same bytes. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velloria::xbase {

enum class TCodePage { cp1252, cp437, cp850 };

// The code page of a language-driver byte: 0x01 CP437, 0x02 CP850, 0x03/0x57/0x58/0x59,
// 0x00 and every unknown byte CP1252.
TCodePage CodePageOfLanguageDriver(std::uint8_t driver);

// `bytes` in `page` as UTF-8.
std::string ToUtf8(std::string_view bytes, TCodePage page);
// `text` (UTF-8) in `page`; characters the page lacks, and malformed UTF-8, become '?'.
std::string FromUtf8(std::string_view text, TCodePage page);

}  // namespace velloria::xbase
