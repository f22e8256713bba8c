// Header and descriptor parsing with the checks for damaged tables, and header building.
#include "engine/dbf_layout.h"

#include <cstring>

namespace xb {
namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// ASCII letters only, as field names have; the typed readers look a name up at every call.
bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

Status Corrupt(const std::string& why) { return Status::Error(XB_ERR_CORRUPT, why); }

bool KnownVersion(uint8_t v) {
  return v == 0x03 || v == 0x83 || v == 0x8B || v == 0xF5 || v == 0x30 || v == 0x31 || v == 0x32;
}

bool KnownType(char t) { return std::strchr("CNFLDMIBYT", t) != nullptr && t != 0; }

bool ValidNameChar(char c, bool first) {
  bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '_';
}

Status ParseDescriptor(const uint8_t* d, int number, uint8_t version, FieldInfo* field) {
  char name[kMaxFieldName + 1] = {};
  std::memcpy(name, d, kMaxFieldName);
  field->name = name;
  for (char& c : field->name) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  field->type = char(d[11]);
  if (field->name.empty()) return Corrupt("Field " + std::to_string(number) + " has no name");
  if (!KnownType(field->type)) {
    return Corrupt("Field " + field->name + " has an unknown type '" + std::string(1, field->type) +
                   "'");
  }
  field->width = d[16];
  field->decimals = d[17];
  bool dbase3 = version == 0x03 || version == 0x83;
  if (field->type == 'C' && dbase3) {
    field->width |= field->decimals << 8;  // Clipper's wide character fields
    field->decimals = 0;
  }
  if (field->width == 0) return Corrupt("Field " + field->name + " has width 0");
  return Status::Ok();
}

}  // namespace

bool TableLayout::HasMemoFields() const {
  for (const FieldInfo& f : fields) {
    if (f.type == 'M') return true;
  }
  return false;
}

MemoKind TableLayout::Memo() const {
  if (!HasMemoFields()) return MemoKind::kNone;
  if (version == 0x8B) return MemoKind::kDbt4;
  if (version == 0xF5 || version == 0x30 || version == 0x31 || version == 0x32) {
    return MemoKind::kFpt;
  }
  return MemoKind::kDbt3;
}

int TableLayout::FieldIndex(std::string_view name) const {
  size_t n = name.size();
  while (n > 0 && name[n - 1] == ' ') --n;
  if (n == 0 || n > kMaxFieldName) return -1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& f = fields[i].name;
    if (f.size() == n && SameNameIgnoringCase(f, name.substr(0, n))) return int(i);
  }
  return -1;
}

int TableLayout::FieldIndex(const char* name) const {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& f = fields[i].name;
    size_t k = 0;
    while (k < f.size() && upper(name[k]) == upper(f[k])) ++k;
    if (k < f.size()) continue;
    while (name[k] == ' ') ++k;
    if (name[k] == 0) return int(i);
  }
  return -1;
}

Status ParseFixedHeader(const uint8_t* bytes, size_t size, TableLayout* layout) {
  if (size < size_t(kHeaderSize)) return Corrupt("Truncated header");
  layout->version = bytes[0];
  if (!KnownVersion(layout->version)) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", layout->version);
    return Corrupt(std::string("Not a supported table (version byte ") + hex + ")");
  }
  layout->year = bytes[1] < 80 ? 2000 + bytes[1] : 1900 + bytes[1];
  layout->month = bytes[2];
  layout->day = bytes[3];
  layout->header_count = Le32(bytes + 4);
  layout->header_length = Le16(bytes + 8);
  layout->record_length = Le16(bytes + 10);
  layout->language_driver = bytes[29];
  if (bytes[15] != 0)
    return Status::Error(XB_ERR_NOT_SUPPORTED, "Encrypted tables are not supported");
  if (layout->header_length < uint32_t(kHeaderSize + kDescriptorSize)) {
    return Corrupt("Header length " + std::to_string(layout->header_length) + " is too small");
  }
  if (layout->record_length < 2) {
    return Corrupt("Record length " + std::to_string(layout->record_length) + " is too small");
  }
  return Status::Ok();
}

Status ParseDescriptors(const uint8_t* header, size_t size, TableLayout* layout) {
  if (size < layout->header_length) return Corrupt("Truncated header");
  layout->fields.clear();
  uint32_t offset = 1;
  uint32_t at = kHeaderSize;
  while (at + kDescriptorSize <= layout->header_length && header[at] != kTerminator) {
    FieldInfo field;
    XB_RETURN_IF_ERROR(
        ParseDescriptor(header + at, int(layout->fields.size()) + 1, layout->version, &field));
    if (layout->FieldIndex(field.name) >= 0)
      return Corrupt("Field " + field.name + " appears twice");
    field.offset = int(offset);
    offset += uint32_t(field.width);
    if (offset > layout->record_length) {
      return Corrupt("Field " + field.name + " lies past the end of the record (record length " +
                     std::to_string(layout->record_length) + ")");
    }
    layout->fields.push_back(field);
    at += kDescriptorSize;
  }
  if (layout->fields.empty()) return Corrupt("The table has no fields");
  if (offset != layout->record_length) {
    return Corrupt("Record length " + std::to_string(layout->record_length) +
                   " disagrees with the field widths (" + std::to_string(offset) + ")");
  }
  return Status::Ok();
}

uint32_t RecordsPresent(const TableLayout& layout, uint64_t file_size) {
  if (file_size <= layout.header_length) return 0;
  uint64_t whole = (file_size - layout.header_length) / layout.record_length;
  return whole < layout.header_count ? uint32_t(whole) : layout.header_count;
}

Status CheckFieldDefinition(const FieldInfo& f) {
  auto bad = [&](const std::string& why) {
    return Status::Error(XB_ERR_ARGUMENT, "Field " + f.name + ": " + why);
  };
  if (f.name.empty() || f.name.size() > size_t(kMaxFieldName)) {
    return Status::Error(XB_ERR_ARGUMENT,
                         "Field name \"" + f.name + "\" must have 1 to 10 characters");
  }
  for (size_t i = 0; i < f.name.size(); ++i) {
    if (!ValidNameChar(f.name[i], i == 0)) return bad("the name may hold letters, digits and _");
  }
  switch (f.type) {
    case 'C':
      if (f.width < 1 || f.width > 65535 || f.decimals != 0) return bad("C needs width 1 to 65535");
      return Status::Ok();
    case 'N':
    case 'F':
      if (f.width < 1 || f.width > 20) return bad("numbers need width 1 to 20");
      if (f.decimals < 0 || (f.decimals > 0 && f.decimals > f.width - 2)) {
        return bad("decimals must leave room for the point and a digit");
      }
      return Status::Ok();
    case 'L':
      return f.width == 1 && f.decimals == 0 ? Status::Ok() : bad("L has width 1");
    case 'D':
      return f.width == 8 && f.decimals == 0 ? Status::Ok() : bad("D has width 8");
    case 'M':
      return f.width == 10 && f.decimals == 0 ? Status::Ok() : bad("M has width 10");
    default:
      return bad("type must be C, N, F, L, D or M");
  }
}

Status FinishNewLayout(TableLayout* layout) {
  if (layout->fields.empty())
    return Status::Error(XB_ERR_ARGUMENT, "A table needs at least one field");
  if (layout->fields.size() > 1000) return Status::Error(XB_ERR_ARGUMENT, "Too many fields");
  uint32_t offset = 1;
  for (FieldInfo& f : layout->fields) {
    f.offset = int(offset);
    offset += uint32_t(f.width);
  }
  if (offset > 65535) return Status::Error(XB_ERR_ARGUMENT, "Record longer than 65,535 bytes");
  layout->record_length = offset;
  layout->header_length = uint32_t(kHeaderSize + kDescriptorSize * layout->fields.size() + 1);
  layout->version = layout->HasMemoFields() ? 0x83 : 0x03;
  return Status::Ok();
}

void EncodeDateAndCount(int year, int month, int day, uint32_t count, uint8_t out[7]) {
  out[0] = uint8_t(year - 1900);
  out[1] = uint8_t(month);
  out[2] = uint8_t(day);
  PutLe32(out + 3, count);
}

std::vector<uint8_t> BuildHeader(const TableLayout& layout, uint32_t count) {
  std::vector<uint8_t> h(layout.header_length, 0);
  h[0] = layout.version;
  EncodeDateAndCount(layout.year, layout.month, layout.day, count, &h[1]);
  PutLe16(&h[8], layout.header_length);
  PutLe16(&h[10], layout.record_length);
  h[29] = layout.language_driver;
  size_t at = kHeaderSize;
  for (const FieldInfo& f : layout.fields) {
    std::memcpy(&h[at], f.name.data(), f.name.size());
    h[at + 11] = uint8_t(f.type);
    h[at + 16] = uint8_t(f.width & 0xFF);
    h[at + 17] = uint8_t(f.type == 'C' ? f.width >> 8 : f.decimals);
    at += kDescriptorSize;
  }
  h[at] = kTerminator;
  return h;
}

const char* FieldTypeText(char type) {
  switch (type) {
    case 'C':
      return "Character";
    case 'N':
      return "Numeric";
    case 'F':
      return "Float";
    case 'L':
      return "Logical";
    case 'D':
      return "Date";
    case 'M':
      return "Memo";
    case 'I':
      return "Integer";
    case 'B':
      return "Binary double";
    case 'Y':
      return "Y currency";
    case 'T':
      return "Timestamp";
    default:
      return "";
  }
}

}  // namespace xb
