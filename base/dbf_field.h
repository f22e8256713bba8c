// The bytes of a dBase table's fields as every layer reads them: the field type letters, the
// reading of a number field's text (malformed text included) and of a logical field's byte.
// The engine builds its typed readers and its expressions on it and the table component its
// field values, so a field reads the same whichever way it is read. Plain functions.
#pragma once

#include <cstddef>
#include <string_view>

namespace velloria::dbf {

// Field type letters as the field descriptors store them.
namespace type {
inline constexpr char kCharacter = 'C';
inline constexpr char kNumber = 'N';
inline constexpr char kFloat = 'F';
inline constexpr char kDate = 'D';
inline constexpr char kLogical = 'L';
inline constexpr char kMemo = 'M';
inline constexpr char kGeneral = 'G';
inline constexpr char kPicture = 'P';
inline constexpr char kInteger = 'I';        // 4-byte little-endian integer
inline constexpr char kAutoIncrement = '+';  // dBase 7: 4-byte sortable integer
inline constexpr char kDouble = 'B';         // FoxPro: 8-byte double (dBase IV: binary memo)
inline constexpr char kCurrency = 'Y';       // 8-byte integer of ten-thousandths
inline constexpr char kDateTime = 'T';       // FoxPro: Julian day and milliseconds
inline constexpr char kTimestamp = '@';      // dBase 7: sortable day and milliseconds
inline constexpr char kOrderedDouble = 'O';  // dBase 7: 8-byte sortable double
}  // namespace type

// The number a number field's text holds: after leading blanks, an optional sign, digits
// with at most one decimal point and an optional exponent ("1.5E+03", as float fields may
// hold). The decimal point is '.' or ',' (programs running under a locale with a decimal
// comma have written "1,5"). Reading stops at the first byte that does not fit, so "12abc"
// reads 12 and "1.2.3" reads 1.2; text that starts with no digit ("", "abc", "-", "****")
// reads 0, as does a value too large for a double. Correctly rounded; no locale is used.
double ReadNumberText(const char* text, size_t size);
inline double ReadNumberText(std::string_view text) {
  return ReadNumberText(text.data(), text.size());
}

// A logical field's byte: true for T t Y y; anything else (F N ? blank) is false.
constexpr bool ReadLogicalByte(char c) { return c == 'T' || c == 't' || c == 'Y' || c == 'y'; }

}  // namespace velloria::dbf
