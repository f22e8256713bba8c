// Header and descriptor parsing with the checks for damaged tables, and header building.
#include "engine/dbf_layout.h"

#include <cstring>

#include "base/byte_order.h"

namespace xb {

using namespace velloria::bytes;
namespace {

// Field names are ASCII: only its letters have a case.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

Status Corrupt(const std::string& why) { return Status::Error(XB_ERR_CORRUPT, why); }

bool KnownVersion(uint8_t v) {
  return v == 0x03 || v == 0x83 || v == 0x8B || v == 0xF5 || v == 0xFB || v == 0x30 || v == 0x31 ||
         v == 0x32 || v == 0x04 || v == 0x8C;
}

// Any printable letter opens: a type the engine does not interpret reads as its bytes.
bool PlausibleType(char t) { return t > ' ' && t < 0x7F; }

bool ValidNameChar(char c, bool first) {
  bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '_';
}

// A 32-byte descriptor (name at 0, type at 11, width 16, decimals 17) or dBase 7's 48-byte
// one (name at 0 to 31, type at 32, width 33, decimals 34).
Status ParseDescriptor(const uint8_t* d, int number, bool dbase7, FieldInfo* field) {
  size_t name_bytes = dbase7 ? kMaxReadFieldName + 1 : kMaxFieldName + 1;
  field->name.assign(reinterpret_cast<const char*>(d),
                     strnlen(reinterpret_cast<const char*>(d), name_bytes));
  for (char& c : field->name) c = AsciiUpper(c);
  const uint8_t* rest = dbase7 ? d + 32 : d + 11;
  field->type = char(rest[0]);
  field->width = dbase7 ? rest[1] : rest[5];
  field->decimals = dbase7 ? rest[2] : rest[6];
  field->ordered = dbase7;
  if (field->name.empty()) return Corrupt("Field " + std::to_string(number) + " has no name");
  if (!PlausibleType(field->type)) {
    return Corrupt("Field " + field->name + " has an unreadable type byte " +
                   std::to_string(uint8_t(field->type)));
  }
  return Status::Ok();
}

// Clipper stores a character field wider than 255 with the width's high byte in the
// decimals byte.
void ReadWideCharacterFields(std::vector<FieldInfo>* fields) {
  for (FieldInfo& f : *fields) {
    if (f.type != 'C') continue;
    f.width |= f.decimals << 8;
    f.decimals = 0;
  }
}

uint32_t RecordLengthOf(const std::vector<FieldInfo>& fields) {
  uint32_t length = 1;
  for (const FieldInfo& f : fields) length += uint32_t(f.width);
  return length;
}

}  // namespace

bool IsMemoField(const FieldInfo& f) {
  return f.type == 'M' || f.type == 'G' || f.type == 'P' || f.type == 'W' ||
         (f.type == 'B' && f.width == 10);
}

bool TableLayout::HasMemoFields() const {
  for (const FieldInfo& f : fields) {
    if (IsMemoField(f)) return true;
  }
  return false;
}

MemoKind TableLayout::Memo() const {
  if (!HasMemoFields()) return MemoKind::kNone;
  if (version == 0x8B || version == 0x8C) return MemoKind::kDbt4;
  if (version == 0xF5 || version == 0xFB || version == 0x30 || version == 0x31 || version == 0x32) {
    return MemoKind::kFpt;
  }
  return MemoKind::kDbt3;
}

std::string TableLayout::ReadOnlyReason() const {
  if (version != 0x03 && version != 0x83) return "Tables of this version are read only";
  for (const FieldInfo& f : fields) {
    if (std::strchr("CNFLDM", f.type) == nullptr) {
      return "Field " + f.name + " has type '" + std::string(1, f.type) +
             "', which the engine reads but does not write";
    }
  }
  return "";
}

int TableLayout::FieldIndex(std::string_view name) const {
  size_t n = name.size();
  while (n > 0 && name[n - 1] == ' ') --n;
  if (n == 0 || n > kMaxReadFieldName) return -1;
  for (size_t i = 0; i < fields.size(); ++i) {
    const std::string& f = fields[i].name;
    if (f.size() == n && SameNameIgnoringCase(f, name.substr(0, n))) return int(i);
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
  std::vector<FieldInfo> fields;
  bool dbase7 = layout->Dbase7();
  uint32_t step = dbase7 ? kDbase7DescriptorSize : kDescriptorSize;
  for (uint32_t at = dbase7 ? kDbase7HeaderSize : kHeaderSize;
       at + step <= layout->header_length && header[at] != kTerminator; at += step) {
    FieldInfo field;
    XB_RETURN_IF_ERROR(ParseDescriptor(header + at, int(fields.size()) + 1, dbase7, &field));
    for (const FieldInfo& earlier : fields) {
      if (earlier.name.size() == field.name.size() &&
          SameNameIgnoringCase(earlier.name, field.name))
        return Corrupt("Field " + field.name + " appears twice");
    }
    fields.push_back(field);
  }
  if (fields.empty()) return Corrupt("The table has no fields");
  // dBase III tables are read the Clipper way; a table of another version too when only
  // that reading makes the widths fill the record (a Clipper program wrote it).
  std::vector<FieldInfo> wide = fields;
  ReadWideCharacterFields(&wide);
  bool dbase3 = layout->version == 0x03 || layout->version == 0x83;
  if (dbase3 || RecordLengthOf(wide) == layout->record_length) fields = std::move(wide);
  uint32_t offset = 1;
  for (FieldInfo& field : fields) {
    if (field.width == 0) return Corrupt("Field " + field.name + " has width 0");
    field.offset = int(offset);
    offset += uint32_t(field.width);
    if (offset > layout->record_length) {
      return Corrupt("Field " + field.name + " lies past the end of the record (record length " +
                     std::to_string(layout->record_length) + ")");
    }
  }
  if (offset != layout->record_length) {
    return Corrupt("Record length " + std::to_string(layout->record_length) +
                   " disagrees with the field widths (" + std::to_string(offset) + ")");
  }
  layout->fields = std::move(fields);
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

const char* FieldTypeText(const FieldInfo& field) {
  if (IsMemoField(field) && field.type != 'M') return "Binary memo";
  switch (field.type) {
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
    case '+':
      return "Autoincrement";
    case 'B':
    case 'O':
      return "Binary double";
    case 'Y':
      return "Y currency";
    case 'T':
    case '@':
      return "Timestamp";
    default:
      return "Raw";
  }
}

}  // namespace xb
