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
    RaiseUnlessLockedElsewhere();
    RaiseTableError("Record Lock Failure. May be locked by another user or task.");
  }
  if (Copy(xb.xb_Alias(m_workArea)).empty()) return;
  if (recNo == -1) return;
  // The edit starts from the record as stored now that it is locked.
  Checked(xb.xb_Go(recNo));
  Checked(xb.xb_GetRecord(m_rawRecord.data()));
  DecodeRecord(ActiveRecordBuffer());
  m_editImage = m_rawRecord;
  m_editRecNo = recNo;
}

// The engine neither moves nor releases a lock while it holds a record it could not write:
// the cancel then raises the engine's text with the edit ended, and a cancel once the disk
// takes writes again releases the locks.
void TXBaseTable::Cancel() {
  if (m_workArea > 0) {
    Xb().xb_Select(m_workArea);
    TakeBackRefusedWrite();
  }
  auto unlock = OnScopeExit([this] {
    if (m_workArea <= 0) return;
    Xb().xb_Select(m_workArea);
    m_tableLocked = false;
    Checked(Xb().xb_Unlock(0));
  });
  TDataSet::Cancel();
}

bool TXBaseTable::LockTable() {
  if (m_workArea <= 0) return false;
  Xb().xb_Select(m_workArea);
  m_tableLocked = Xb().xb_Flock() != 0;
  if (!m_tableLocked) RaiseUnlessLockedElsewhere();
  return m_tableLocked;
}

// A table the engine opened read-only (damage, rights, mount) refuses a lock with its
// reason, which is no other user's lock; neither is a file that cannot be read or written.
void TXBaseTable::RaiseUnlessLockedElsewhere() {
  std::int32_t code = EngineFailureCode();
  if (code != XB_OK && code != XB_ERR_LOCKED) RaiseTableError(EngineFailure());
}

void TXBaseTable::UnlockTable() {
  m_tableLocked = false;
  if (m_workArea <= 0) return;
  Xb().xb_Select(m_workArea);
  Checked(Xb().xb_Unlock(0));
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
  if (Checked(xb.xb_AppendBlank()) == 0) {
    RaiseTableError("Unable to append a record to table: " + FullFileName());
  }
  m_cachedRecNo = xb.xb_RecNo();
  m_rawRecordCount = Checked(xb.xb_RecCount());
}

void TXBaseTable::PutPostedImage(bool inserting) {
  const TXbEntryPoints& xb = Xb();
  if (!inserting) {
    if (xb.xb_Deleted() != 0) m_rawRecord[0] = '*';
  } else if (m_unfilledAppend > 0) {
    Checked(xb.xb_Go(m_unfilledAppend));
    m_cachedRecNo = m_unfilledAppend;
  } else {
    AppendBlankRecord();
    m_unfilledAppend = m_cachedRecNo;
  }
  if (inserting) m_rawRecord[0] = ' ';
  Checked(xb.xb_PutRecord(m_rawRecord.data()));
  m_editRefused = !inserting;
}

void TXBaseTable::TakeBackRefusedWrite() {
  const TXbEntryPoints& xb = Xb();
  if (m_editRefused && m_editImage.size() == m_rawRecord.size()) {
    Checked(xb.xb_PutRecord(m_editImage.data()));
    // The window shows the record as stored even while the engine cannot move.
    m_rawRecord = m_editImage;
    DecodeRecord(ActiveRecordBuffer());
  } else if (m_unfilledAppend > 0) {
    // The appended record stays in the file, blank and marked deleted.
    std::string deletedBlank(m_rawRecord.size(), ' ');
    deletedBlank[0] = '*';
    Checked(xb.xb_Go(m_unfilledAppend));
    Checked(xb.xb_PutRecord(deletedBlank.data()));
  }
  m_editRefused = false;
  m_unfilledAppend = 0;
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
      Checked(xb.xb_Replace(name, XB_REPLACE_MEMO, blob.encoded.c_str()));
      blob.encoded.clear();
    } else {
      auto length = static_cast<std::uint32_t>(blob.data.size());
      if (Checked(xb.xb_PutBlob(name, blob.data.data(), length)) !=
          static_cast<std::int32_t>(length)) {
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
  // Without an index order the record reaches the file at the commit: a refused write
  // raises there, with the dataset still editing, to post again or cancel.
  PutPostedImage(inserting);
  WriteBlobs(buffer);
  Checked(xb.xb_Commit());
  m_editRefused = false;
  m_unfilledAppend = 0;
  Checked(xb.xb_Unlock(m_tableLocked ? xb.xb_RecNo() : 0));
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
  {
    // A record added whole leaves nothing to post again: one the engine could not fill is
    // given back at once.
    auto takeBack = OnScopeFailure([this] { TakeBackRefusedWrite(); });
    PutPostedImage(true);
    WriteBlobs(buffer);
    Checked(xb.xb_Commit());
    m_unfilledAppend = 0;
  }
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

void TXBaseTable::DeleteEngineRecord() {
  const TXbEntryPoints& xb = Xb();
  Checked(xb.xb_Delete());
  // A mark the engine could not write is taken back, so that no later move writes it.
  auto unmark = OnScopeFailure([this, &xb] { Checked(xb.xb_Recall()); });
  Checked(xb.xb_Commit());
}

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
    Checked(xb.xb_Skip(1));
    std::int32_t next = xb.xb_Eof() != 0 ? -1 : xb.xb_RecNo();
    Checked(xb.xb_Go(deleted));
    DeleteEngineRecord();
    if (next == -1) {
      Checked(xb.xb_GoBottom());
    } else {
      Checked(xb.xb_Go(next));
    }
  } else {
    DeleteEngineRecord();
  }
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.flag = xb.xb_Eof() != 0 ? TBookmarkFlag::bfEOF : TBookmarkFlag::bfCurrent;
  buffer.recNo = xb.xb_RecNo();
  m_countStale = true;
}

}  // namespace velloria::xbase
