// The on-disk layout of a dBase table: the 32-byte header and the field descriptors, read
// with every check a damaged file needs, and written back for new tables and header updates.
// Pure functions over byte buffers; no I/O here.
#ifndef VELLORIA_ENGINE_DBF_LAYOUT_H_
#define VELLORIA_ENGINE_DBF_LAYOUT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/expr.h"
#include "engine/status.h"

namespace xb {

inline constexpr int kHeaderSize = 32;
inline constexpr int kDescriptorSize = 32;
inline constexpr int kMaxFieldName = 10;      // in the tables we write
inline constexpr int kMaxReadFieldName = 31;  // dBase 7 names, read only
inline constexpr int kDbase7HeaderSize = 68;  // fixed part and language driver name
inline constexpr int kDbase7DescriptorSize = 48;
inline constexpr uint8_t kTerminator = 0x0D;
inline constexpr uint8_t kEndOfFile = 0x1A;

enum class MemoKind { kNone, kDbt3, kDbt4, kFpt };

struct TableLayout {
  uint8_t version = 0x03;
  uint8_t language_driver = 0;
  int year = 0, month = 0, day = 0;  // last update
  uint32_t header_count = 0;         // record count as the header states it
  uint32_t header_length = 0;
  uint32_t record_length = 0;
  std::vector<FieldInfo> fields;

  bool HasMemoFields() const;
  // dBase 7 (version 0x04, or 0x8C with a memo file): 48-byte descriptors, binary numbers
  // stored big-endian so that their bytes sort.
  bool Dbase7() const { return version == 0x04 || version == 0x8C; }
  // The memo file flavour the version byte implies (kNone without memo fields).
  MemoKind Memo() const;
  // Why the engine does not write this table ("" when it does): versions other than
  // dBase III's (0x03, 0x83), and field types other than C N F L D M.
  std::string ReadOnlyReason() const;
  // Index of a field by name, case-insensitive, trailing blanks ignored; -1 when none.
  int FieldIndex(std::string_view name) const;
};

// Reads the fixed 32-byte header. REQUIRES: size >= kHeaderSize.
Status ParseFixedHeader(const uint8_t* bytes, size_t size, TableLayout* layout);
// Reads the descriptors from the complete header (header_length bytes) and checks them
// against the record length.
Status ParseDescriptors(const uint8_t* header, size_t size, TableLayout* layout);
// Records wholly present in a file of file_size bytes, capped at the header's count.
uint32_t RecordsPresent(const TableLayout& layout, uint64_t file_size);

// Checks one field definition for a new table (name, type letter, width, decimals).
Status CheckFieldDefinition(const FieldInfo& field);
// Completes a new table's layout: offsets, record and header length, version byte.
Status FinishNewLayout(TableLayout* layout);
// The whole header (fixed part, descriptors, terminator) for layout with count records.
std::vector<uint8_t> BuildHeader(const TableLayout& layout, uint32_t count);
// Bytes 1-7 of the header: last update date and record count.
void EncodeDateAndCount(int year, int month, int day, uint32_t count, uint8_t out[7]);

// Type text of xb_FieldType for a field ("Raw" for a type the engine does not interpret).
const char* FieldTypeText(const FieldInfo& field);
// Whether a field holds a memo block reference (M, and the binary memos G P W, and dBase's
// 10-byte B).
bool IsMemoField(const FieldInfo& field);

}  // namespace xb

#endif  // VELLORIA_ENGINE_DBF_LAYOUT_H_
