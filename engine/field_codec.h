// Conversions between a field's stored bytes and typed values: the typed readers of the
// C interface (text, logical, number, date) and the encoders behind xb_Replace. Pure
// functions; the date text follows the settings' date format and century.
#ifndef VELLORIA_ENGINE_FIELD_CODEC_H_
#define VELLORIA_ENGINE_FIELD_CODEC_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/expr.h"
#include "engine/settings.h"
#include "engine/status.h"

namespace xb {

// The field's bytes in the record image.
std::string_view FieldBytes(const uint8_t* record, const FieldInfo& field);
std::string TrimRight(std::string_view text);
bool DecodeLogical(std::string_view bytes);
// Numeric value of N F I B Y fields (blank or junk gives 0); C fields are read as text.
double DecodeNumber(std::string_view bytes, char type);
// Julian day of D and T fields, 0 for empty or other types.
int64_t DecodeJulian(std::string_view bytes, char type);
// A Julian day as text in the settings' date format ("" spaces for the empty date).
std::string FormatDate(int64_t julian, const Settings& settings);
// The date format as a picture, e.g. "mm/dd/yyyy".
std::string DatePicture(const Settings& settings);
bool IsBlank(std::string_view bytes, char type);

// Encoders: the field's stored bytes (exactly field.width) for a value.
Status EncodeText(const FieldInfo& field, std::string_view text, std::string* out);
Status EncodeNumber(const FieldInfo& field, double value, std::string* out);
Status EncodeLogical(const FieldInfo& field, bool value, std::string* out);
Status EncodeJulian(const FieldInfo& field, int64_t julian, std::string* out);

}  // namespace xb

#endif  // VELLORIA_ENGINE_FIELD_CODEC_H_
