// Private to the TXBaseTable sources: the record buffer layout and small helpers shared by
// the open, read, write and query parts of the table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/scope_guard.h"
#include "xbase/xbase_table.h"

namespace velloria::xbase {

// A memo or blob field of one record buffer.
struct TXbBlobSlot {
  std::string data;             // contents (UTF-8 for memos) once loaded or assigned
  bool loaded = false;
  std::string reference = std::string(10, ' ');  // the 10 bytes the record image holds
  bool modified = false;        // assigned since read: written at Post
  std::string encoded;          // a modified memo in the table's code page, from BuildImage
};

// One record buffer: field slots (presence byte + value) then the calculated-field area,
// the blob slots, which data fields were assigned since the record was read, and the
// record's position.
class TXBaseTable::TXbRecordBuffer : public TRecordBuffer {
 public:
  std::vector<unsigned char> slots;
  std::vector<TXbBlobSlot> blobs;
  std::vector<bool> assigned;  // by field number
  std::vector<bool> offForm;   // by field number: stored otherwise than a write would store it
  std::int32_t recNo = 0;
  TBookmarkFlag flag = TBookmarkFlag::bfCurrent;

  void Reset() {
    std::fill(slots.begin(), slots.end(), 0);
    for (TXbBlobSlot& blob : blobs) blob = TXbBlobSlot{};
    std::fill(assigned.begin(), assigned.end(), false);
    std::fill(offForm.begin(), offForm.end(), false);
    recNo = 0;
  }
};

// A copy of an engine text result (the engine's pointer is valid until its next call).
inline std::string Copy(const char* text) { return text == nullptr ? std::string() : text; }

std::string UpperAscii(std::string text);

}  // namespace velloria::xbase
