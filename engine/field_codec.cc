// Field value decoding and encoding for the typed readers and xb_Replace.
#include "engine/field_codec.h"

#include <langinfo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/dbf_field.h"
#include "base/byte_order.h"

namespace xb {

using namespace velloria::bytes;
namespace {

Status Mismatch(const FieldInfo& f, const char* what) {
  return Status::Error(XB_ERR_VALUE, "Field " + f.name + " (type " + std::string(1, f.type) +
                                         ") cannot take " + what);
}

// Text given for a number field, read whole and whatever the locale: an optional sign, then
// a decimal number ('.' as the point, an exponent allowed). False for anything else.
bool ParseWholeText(std::string_view text, double* value) {
  bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
  double v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
  *value = negative ? -v : v;
  return true;
}

// Order of day, month, year and the separator for a date format code.
void FormatParts(int code, const char** order, char* separator) {
  switch (code) {
    case kDateAnsi:
      *order = "ymd";
      *separator = '.';
      return;
    case kDateBritish:
    case kDateFrench:
      *order = "dmy";
      *separator = '/';
      return;
    case kDateGerman:
      *order = "dmy";
      *separator = '.';
      return;
    case kDateItalian:
    case kDateSpanish:
      *order = "dmy";
      *separator = '-';
      return;
    case kDateSystem:
      break;
    default:
      *order = "mdy";
      *separator = '/';
      return;
  }
  const char* fmt = nl_langinfo(D_FMT);  // e.g. "%m/%d/%y" or "%d/%m/%Y"
  static char system_order[4];
  int n = 0;
  *separator = '/';
  for (const char* p = fmt; *p != 0 && n < 3; ++p) {
    if (*p != '%' || p[1] == 0) continue;
    char c = p[1];
    if (c == 'd' || c == 'e') system_order[n++] = 'd';
    if (c == 'm') system_order[n++] = 'm';
    if (c == 'y' || c == 'Y') system_order[n++] = 'y';
    if (n == 1 && p[2] != 0 && p[2] != '%') *separator = p[2];
    ++p;
  }
  system_order[3] = 0;
  *order = n == 3 ? system_order : "mdy";
}

}  // namespace

std::string TrimRight(std::string_view text) {
  return std::string(text.substr(0, TrimmedLength(text)));
}

double DecodeNumber(std::string_view bytes, char type) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  switch (type) {
    case 'I':
      return bytes.size() >= 4 ? DecodeInt32(p) : 0;
    case 'B':
      return bytes.size() >= 8 ? DecodeDouble(p) : 0;
    case 'Y':
      return bytes.size() >= 8 ? DecodeCurrency(p) : 0;
    case 'N':
    case 'F':
      return velloria::dbf::ReadNumberText(bytes);
    default:
      return 0;
  }
}

int64_t DecodeJulian(std::string_view bytes, char type) {
  if (type == 'D' && bytes.size() >= 8) return JulianFromDtos(bytes.data());
  if (type == 'T' && bytes.size() >= 8) {
    return DecodeInt32(reinterpret_cast<const uint8_t*>(bytes.data()));
  }
  return 0;
}

int32_t DecodeInt32(const uint8_t* p) { return int32_t(Le32(p)); }

double DecodeDouble(const uint8_t* p) {
  const double v = LeDouble(p);
  return std::isfinite(v) ? v : 0;
}

double DecodeCurrency(const uint8_t* p) { return double(int64_t(Le64(p))) / 10000.0; }

int32_t DecodeOrderedInt32(const uint8_t* p) {
  return int32_t(Be32(p) ^ 0x80000000u);
}

double DecodeOrderedDouble(const uint8_t* p) {
  uint64_t v = Be64(p);
  v = (v >> 63) != 0 ? v ^ (uint64_t(1) << 63) : ~v;
  double d;
  std::memcpy(&d, &v, sizeof d);
  return std::isfinite(d) ? d : 0;
}

int64_t DecodeStampDay(const uint8_t* p) {
  return int64_t(Be32(p) & 0x7FFFFFFFu);
}


bool IsDateField(const FieldInfo& f) {
  return f.type == 'D' || ((f.type == 'T' || f.type == '@') && f.width == 8);
}

double DecodeFieldNumber(std::string_view bytes, const FieldInfo& f) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  if (f.ordered && (f.type == 'I' || f.type == '+') && bytes.size() >= 4) {
    return DecodeOrderedInt32(p);
  }
  if (f.type == 'O' && bytes.size() >= 8) return DecodeOrderedDouble(p);
  return DecodeNumber(bytes, f.type);
}

int64_t DecodeFieldJulian(std::string_view bytes, const FieldInfo& f) {
  if (f.type == '@' && bytes.size() >= 8) {
    return DecodeStampDay(reinterpret_cast<const uint8_t*>(bytes.data()));
  }
  return DecodeJulian(bytes, f.type);
}

std::string DatePicture(const Settings& settings) {
  const char* order = nullptr;
  char sep = '/';
  FormatParts(settings.date_format, &order, &sep);
  std::string picture;
  for (int i = 0; i < 3; ++i) {
    if (i > 0) picture += sep;
    picture += order[i] == 'd' ? "dd" : order[i] == 'm' ? "mm" : (settings.century ? "yyyy" : "yy");
  }
  return picture;
}

std::string FormatDate(int64_t julian, const Settings& settings) {
  std::string picture = DatePicture(settings);
  int y = 0, m = 0, d = 0;
  if (!YmdFromJulian(julian, &y, &m, &d)) {
    for (char& c : picture) {
      if (c == 'd' || c == 'm' || c == 'y') c = ' ';
    }
    return picture;
  }
  const char* order = nullptr;
  char sep = '/';
  FormatParts(settings.date_format, &order, &sep);
  std::string out;
  char part[8];
  for (int i = 0; i < 3; ++i) {
    if (i > 0) out += sep;
    if (order[i] == 'd') std::snprintf(part, sizeof part, "%02d", d);
    if (order[i] == 'm') std::snprintf(part, sizeof part, "%02d", m);
    if (order[i] == 'y')
      std::snprintf(part, sizeof part, settings.century ? "%04d" : "%02d",
                    settings.century ? y : y % 100);
    out += part;
  }
  return out;
}

bool IsBlank(std::string_view bytes, const FieldInfo& f) {
  if (f.type == 'L') return bytes.empty() || !DecodeLogical(bytes);
  if (IsNumericField(f)) return DecodeFieldNumber(bytes, f) == 0;
  if (IsDateField(f)) return DecodeFieldJulian(bytes, f) == 0;
  return bytes.find_first_not_of(std::string_view(" \t\r\n\0", 5)) == std::string_view::npos;
}

std::string FieldText(std::string_view bytes, const FieldInfo& f) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  char text[40];
  if (IsNumericField(f) && f.type != 'N' && f.type != 'F') {
    double v = DecodeFieldNumber(bytes, f);
    std::snprintf(text, sizeof text, f.type == 'Y' ? "%.4f" : "%.17g", v);
    if (f.type != 'Y') {  // the shortest form that reads back as the same value
      for (int digits = 1; digits < 17; ++digits) {
        char shorter[40];
        std::snprintf(shorter, sizeof shorter, "%.*g", digits, v);
        if (std::strtod(shorter, nullptr) == v) {
          std::memcpy(text, shorter, sizeof shorter);
          break;
        }
      }
    }
    return text;
  }
  if ((f.type == 'T' || f.type == '@') && f.width == 8) {
    int64_t day = DecodeFieldJulian(bytes, f);
    int y = 0, m = 0, d = 0;
    if (!YmdFromJulian(day, &y, &m, &d)) return std::string(14, ' ');
    uint32_t ms = f.type == 'T'
                      ? Le32(p + 4)
                      : Be32(p + 4) & 0x7FFFFFFFu;
    ms = std::min<uint32_t>(ms, 86399999u);
    std::snprintf(text, sizeof text, "%04d%02d%02d%02u%02u%02u", y, m, d, ms / 3600000,
                  ms / 60000 % 60, ms / 1000 % 60);
    return text;
  }
  return std::string(bytes);
}

Status EncodeNumber(const FieldInfo& f, double value, std::string* out) {
  if (f.type != 'N' && f.type != 'F') return Mismatch(f, "a number");
  if (!std::isfinite(value))
    return Status::Error(XB_ERR_VALUE, "Field " + f.name + ": not a number");
  char text[64];
  int n = std::snprintf(text, sizeof text, "%*.*f", f.width, f.decimals, value);
  if (n < 0 || n > f.width) {
    return Status::Error(XB_ERR_VALUE, "Field " + f.name + ": value " + text +
                                           " is too wide (width " + std::to_string(f.width) + ")");
  }
  out->assign(text, size_t(n));
  return Status::Ok();
}

Status EncodeLogical(const FieldInfo& f, bool value, std::string* out) {
  if (f.type != 'L') return Mismatch(f, "a logical");
  out->assign(1, value ? 'T' : 'F');
  return Status::Ok();
}

Status EncodeJulian(const FieldInfo& f, int64_t julian, std::string* out) {
  if (f.type != 'D') return Mismatch(f, "a date");
  int y = 0, m = 0, d = 0;
  if (julian != 0 && !YmdFromJulian(julian, &y, &m, &d)) {
    return Status::Error(XB_ERR_VALUE, "Field " + f.name + ": invalid date");
  }
  *out = DtosFromJulian(julian);
  return Status::Ok();
}

Status EncodeText(const FieldInfo& f, std::string_view text, std::string* out) {
  std::string trimmed = TrimRight(text);
  size_t lead = trimmed.find_first_not_of(' ');
  std::string_view value =
      lead == std::string::npos ? std::string_view() : std::string_view(trimmed).substr(lead);
  switch (f.type) {
    case 'C':
      out->assign(text.substr(0, size_t(f.width)));
      out->resize(size_t(f.width), ' ');
      return Status::Ok();
    case 'N':
    case 'F': {
      if (value.empty()) {
        out->assign(size_t(f.width), ' ');
        return Status::Ok();
      }
      double v = 0;
      if (!ParseWholeText(value, &v)) {
        return Status::Error(XB_ERR_VALUE,
                             "Field " + f.name + ": \"" + std::string(value) + "\" is not a number");
      }
      return EncodeNumber(f, v, out);
    }
    case 'L': {
      if (value.empty() || value == "?") {
        out->assign(1, value.empty() ? ' ' : '?');
        return Status::Ok();
      }
      std::string_view v = value;
      if (v.size() == 3 && v[0] == '.' && v[2] == '.') v = v.substr(1, 1);
      char c = v[0];
      bool ok_true = std::strchr("TtYy", c) != nullptr,
           ok_false = std::strchr("FfNn", c) != nullptr;
      if ((!ok_true && !ok_false) || !(v.size() == 1 || v == "TRUE" || v == "true" ||
                                       v == "FALSE" || v == "false" || v == "YES" || v == "NO")) {
        return Status::Error(
            XB_ERR_VALUE, "Field " + f.name + ": \"" + std::string(value) + "\" is not a logical");
      }
      return EncodeLogical(f, ok_true, out);
    }
    case 'D': {
      if (value.empty()) {
        out->assign(8, ' ');
        return Status::Ok();
      }
      if (value.size() != 8 || JulianFromDtos(value.data()) == 0) {
        return Status::Error(XB_ERR_VALUE, "Field " + f.name + ": \"" + std::string(value) +
                                               "\" is not a date YYYYMMDD");
      }
      out->assign(value);
      return Status::Ok();
    }
    default:
      return Mismatch(f, "text");
  }
}

}  // namespace xb
