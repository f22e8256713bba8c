// TXBaseTable, writing side: PrepareEdit with its lock, StoreFieldValue, WriteRecord with
// EncodeRecord, Cancel, the insert steps, AddRecord and DeleteRecord.
#include <cstdio>
#include <cstring>

#include "xbase/xb_engine.h"
#include "xbase/xbase_table_internal.h"

namespace velloria::xbase {
namespace {

constexpr const char* kOutOfBounds = "Translate error. Value out of bounds";

bool IsWriteState(TDataSetState state) {
  return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert ||
         state == TDataSetState::dsSetKey;
}

template <class T>
T SlotValue(const unsigned char* slot) {
  T value{};
  std::memcpy(&value, slot + 1, sizeof value);
  return value;
}

}  // namespace

int TXBaseTable::DataFieldCount() {
  int count = 0;
  for (const auto& field : FieldList()) count += field->FieldNo() > 0 ? 1 : 0;
  return count;
}

// ---- Storing values into the active buffer

void TXBaseTable::SetFieldData(TField& field, const void* source) {
  if (!TDataSet::Active()) return;
  int offset = m_slotsSize + field.Offset();
  if (field.FieldNo() > 0) {
    if (!IsWriteState(State())) {
      RaiseTableError("Data set must be in Edit or Insert mode to update");
    }
    field.Validate(source);
    offset = m_fieldInfos[field.FieldNo() - 1].slotOffset;
  }
  TXbRecordBuffer& buffer = State() == TDataSetState::dsCalcFields
                                ? *static_cast<TXbRecordBuffer*>(CalcBuffer())
                                : ActiveRecordBuffer();
  unsigned char* slot = buffer.slots.data() + offset;
  slot[0] = source != nullptr ? 1 : 0;
  if (source != nullptr) {
    std::memcpy(slot + 1, source, field.DataSize());
  } else {
    std::memset(slot + 1, 0, field.DataSize());
  }
  if (field.FieldNo() > 0) buffer.assigned[field.FieldNo()] = true;
  TDataSetState state = State();
  if (state != TDataSetState::dsCalcFields && state != TDataSetState::dsFilter &&
      state != TDataSetState::dsNewValue) {
    FieldChanged(field);
  }
}

void TXBaseTable::SetBlobData(TField& field, const std::string& data) {
  if (!TDataSet::Active() || field.FieldNo() <= 0) return;
  if (!IsWriteState(State())) RaiseTableError("Data set must be in Edit or Insert mode to update");
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  const TFieldInfo& info = m_fieldInfos[field.FieldNo() - 1];
  TXbBlobSlot& blob = buffer.blobs[info.blobIndex];
  blob.data = data;
  blob.loaded = true;
  blob.modified = true;
  buffer.slots[info.slotOffset] = data.empty() ? 0 : 1;
  buffer.assigned[field.FieldNo()] = true;
  FieldChanged(field);
}

// ---- Edit

void TXBaseTable::DoBeforeEdit() {
  TDataSet::DoBeforeEdit();
  if (m_workArea <= 0) return;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  std::int32_t recNo = ActiveRecordBuffer().recNo;
  m_cachedRecNo = recNo;
  if (xb.xb_Rlock(recNo) == 0) {
    RaiseIfRefusedAsReadOnly();
    RaiseTableError("Record Lock Failure. May be locked by another user or task.");
  }
  if (Copy(xb.xb_Alias(m_workArea)).empty()) return;
  if (recNo == -1) return;
  // The edit starts from the record as stored now that it is locked.
  xb.xb_Go(recNo);
  xb.xb_GetRecord(m_rawRecord.data());
  DecodeRecord(ActiveRecordBuffer());
  m_editImage = m_rawRecord;
  m_editRecNo = recNo;
}

void TXBaseTable::Cancel() {
  TDataSet::Cancel();
  if (m_workArea <= 0) return;
  Xb().xb_Select(m_workArea);
  Xb().xb_Unlock(0);
  m_tableLocked = false;
}

bool TXBaseTable::LockTable() {
  if (m_workArea <= 0) return false;
  Xb().xb_Select(m_workArea);
  m_tableLocked = Xb().xb_Flock() != 0;
  if (!m_tableLocked) RaiseIfRefusedAsReadOnly();
  return m_tableLocked;
}

// A table the engine opened read-only (damage, rights, mount) refuses a lock with its
// reason, which is no other user's lock and no wait mends.
void TXBaseTable::RaiseIfRefusedAsReadOnly() {
  const TXbEntryPoints& xb = Xb();
  if (xb.xb_LastErrorCode != nullptr && xb.xb_LastErrorText != nullptr &&
      xb.xb_LastErrorCode() == XB_ERR_READ_ONLY) {
    RaiseTableError(Copy(xb.xb_LastErrorText()));
  }
}

void TXBaseTable::UnlockTable() {
  m_tableLocked = false;
  if (m_workArea <= 0) return;
  Xb().xb_Select(m_workArea);
  Xb().xb_Unlock(0);
}

// ---- Encoding

void TXBaseTable::RaiseUnstorable(const TField& field, const std::string& what) {
  throw EXBaseError(std::string(kOutOfBounds) + ": field " + field.FieldName() + " cannot hold " +
                    what);
}

std::string TXBaseTable::EncodeText(const TField& field, const std::string& text) const {
  std::string out, bad;
  if (!FromUtf8Exactly(text, m_codePage, out, bad)) {
    RaiseUnstorable(field, bad == "invalid UTF-8" ? "invalid UTF-8 text"
                                                  : "\"" + bad + "\" in the table's code page");
  }
  return out;
}

std::string TXBaseTable::EncodeDate(const TField& field, std::int32_t day) const {
  if (day < 1) return std::string(8, ' ');
  TCivilDate date = DecodeDayNumber(day);
  int year = date.year;
  if (year < 100) {
    // Two-digit years fall in the hundred years that start at the epoch.
    year += m_epoch / 100 * 100;
    if (year < m_epoch) {
      year += 100;
    } else if (year > m_epoch + 100) {
      year -= 100;
    }
  }
  if (year > 9999) RaiseUnstorable(field, "a date after 9999-12-31");
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", year, date.month, date.day);
  return std::string(text, 8);
}

std::string TXBaseTable::EncodeField(const TField& field, const TFieldInfo& info,
                                     const TXbRecordBuffer& buffer) const {
  const unsigned char* slot = buffer.slots.data() + info.slotOffset;
  const std::string blanks(info.width, ' ');
  bool present = slot[0] != 0;
  std::string text;
  switch (field.DataType()) {
    case TFieldType::ftString:
      if (!present) return blanks;
      text = EncodeText(field, reinterpret_cast<const char*>(slot + 1)).substr(0, info.width);
      return text + std::string(info.width - text.size(), ' ');
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger: {
      if (!present) return blanks;
      std::int64_t value = field.DataType() == TFieldType::ftSmallint
                               ? SlotValue<std::int16_t>(slot)
                               : SlotValue<std::int32_t>(slot);
      text = std::to_string(value);
      break;
    }
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      if (!present) return blanks;
      text = FormatFixed(SlotValue<double>(slot), info.decimals);
      break;
    case TFieldType::ftBoolean:
      text = std::string(m_rawRecord.data() + info.rawOffset, info.width);
      text[0] = !present ? ' ' : (SlotValue<std::int16_t>(slot) != 0 ? 'T' : 'F');
      return text;
    case TFieldType::ftDate:
      text = present ? EncodeDate(field, SlotValue<std::int32_t>(slot)) : std::string(8, ' ');
      return (text + blanks).substr(0, info.width);
    case TFieldType::ftMemo:
    case TFieldType::ftBlob:
      return (buffer.blobs[info.blobIndex].reference + blanks).substr(0, info.width);
    default:
      return std::string(m_rawRecord.data() + info.rawOffset, info.width);
  }
  // Numbers: right-justified; a value wider than its field is refused, never cut.
  if (static_cast<int>(text.size()) > info.width) throw EXBaseError(kOutOfBounds);
  return std::string(info.width - text.size(), ' ') + text;
}

void TXBaseTable::BuildImage(TXbRecordBuffer& buffer, bool keepUnassigned) {
  const TXbEntryPoints& xb = Xb();
  bool inserting = State() == TDataSetState::dsInsert;
  if (inserting) {
    std::fill(m_rawRecord.begin(), m_rawRecord.end(), ' ');
  } else if (keepUnassigned && m_editRecNo == buffer.recNo &&
             m_editImage.size() == m_rawRecord.size()) {
    m_rawRecord = m_editImage;
  } else if (keepUnassigned || DataFieldCount() != m_fieldCount) {
    xb.xb_GetRecord(m_rawRecord.data());
  }
  // Every field is encoded before any byte changes, so a refused value changes nothing.
  std::vector<std::pair<const TFieldInfo*, std::string>> encoded;
  for (const auto& field : FieldList()) {
    if (field->FieldNo() <= 0) continue;
    const TFieldInfo& info = m_fieldInfos[field->FieldNo() - 1];
    try {
      // Memo text is written after the record, so it is converted before the record is.
      if (field->DataType() == TFieldType::ftMemo && buffer.blobs[info.blobIndex].modified) {
        TXbBlobSlot& blob = buffer.blobs[info.blobIndex];
        blob.encoded = EncodeText(*field, blob.data);
      }
      if (keepUnassigned && !buffer.assigned[field->FieldNo()]) continue;
      encoded.emplace_back(&info, EncodeField(*field, info, buffer));
    } catch (const EXBaseError& error) {
      RaiseTableError(error.what());
    }
  }
  for (const auto& [info, bytes] : encoded) {
    std::memcpy(m_rawRecord.data() + info->rawOffset, bytes.data(), info->width);
  }
}

// ---- Writing

void TXBaseTable::AppendBlankRecord() {
  const TXbEntryPoints& xb = Xb();
  m_countStale = true;
  if (xb.xb_AppendBlank() == 0) {
    RaiseTableError("Unable to append a record to table: " + FullFileName());
  }
  m_cachedRecNo = xb.xb_RecNo();
  m_rawRecordCount = xb.xb_RecCount();
}

void TXBaseTable::StoreRecordPosition(TXbRecordBuffer& buffer) {
  const TXbEntryPoints& xb = Xb();
  buffer.flag = xb.xb_Eof() != 0 ? TBookmarkFlag::bfEOF : TBookmarkFlag::bfCurrent;
  buffer.recNo = m_cachedRecNo = xb.xb_RecNo();
}

void TXBaseTable::WriteBlobs(TXbRecordBuffer& buffer) {
  const TXbEntryPoints& xb = Xb();
  for (const auto& field : FieldList()) {
    if (field->FieldNo() <= 0 || !field->IsBlob()) continue;
    TXbBlobSlot& blob = buffer.blobs[m_fieldInfos[field->FieldNo() - 1].blobIndex];
    if (!blob.modified) continue;
    const char* name = field->FieldName().c_str();
    if (field->DataType() == TFieldType::ftMemo) {
      xb.xb_Replace(name, XB_REPLACE_MEMO, blob.encoded.c_str());
      blob.encoded.clear();
    } else {
      auto length = static_cast<std::uint32_t>(blob.data.size());
      if (xb.xb_PutBlob(name, blob.data.data(), length) != static_cast<std::int32_t>(length)) {
        RaiseTableError("Blob Write Error");
      }
    }
    blob.modified = false;
  }
}

void TXBaseTable::InternalPost() {
  if (m_workArea <= 0) return;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  bool inserting = State() == TDataSetState::dsInsert;
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  BuildImage(buffer, State() == TDataSetState::dsEdit);
  if (inserting) AppendBlankRecord();
  if (inserting) {
    m_rawRecord[0] = ' ';
  } else if (xb.xb_Deleted() != 0) {
    m_rawRecord[0] = '*';
  }
  if (xb.xb_PutRecord(m_rawRecord.data()) == 0) {
    RaiseTableError("Unable to write the record to table: " + FullFileName());
  }
  WriteBlobs(buffer);
  xb.xb_Commit();
  xb.xb_Unlock(m_tableLocked ? xb.xb_RecNo() : 0);
  StoreRecordPosition(buffer);
  m_insertReturnRecNo = 0;
  m_editImage.clear();
}

void TXBaseTable::InternalAddRecord(TRecordBuffer& target, bool /*append*/) {
  if (m_readOnly) RaiseTableError("Cannot modify a read-only data set");
  if (m_workArea <= 0) return;
  auto& buffer = static_cast<TXbRecordBuffer&>(target);
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  BuildImage(buffer, false);
  AppendBlankRecord();
  m_rawRecord[0] = ' ';
  if (xb.xb_PutRecord(m_rawRecord.data()) == 0) {
    RaiseTableError("Unable to write the record to table: " + FullFileName());
  }
  WriteBlobs(buffer);
  xb.xb_Commit();
  StoreRecordPosition(ActiveRecordBuffer());
}

// ---- Insert and cancel steps

void TXBaseTable::DoBeforeInsert() {
  TDataSet::DoBeforeInsert();
  if (m_workArea <= 0) return;
  Xb().xb_Select(m_workArea);
  m_insertReturnRecNo = IsEmpty() ? 0 : ActiveRecordBuffer().recNo;
}

void TXBaseTable::DoAfterInsert() {
  if (State() == TDataSetState::dsInsert) {
    if (m_workArea > 0) Xb().xb_Select(m_workArea);
    TXbRecordBuffer& buffer = ActiveRecordBuffer();
    buffer.flag = TBookmarkFlag::bfEOF;
    buffer.recNo = -1;
  }
  TDataSet::DoAfterInsert();
}

void TXBaseTable::DoAfterCancel() {
  if (m_workArea > 0) Xb().xb_Select(m_workArea);
  if (m_insertReturnRecNo > 0) {
    TXbRecordBuffer& buffer = ActiveRecordBuffer();
    buffer.flag = TBookmarkFlag::bfCurrent;
    buffer.recNo = m_insertReturnRecNo;
    m_insertReturnRecNo = 0;
    Resync(false, false);
  }
  m_editImage.clear();
  TDataSet::DoAfterCancel();
}

void TXBaseTable::DoAfterScroll() {
  if (m_workArea > 0 && m_cursorOpen) UpdateCursorPos();
  TDataSet::DoAfterScroll();
}

// ---- Delete

void TXBaseTable::InternalDelete() {
  if (m_readOnly) RaiseTableError("Cannot modify a read-only data set");
  if (IsEmpty()) RaiseTableError("Cannot perform this operation on an empty table");
  if (m_workArea <= 0) return;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  InternalSetToRecord(ActiveRecordBuffer());
  bool deletedHidden = UpperAscii(Copy(xb.xb_IndexCondition())).find("DELETED()") !=
                          std::string::npos ||
                      xb.xb_SysProp(XB_PROP_GET_DELETED, 0) != 0;
  if (deletedHidden) {
    // The record after the deleted one becomes current, or the last when none follows.
    std::int32_t deleted = xb.xb_RecNo();
    xb.xb_Skip(1);
    std::int32_t next = xb.xb_Eof() != 0 ? -1 : xb.xb_RecNo();
    xb.xb_Go(deleted);
    xb.xb_Delete();
    if (next == -1) {
      xb.xb_GoBottom();
    } else {
      xb.xb_Go(next);
    }
  } else {
    xb.xb_Delete();
  }
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.flag = xb.xb_Eof() != 0 ? TBookmarkFlag::bfEOF : TBookmarkFlag::bfCurrent;
  buffer.recNo = xb.xb_RecNo();
  m_countStale = true;
}

}  // namespace velloria::xbase
