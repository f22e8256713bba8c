// Conversions between a field's stored bytes and typed values: the typed readers of the
// C interface (text, logical, number, date) and the encoders behind xb_Replace. Pure
// functions; the date text follows the settings' date format and century.
#ifndef VELLORIA_ENGINE_FIELD_CODEC_H_
#define VELLORIA_ENGINE_FIELD_CODEC_H_

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/dbf_field.h"
#include "engine/expr.h"
#include "engine/settings.h"
#include "engine/status.h"

namespace xb {

// The field's bytes in the record image.
inline std::string_view FieldBytes(const uint8_t* record, const FieldInfo& field) {
  return std::string_view(reinterpret_cast<const char*>(record) + field.offset,
                          size_t(field.width));
}
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "TrimmedLength reads words as little-endian");
// The length of text without its trailing blanks and NULs; eight bytes at a time, since a
// character field is mostly padding.
inline size_t TrimmedLength(std::string_view text) {
  constexpr uint64_t kNotBlankOrNul = ~uint64_t(0x2020202020202020);  // ' ' and '\0' clear it
  size_t n = text.size();
  for (uint64_t word; n >= 8; n -= 8) {
    std::memcpy(&word, text.data() + n - 8, 8);
    word &= kNotBlankOrNul;  // a byte is now zero when it was a blank or a NUL
    // The last such word ends the text at its highest byte left non-zero (little-endian).
    if (word != 0) return n - 8 + size_t(63 - __builtin_clzll(word)) / 8 + 1;
  }
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  return n;
}
std::string TrimRight(std::string_view text);
inline bool DecodeLogical(std::string_view bytes) {
  return !bytes.empty() && velloria::dbf::ReadLogicalByte(bytes[0]);
}
// Numeric value of N F (as velloria::dbf::ReadNumberText reads their text) and FoxPro's
// I B Y fields.
double DecodeNumber(std::string_view bytes, char type);
// The integer readers' common case: one to nine digits ending the bytes, after blanks and an
// optional minus, as an N field without decimals holds them. False for anything else, which
// DecodeNumber reads.
inline bool DecodeWholeNumber(std::string_view bytes, int32_t* value) {
  size_t i = 0, n = bytes.size();
  while (i < n && bytes[i] == ' ') ++i;
  const bool negative = i < n && bytes[i] == '-';
  i += negative;
  if (i == n || n - i > 9) return false;
  int32_t v = 0;
  for (; i < n; ++i) {
    const unsigned digit = unsigned(bytes[i] - '0');
    if (digit > 9) return false;
    v = v * 10 + int32_t(digit);
  }
  *value = negative ? -v : v;
  return true;
}
// Julian day of D and FoxPro's T fields, 0 for empty or other types.
int64_t DecodeJulian(std::string_view bytes, char type);
// The same for any field, dBase 7's I + O @ included.
double DecodeFieldNumber(std::string_view bytes, const FieldInfo& field);
int64_t DecodeFieldJulian(std::string_view bytes, const FieldInfo& field);
// Whether the number readers decode the field: N F Y, and I + B O of their binary widths.
// Inline, as they ask at every call.
inline bool IsNumericField(const FieldInfo& field) {
  switch (field.type) {
    case 'N':
    case 'F':
    case 'Y':
      return true;
    case 'I':
    case '+':
      return field.width == 4;
    case 'B':
    case 'O':
      return field.width == 8;
    default:
      return false;
  }
}
bool IsDateField(const FieldInfo& field);
// FoxPro's binary fields, little-endian. REQUIRES: 4 bytes (I, a T field's day), 8 bytes
// (B, Y). A double that is not finite reads 0.
int32_t DecodeInt32(const uint8_t* bytes);
double DecodeDouble(const uint8_t* bytes);
double DecodeCurrency(const uint8_t* bytes);
// dBase 7's sortable binary numbers: big-endian with the sign bit flipped (a negative double
// has every bit inverted). REQUIRES: 4 and 8 bytes.
int32_t DecodeOrderedInt32(const uint8_t* bytes);
double DecodeOrderedDouble(const uint8_t* bytes);
// Julian day of a dBase 7 timestamp: big-endian day, then milliseconds. A top bit set (a
// sign flag some writers add) is ignored. REQUIRES: 8 bytes.
int64_t DecodeStampDay(const uint8_t* bytes);
// A Julian day as text in the settings' date format ("" spaces for the empty date).
std::string FormatDate(int64_t julian, const Settings& settings);
// The date format as a picture, e.g. "mm/dd/yyyy".
std::string DatePicture(const Settings& settings);
bool IsBlank(std::string_view bytes, const FieldInfo& field);
// A binary field's value as text: numbers in their shortest exact form (currency with four
// decimals), time stamps as "YYYYMMDDhhmmss" (blank when empty). Other fields: their bytes.
std::string FieldText(std::string_view bytes, const FieldInfo& field);

// Encoders: the field's stored bytes (exactly field.width) for a value.
Status EncodeText(const FieldInfo& field, std::string_view text, std::string* out);
Status EncodeNumber(const FieldInfo& field, double value, std::string* out);
Status EncodeLogical(const FieldInfo& field, bool value, std::string* out);
Status EncodeJulian(const FieldInfo& field, int64_t julian, std::string* out);

}  // namespace xb

#endif  // VELLORIA_ENGINE_FIELD_CODEC_H_
