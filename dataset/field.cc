// TField: typed reading and writing of one column through the dataset's record buffers.
#include "dataset/field.h"

#include <cctype>
#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "dataset/dataset.h"
#include "dataset/scope_guard.h"

namespace velloria {
namespace {

std::string Trim(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

bool ParseInteger(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  char* end = nullptr;
  errno = 0;
  long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || !(std::isdigit(static_cast<unsigned char>(text.back())))) {
    return false;
  }
  value = parsed;
  return true;
}

// Reads a float written with the process decimal separator (or '.').
bool ParseFloat(std::string text, double& value) {
  for (char& c : text) {
    if (c == DatasetFormatSettings().decimalSeparator) c = '.';
  }
  return ParseDecimal(text, value);
}

bool ParseBoolean(const std::string& text, bool& value) {
  static const char* const kTrue[] = {"true", "t", "yes", "y", "1"};
  static const char* const kFalse[] = {"false", "f", "no", "n", "0"};
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* word : kTrue) {
    if (lower == word) return (value = true), true;
  }
  for (const char* word : kFalse) {
    if (lower == word) return (value = false), true;
  }
  return false;
}

// `text` cut to at most `count` UTF-8 characters.
std::string CutToCharacters(const std::string& text, int count) {
  size_t pos = 0;
  for (int seen = 0; pos < text.size() && seen < count; ++seen) {
    ++pos;
    while (pos < text.size() && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) ++pos;
  }
  return text.substr(0, pos);
}

std::string GroupThousands(const std::string& digits) {
  std::string out;
  int count = 0;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it, ++count) {
    if (count > 0 && count % 3 == 0) out.insert(out.begin(), DatasetFormatSettings().thousandSeparator);
    out.insert(out.begin(), *it);
  }
  return out;
}

}  // namespace

bool ParseDecimal(const std::string& text, double& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  double parsed = 0;
  auto [ptr, ec] = std::from_chars(begin, end, parsed);
  if (ec != std::errc() || ptr != end || begin == end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

std::string FormatFixed(double value, int decimals) {
  char buffer[400];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                              decimals);
  return std::string(buffer, result.ptr);
}

std::string FormatFloatPattern(const std::string& pattern, double value) {
  size_t point = pattern.find('.');
  std::string intPattern = pattern.substr(0, point);
  std::string fracPattern = point == std::string::npos ? "" : pattern.substr(point + 1);
  int minDecimals = 0, maxDecimals = 0, minIntDigits = 0;
  for (char c : fracPattern) {
    if (c == '0') ++minDecimals;
    if (c == '0' || c == '#') ++maxDecimals;
  }
  for (char c : intPattern) {
    if (c == '0') ++minIntDigits;
  }
  bool grouping = intPattern.find(',') != std::string::npos;
  std::string text = FormatFixed(std::fabs(value), maxDecimals);
  std::string intDigits = text.substr(0, text.find('.'));
  std::string fraction = maxDecimals > 0 ? text.substr(text.find('.') + 1) : "";
  while (static_cast<int>(fraction.size()) > minDecimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (intDigits == "0" && minIntDigits == 0) intDigits.clear();
  while (static_cast<int>(intDigits.size()) < minIntDigits) intDigits.insert(0, "0");
  if (grouping) intDigits = GroupThousands(intDigits);
  std::string out = intDigits;
  if (!fraction.empty()) out += DatasetFormatSettings().decimalSeparator + fraction;
  bool allZero = out.find_first_of("123456789") == std::string::npos;
  if (value < 0 && !allZero) out.insert(0, "-");
  return out;
}

TField::TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size, int fieldNo,
               TFieldKind kind)
    : m_dataSet(dataSet),
      m_fieldName(std::move(fieldName)),
      m_dataType(dataType),
      m_size(size),
      m_fieldNo(fieldNo),
      m_kind(kind) {}

bool TField::IsBlob() const {
  return m_dataType == TFieldType::ftMemo || m_dataType == TFieldType::ftBlob;
}

int TField::DataSize() const {
  switch (m_dataType) {
    case TFieldType::ftString:
      return m_size * 3 + 1;
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftBoolean:
      return 2;
    case TFieldType::ftInteger:
    case TFieldType::ftDate:
      return 4;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return 8;
    default:
      return 0;
  }
}

bool TField::GetData(void* dest) const {
  if (m_inValidate) {
    if (m_validating == nullptr) return false;
    if (dest != nullptr) std::memcpy(dest, m_validating, DataSize());
    return true;
  }
  return m_dataSet->GetFieldData(*this, dest);
}

void TField::SetData(const void* source) { m_dataSet->SetFieldData(*this, source); }

void TField::Validate(const void* newValue) {
  if (!OnValidate) return;
  m_validating = newValue;
  m_inValidate = true;
  auto done = OnScopeExit([this] { m_inValidate = false; });
  OnValidate(*this);
}

bool TField::IsNull() const {
  if (IsBlob()) return m_dataSet->GetBlobData(*this).empty();
  return !GetData(nullptr);
}

void TField::RaiseAccessError(const char* typeName) const {
  throw EDatabaseError("Cannot access field '" + m_fieldName + "' as type " + typeName);
}

void TField::CheckWritable() const {
  if (ReadOnly) throw EDatabaseError("Field '" + m_fieldName + "' cannot be modified");
}

std::string TField::AsString() const {
  if (IsBlob()) return m_dataSet->GetBlobData(*this);
  if (m_dataType == TFieldType::ftString) {
    std::vector<char> text(DataSize() + 1, '\0');
    if (!GetData(text.data())) return {};
    return std::string(text.data());
  }
  if (IsNull()) return {};
  switch (m_dataType) {
    case TFieldType::ftBoolean:
      return AsBoolean() ? "True" : "False";
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return FloatText(AsFloat(), false);
    case TFieldType::ftDate:
      return FormatDate(AsDate(), DatasetFormatSettings().shortDateFormat);
    default:
      return std::to_string(AsInteger());
  }
}

std::int32_t TField::AsInteger() const {
  switch (m_dataType) {
    case TFieldType::ftSmallint: {
      std::int16_t value = 0;
      return GetData(&value) ? value : 0;
    }
    case TFieldType::ftWord: {
      std::uint16_t value = 0;
      return GetData(&value) ? value : 0;
    }
    case TFieldType::ftInteger: {
      std::int32_t value = 0;
      return GetData(&value) ? value : 0;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      double value = std::round(AsFloat());
      if (std::fabs(value) > std::numeric_limits<std::int32_t>::max()) RaiseAccessError("Integer");
      return static_cast<std::int32_t>(value);
    }
    case TFieldType::ftString: {
      std::string text = Trim(AsString());
      std::int64_t value = 0;
      if (text.empty()) return 0;
      if (!ParseInteger(text, value) || value != static_cast<std::int32_t>(value)) {
        throw EDatabaseError("'" + text + "' is not a valid integer value");
      }
      return static_cast<std::int32_t>(value);
    }
    default:
      RaiseAccessError("Integer");
  }
}

bool TField::AsBoolean() const {
  if (m_dataType == TFieldType::ftBoolean) {
    std::int16_t value = 0;
    return GetData(&value) && value != 0;
  }
  if (m_dataType == TFieldType::ftString) {
    bool value = false;
    std::string text = Trim(AsString());
    if (text.empty()) return false;
    if (!ParseBoolean(text, value)) {
      throw EDatabaseError("'" + text + "' is not a valid boolean value");
    }
    return value;
  }
  RaiseAccessError("Boolean");
}

double TField::AsFloat() const {
  switch (m_dataType) {
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      double value = 0;
      return GetData(&value) ? value : 0.0;
    }
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
    case TFieldType::ftDate:
      return m_dataType == TFieldType::ftDate ? AsDate() : AsInteger();
    case TFieldType::ftString: {
      std::string text = Trim(AsString());
      double value = 0;
      if (text.empty()) return 0;
      if (!ParseFloat(text, value)) {
        throw EDatabaseError("'" + text + "' is not a valid floating point value");
      }
      return value;
    }
    default:
      RaiseAccessError("Float");
  }
}

std::int32_t TField::AsDate() const {
  if (m_dataType == TFieldType::ftDate) {
    std::int32_t value = 0;
    return GetData(&value) ? value : 0;
  }
  if (m_dataType == TFieldType::ftString) return ParseDateText(Trim(AsString()));
  RaiseAccessError("Date");
}

void TField::SetAsString(const std::string& value) {
  if (IsBlob()) {
    CheckWritable();
    m_dataSet->SetBlobData(*this, value);
    return;
  }
  if (m_dataType == TFieldType::ftString) {
    std::vector<char> data(DataSize(), '\0');
    std::string cut = CutToCharacters(value, m_size);
    std::memcpy(data.data(), cut.data(), cut.size());
    CheckWritable();
    SetData(data.data());
    return;
  }
  std::string text = Trim(value);
  if (text.empty()) {
    Clear();
    return;
  }
  switch (m_dataType) {
    case TFieldType::ftBoolean: {
      bool flag = false;
      if (!ParseBoolean(text, flag)) {
        throw EDatabaseError("'" + text + "' is not a valid boolean value for field '" +
                             m_fieldName + "'");
      }
      SetAsBoolean(flag);
      return;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency: {
      double number = 0;
      if (!ParseFloat(text, number)) {
        throw EDatabaseError("'" + text + "' is not a valid floating point value");
      }
      SetAsFloat(number);
      return;
    }
    case TFieldType::ftDate:
      SetAsDate(ParseDateText(text));
      return;
    default: {
      std::int64_t number = 0;
      if (!ParseInteger(text, number)) {
        throw EDatabaseError("'" + text + "' is not a valid integer value");
      }
      SetIntegerChecked(number);
    }
  }
}

void TField::SetIntegerChecked(std::int64_t value) {
  std::int64_t low = std::numeric_limits<std::int32_t>::min();
  std::int64_t high = std::numeric_limits<std::int32_t>::max();
  if (m_dataType == TFieldType::ftSmallint) low = -32768, high = 32767;
  if (m_dataType == TFieldType::ftWord) low = 0, high = 65535;
  if (value < low || value > high) {
    throw EDatabaseError(std::to_string(value) + " is not a valid value for field '" + m_fieldName +
                         "'. The allowed range is " + std::to_string(low) + " to " +
                         std::to_string(high));
  }
  CheckWritable();
  if (m_dataType == TFieldType::ftInteger) {
    std::int32_t data = static_cast<std::int32_t>(value);
    SetData(&data);
  } else {
    std::int16_t data = static_cast<std::int16_t>(value);
    SetData(&data);
  }
}

void TField::SetAsInteger(std::int32_t value) {
  switch (m_dataType) {
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
      SetIntegerChecked(value);
      return;
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      SetAsFloat(value);
      return;
    case TFieldType::ftString:
      SetAsString(std::to_string(value));
      return;
    default:
      RaiseAccessError("Integer");
  }
}

void TField::SetAsBoolean(bool value) {
  if (m_dataType == TFieldType::ftString) {
    SetAsString(value ? "True" : "False");
    return;
  }
  if (m_dataType != TFieldType::ftBoolean) RaiseAccessError("Boolean");
  CheckWritable();
  std::int16_t data = value ? -1 : 0;
  SetData(&data);
}

void TField::SetAsFloat(double value) {
  switch (m_dataType) {
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      SetFloatChecked(value);
      return;
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
      if (!std::isfinite(value) || std::fabs(value) > 9.2e18) RaiseAccessError("Float");
      SetIntegerChecked(std::llround(value));
      return;
    case TFieldType::ftString:
      SetAsString(FloatText(value, false));
      return;
    default:
      RaiseAccessError("Float");
  }
}

void TField::SetFloatChecked(double value) {
  if (!std::isfinite(value)) {
    throw EDatabaseError("Invalid floating point value for field '" + m_fieldName + "'");
  }
  CheckWritable();
  SetData(&value);
}

void TField::SetAsDate(std::int32_t day) {
  if (m_dataType == TFieldType::ftString) {
    SetAsString(FormatDate(day, DatasetFormatSettings().shortDateFormat));
    return;
  }
  if (m_dataType != TFieldType::ftDate) RaiseAccessError("Date");
  if (day < 1) {
    Clear();
    return;
  }
  CheckWritable();
  SetData(&day);
}

void TField::Clear() {
  CheckWritable();
  if (IsBlob()) {
    m_dataSet->SetBlobData(*this, {});
    return;
  }
  SetData(nullptr);
}

std::string TField::FloatText(double value, bool display) const {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                              std::clamp(display ? Precision : 15, 1, 17));
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == '.') c = DatasetFormatSettings().decimalSeparator;
  }
  return text;
}

std::string TField::EditText() const { return AsString(); }

std::string TField::DisplayText() const {
  switch (m_dataType) {
    case TFieldType::ftMemo:
      return IsNull() ? "(Memo)" : "(MEMO)";
    case TFieldType::ftBlob:
      return IsNull() ? "(Blob)" : "(BLOB)";
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      if (IsNull()) return {};
      if (!DisplayFormat.empty()) return FormatFloatPattern(DisplayFormat, AsFloat());
      if (m_dataType == TFieldType::ftFloat) return FloatText(AsFloat(), true);
      if (m_dataType == TFieldType::ftCurrency) return FormatFloatPattern("#,##0.00", AsFloat());
      return AsString();
    case TFieldType::ftDate:
      if (IsNull()) return {};
      return FormatDate(AsDate(),
                        DisplayFormat.empty() ? DatasetFormatSettings().shortDateFormat : DisplayFormat);
    default:
      return AsString();
  }
}

}  // namespace velloria
