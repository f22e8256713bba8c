// TXBaseTable, reading side: navigation hooks, FetchRecord, DecodeRecord, field values,
// record numbers, counts and bookmarks.
#include <charconv>
#include <cstring>

#include "base/dbf_field.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_table_internal.h"

namespace velloria::xbase {
namespace {

// Only spaces or control characters.
bool IsBlank(const char* raw, int width) {
  for (int i = 0; i < width; ++i) {
    if (static_cast<unsigned char>(raw[i]) > ' ') return false;
  }
  return true;
}

// A small integer field's text as every reader of the table reads it, the fraction dropped;
// 0 when it lies outside the field type's range.
std::int16_t ReadSmallInteger(const char* raw, int width) {
  double value = dbf::ReadNumberText(raw, size_t(width));
  return value > -32769 && value < 32768 ? static_cast<std::int16_t>(value) : 0;
}

// YYYYMMDD as a day number; 0 for month or day "00", non-digits or a date that does not exist.
std::int32_t ReadDate(const char* raw) {
  int parts[3] = {};
  const int lengths[3] = {4, 2, 2};
  const char* pos = raw;
  for (int i = 0; i < 3; ++i) {
    auto [end, ec] = std::from_chars(pos, pos + lengths[i], parts[i]);
    if (ec != std::errc() || end != pos + lengths[i]) return 0;
    pos += lengths[i];
  }
  if (!IsValidCivilDate(parts[0], parts[1], parts[2])) return 0;
  return EncodeDayNumber(parts[0], parts[1], parts[2]);
}

template <class T>
void Put(unsigned char* slot, T value) {
  slot[0] = 1;
  std::memcpy(slot + 1, &value, sizeof value);
}

}  // namespace

// ---- Navigation hooks

void TXBaseTable::InternalFirst() {
  if (m_workArea > 0) {
    if (Copy(Xb().xb_Alias(m_workArea)).empty()) EngineOpen();
    Xb().xb_Select(m_workArea);
    Checked(Xb().xb_GoTop());
  }
  m_atTopPending = true;
  m_atBottomPending = false;
  m_cachedRecNo = 0;
}

void TXBaseTable::InternalLast() {
  if (m_workArea > 0) {
    Xb().xb_Select(m_workArea);
    Checked(Xb().xb_GoBottom());
  }
  m_atBottomPending = true;
  m_atTopPending = false;
}

void TXBaseTable::InternalSetToRecord(TRecordBuffer& buffer) {
  Xb().xb_Select(m_workArea);
  Checked(Xb().xb_Go(static_cast<TXbRecordBuffer&>(buffer).recNo));
}

TGetResult TXBaseTable::MoveForFetch(TGetMode mode, std::int32_t before) {
  const TXbEntryPoints& xb = Xb();
  switch (mode) {
    case TGetMode::gmCurrent: {
      bool bof = xb.xb_Bof() != 0, eof = xb.xb_Eof() != 0;
      if (bof && eof) {
        m_cachedRecNo = xb.xb_RecNo();
        return TGetResult::grEOF;
      }
      if (eof && m_eofAction == TEOFAction::eaMoveLast) {
        Checked(xb.xb_GoBottom());
        eof = xb.xb_Eof() != 0;
      }
      m_cachedRecNo = xb.xb_RecNo();
      return eof && m_eofAction == TEOFAction::eaMoveLast ? TGetResult::grEOF : TGetResult::grOK;
    }
    case TGetMode::gmNext:
      if (m_atTopPending) {
        Checked(xb.xb_GoTop());
      } else {
        Checked(xb.xb_Skip(1));
      }
      m_cachedRecNo = xb.xb_RecNo();
      if (xb.xb_Eof() != 0 || m_cachedRecNo == before) {
        Checked(xb.xb_GoBottom());
        m_cachedRecNo = xb.xb_RecNo();
        return TGetResult::grEOF;
      }
      return TGetResult::grOK;
    case TGetMode::gmPrior:
      if (m_atBottomPending) {
        Checked(xb.xb_GoBottom());
      } else {
        Checked(xb.xb_Skip(-1));
      }
      m_cachedRecNo = xb.xb_RecNo();
      if (xb.xb_Bof() != 0 || m_cachedRecNo == before) {
        Checked(xb.xb_GoTop());
        m_cachedRecNo = xb.xb_RecNo();
        return TGetResult::grBOF;
      }
      return TGetResult::grOK;
  }
  return TGetResult::grError;
}

TGetResult TXBaseTable::GetRecord(TRecordBuffer& target, TGetMode mode, bool /*doCheck*/) {
  auto& buffer = static_cast<TXbRecordBuffer&>(target);
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  // The engine moves now: until the fetch is taken into the window, where the framework
  // records the position again, the next fetch positions it from the records the window
  // holds, also after a move the engine could not make.
  CursorPosChanged();
  for (;;) {
    // Only stepping compares with the record it started from.
    bool pending = m_atTopPending || m_atBottomPending;
    std::int32_t before = pending || mode == TGetMode::gmCurrent ? 0 : xb.xb_RecNo();
    TGetResult result = MoveForFetch(mode, before);
    buffer.Reset();
    if (result == TGetResult::grOK) {
      Checked(xb.xb_GetRecord(m_rawRecord.data()));
      DecodeRecord(buffer);
      buffer.recNo = m_cachedRecNo;
      buffer.flag = TBookmarkFlag::bfCurrent;
      GetCalcFields(buffer);
    }
    m_atTopPending = m_atBottomPending = false;
    if (result != TGetResult::grOK || !Filtered() || !OnFilterRecord || AcceptedByFilter(buffer)) {
      return result;
    }
    // A record the handler rejects: a current fetch ends, next and prior go on.
    if (mode == TGetMode::gmCurrent) return TGetResult::grEOF;
  }
}

bool TXBaseTable::AcceptedByFilter(TXbRecordBuffer& buffer) {
  bool accept = true;
  ReadThroughBuffer(buffer, [&] { OnFilterRecord(*this, accept); });
  return accept;
}

void TXBaseTable::ReadThroughBuffer(TXbRecordBuffer& buffer, const std::function<void()>& work) {
  auto restore = OnScopeExit([this, saved = m_sideBuffer] { m_sideBuffer = saved; });
  m_sideBuffer = &buffer;
  WithTempState(TDataSetState::dsFilter, work);
}

// ---- Decoding

void TXBaseTable::DecodeRecord(TXbRecordBuffer& buffer) {
  std::fill(buffer.offForm.begin(), buffer.offForm.end(), false);
  for (const auto& field : FieldList()) {
    if (field->FieldNo() > 0) DecodeField(*field, m_fieldInfos[field->FieldNo() - 1], buffer);
  }
  std::fill(buffer.assigned.begin(), buffer.assigned.end(), false);
}

void TXBaseTable::DecodeField(const TField& field, const TFieldInfo& info,
                              TXbRecordBuffer& buffer) {
  const char* raw = m_rawRecord.data() + info.rawOffset;
  unsigned char* slot = buffer.slots.data() + info.slotOffset;
  int width = info.width;
  if (m_encrypted && m_password.empty() && !field.IsBlob()) {
    slot[0] = 1;
    std::memset(slot + 1, 0, field.DataSize());
    if (field.DataType() == TFieldType::ftString) std::memset(slot + 1, '*', width);
    return;
  }
  switch (field.DataType()) {
    case TFieldType::ftString: {
      std::string bytes(raw, width);
      bytes.erase(bytes.find_last_not_of(' ') + 1);
      std::string text = ToUtf8(bytes, m_codePage);
      slot[0] = 1;
      std::memset(slot + 1, 0, field.DataSize());
      std::memcpy(slot + 1, text.data(), std::min<size_t>(text.size(), field.DataSize() - 1));
      return;
    }
    case TFieldType::ftSmallint:
      if (!IsBlank(raw, width)) Put(slot, ReadSmallInteger(raw, width));
      return;
    case TFieldType::ftInteger:  // a binary I field: the engine knows its byte order
      Put(slot, static_cast<std::int32_t>(Xb().xb_GetLong(info.name.c_str())));
      return;
    case TFieldType::ftBoolean:
      if (!IsBlank(raw, width)) {
        Put(slot, static_cast<std::int16_t>(dbf::ReadLogicalByte(raw[0]) ? -1 : 0));
        buffer.offForm[field.FieldNo()] = raw[0] != 'T' && raw[0] != 'F';
      }
      return;
    case TFieldType::ftFloat:
      if (!IsBlank(raw, width)) Put(slot, dbf::ReadNumberText(raw, size_t(width)));
      return;
    case TFieldType::ftDate:
      if (width >= 8 && raw[1] != ' ' && raw[1] != '\0') Put(slot, ReadDate(raw));
      return;
    case TFieldType::ftMemo:
    case TFieldType::ftBlob: {
      TXbBlobSlot& blob = buffer.blobs[info.blobIndex];
      blob = TXbBlobSlot{};
      if (State() == TDataSetState::dsInsert && Eof()) return;
      blob.reference.assign(raw, std::min(width, 10));
      blob.reference.resize(10, ' ');
      slot[0] = blob.reference != std::string(10, ' ') ? 1 : 0;
      return;
    }
    default:
      return;
  }
}

// ---- Field values

TXBaseTable::TXbRecordBuffer& TXBaseTable::ActiveRecordBuffer() const {
  return static_cast<TXbRecordBuffer&>(ActiveBuffer());
}

TXBaseTable::TXbRecordBuffer* TXBaseTable::ReadBuffer() const {
  switch (State()) {
    case TDataSetState::dsCalcFields:
      return static_cast<TXbRecordBuffer*>(CalcBuffer());
    case TDataSetState::dsFilter:
      return m_sideBuffer;
    default:
      return IsEmpty() ? nullptr : &ActiveRecordBuffer();
  }
}

bool TXBaseTable::StoredAsWritten(const TField& field) const {
  const TXbRecordBuffer* buffer = m_cursorOpen ? ReadBuffer() : nullptr;
  return buffer == nullptr || field.FieldNo() <= 0 || !buffer->offForm[field.FieldNo()];
}

bool TXBaseTable::GetFieldData(const TField& field, void* dest) const {
  if (!m_cursorOpen) return false;
  const TXbRecordBuffer* buffer = ReadBuffer();
  if (buffer == nullptr) return false;
  int offset = field.FieldNo() > 0 ? m_fieldInfos[field.FieldNo() - 1].slotOffset
                                   : m_slotsSize + field.Offset();
  if (buffer->slots[offset] == 0) return false;
  if (dest != nullptr) std::memcpy(dest, buffer->slots.data() + offset + 1, field.DataSize());
  return true;
}

std::string TXBaseTable::GetBlobData(const TField& field) const {
  TXbRecordBuffer* buffer = m_cursorOpen ? ReadBuffer() : nullptr;
  if (buffer == nullptr || field.FieldNo() <= 0) return {};
  TXbBlobSlot& blob = buffer->blobs[m_fieldInfos[field.FieldNo() - 1].blobIndex];
  if (blob.loaded || blob.reference == std::string(10, ' ') || buffer->recNo <= 0) {
    return blob.data;
  }
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  CursorPosChanged();
  Checked(xb.xb_Go(buffer->recNo));
  const char* name = field.FieldName().c_str();
  if (field.DataType() == TFieldType::ftMemo) {
    blob.data = ToUtf8(Copy(Checked(xb.xb_GetMemo(name))), m_codePage);
  } else {
    blob.data.assign(std::max(0, Checked(xb.xb_GetBlobLength(name))), '\0');
    Checked(xb.xb_GetBlob(name, blob.data.data(), static_cast<std::uint32_t>(blob.data.size())));
  }
  blob.loaded = true;
  return blob.data;
}

// ---- Positions, counts and bookmarks

bool TXBaseTable::Eof() const {
  if (m_workArea > 0) {
    Xb().xb_Select(m_workArea);
    if (Xb().xb_Eof() != 0) return true;
  }
  return TDataSet::Eof();
}

std::int32_t TXBaseTable::RecNo() const {
  if (m_workArea == 0) return 0;
  if (State() == TDataSetState::dsCalcFields && CalcBuffer() != nullptr) {
    return static_cast<TXbRecordBuffer*>(CalcBuffer())->recNo;
  }
  return IsEmpty() ? 0 : ActiveRecordBuffer().recNo;
}

void TXBaseTable::SetRecNo(std::int32_t value) {
  if (m_workArea == 0) return;
  BeginScroll();
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.recNo = value;
  buffer.flag = TBookmarkFlag::bfCurrent;
  ReReadBuffers();
  EndScroll();
}

void TXBaseTable::ReReadBuffers() {
  if (!m_cursorOpen || !TDataSet::Active()) return;
  Resync(false, false);
}

void TXBaseTable::Resync(bool exact, bool center) {
  if (m_cursorOpen && m_workArea > 0) {
    std::int32_t recNo = ActiveRecordBuffer().recNo;
    Xb().xb_Select(m_workArea);
    if (recNo > 0) Checked(Xb().xb_Go(recNo));
  }
  TDataSet::Resync(exact, center);
}

void TXBaseTable::Recount() {
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  m_rawRecordCount = Checked(xb.xb_RecCount());
  switch (m_sequencedCount) {
    case TSequencedCount::scAll:
      m_recordCount = Checked(xb.xb_Count());
      break;
    case TSequencedCount::scFilterOnly: {
      std::string query = EngineQueryText(Filtered() ? Filter() : "");
      m_recordCount = query.empty() || xb.xb_QueryTest(query.c_str()) < 1
                          ? m_rawRecordCount
                          : Checked(xb.xb_QueryRecCount());
      break;
    }
    case TSequencedCount::scRaw:
      m_recordCount = m_rawRecordCount;
      break;
  }
  m_countStale = false;
}

std::int32_t TXBaseTable::RecordCount() {
  if (m_workArea == 0) return 0;
  if (m_countStale || m_recordCount == -1) Recount();
  return m_recordCount;
}

std::int32_t TXBaseTable::RecCount() {
  if (m_workArea == 0) return 0;
  Recount();
  return m_rawRecordCount;
}

void TXBaseTable::InternalGotoBookmark(const TBookmark& bookmark) {
  std::int32_t recNo = 0;
  if (bookmark.size() == sizeof recNo) std::memcpy(&recNo, bookmark.data(), sizeof recNo);
  if (m_workArea <= 0) RaiseTableError("Invalid bookmark");
  Xb().xb_Select(m_workArea);
  if (recNo < 1 || recNo > Checked(Xb().xb_RecCount())) RaiseTableError("Invalid bookmark");
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.recNo = recNo;
  buffer.flag = TBookmarkFlag::bfCurrent;
  Checked(Xb().xb_Go(recNo));
}

}  // namespace velloria::xbase
