// TDataSet: the record-buffer window and the framework sequences around the hooks.
#include "dataset/dataset.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "dataset/data_source.h"
#include "dataset/scope_guard.h"

namespace velloria {
namespace {

bool IsWriteState(TDataSetState state) {
  return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert ||
         state == TDataSetState::dsSetKey;
}

std::string TrimBlanks(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

}  // namespace

// ---- Variants

bool VariantIsNull(const TVariant& value) { return std::holds_alternative<std::monostate>(value); }

std::string VariantToString(const TVariant& value) {
  if (auto* text = std::get_if<std::string>(&value)) return *text;
  if (auto* flag = std::get_if<bool>(&value)) return *flag ? "True" : "False";
  if (auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  if (auto* real = std::get_if<double>(&value)) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, *real);
    return std::string(buffer, result.ptr);
  }
  if (auto* date = std::get_if<TDateValue>(&value)) {
    return FormatDate(date->day, DatasetFormatSettings().shortDateFormat);
  }
  return {};
}

double VariantToFloat(const TVariant& value) {
  if (auto* flag = std::get_if<bool>(&value)) return *flag ? -1 : 0;
  if (auto* number = std::get_if<std::int32_t>(&value)) return *number;
  if (auto* real = std::get_if<double>(&value)) return *real;
  if (auto* date = std::get_if<TDateValue>(&value)) return date->day;
  if (auto* text = std::get_if<std::string>(&value)) {
    double parsed = 0;
    if (ParseDecimal(TrimBlanks(*text), parsed)) return parsed;
  }
  throw EDatabaseError("Could not convert variant of type (" + VariantToString(value) +
                       ") into type (Double)");
}

bool VariantToBoolean(const TVariant& value) {
  if (auto* flag = std::get_if<bool>(&value)) return *flag;
  if (auto* text = std::get_if<std::string>(&value)) {
    if (strcasecmp(text->c_str(), "true") == 0) return true;
    if (strcasecmp(text->c_str(), "false") == 0) return false;
  }
  if (std::holds_alternative<std::int32_t>(value) || std::holds_alternative<double>(value)) {
    return VariantToFloat(value) != 0;
  }
  throw EDatabaseError("Could not convert variant of type (" + VariantToString(value) +
                       ") into type (Boolean)");
}

// ---- Life

TDataSet::TDataSet(std::string name) : m_name(std::move(name)) {}

TDataSet::~TDataSet() {
  std::vector<TDataSource*> sources = m_sources;
  for (TDataSource* source : sources) source->SetDataSet(nullptr);
}

void TDataSet::Fire(const TDataSetNotifyEvent& event, TDataSet& self) {
  if (event) event(self);
}

void TDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TDataSet::SetActive(bool value) {
  if (value == Active()) return;
  if (value) {
    Fire(BeforeOpen, *this);
    OpenCursor();
    Fire(AfterOpen, *this);
    if (!IsEmpty()) DoAfterScroll();
  } else {
    Fire(BeforeClose, *this);
    SetState(TDataSetState::dsInactive);
    CloseCursor();
    Fire(AfterClose, *this);
  }
}

void TDataSet::OpenCursor() {
  {
    auto closeOnFailure = OnScopeFailure([this] {
      m_state = TDataSetState::dsInactive;
      CloseCursor();
    });
    InternalOpen();
    m_state = TDataSetState::dsBrowse;
    m_bof = true;
    m_eof = false;
    m_modified = false;
    UpdateBufferCount();
    m_eof = IsEmpty();  // no record to read: at both ends
  }
  DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::CloseCursor() {
  auto forgetBuffers = OnScopeExit([this] {
    m_buffers.clear();
    m_bufferCount = 0;
    m_recordCount = 0;
    m_activeRecord = 0;
    m_currentRecord = -1;
    m_bof = m_eof = false;
  });
  InternalClose();
}

// ---- Buffers

void TDataSet::UpdateBufferCount() {
  if (m_state == TDataSetState::dsInactive) return;
  int count = 1;
  for (TDataSource* source : m_sources) {
    for (TDataLink* link : source->DataLinks()) count = std::max(count, link->BufferCount());
  }
  SetBufferCount(count);
}

void TDataSet::SetBufferCount(int value) {
  if (value == m_bufferCount && !m_buffers.empty()) return;
  if (m_recordCount > value) {
    // Keep the active record inside the smaller window: drop records from the front.
    int drop = std::max(0, m_activeRecord - value + 1);
    std::rotate(m_buffers.begin(), m_buffers.begin() + drop, m_buffers.begin() + m_recordCount);
    m_activeRecord -= drop;
    m_currentRecord = m_currentRecord - drop;
    m_recordCount = std::min(m_recordCount - drop, value);
    if (m_currentRecord < 0 || m_currentRecord >= m_recordCount) m_currentRecord = -1;
  }
  // Every buffer beyond m_recordCount is free, so resizing loses no record.
  size_t wanted = static_cast<size_t>(value) + 1;
  m_buffers.resize(std::min(m_buffers.size(), wanted));
  while (m_buffers.size() < wanted) m_buffers.push_back(AllocRecordBuffer());
  m_bufferCount = value;
  GetNextRecords();
  if (m_recordCount > 0) GetPriorRecords();
}

void TDataSet::ClearBuffers() {
  m_recordCount = 0;
  m_activeRecord = 0;
  m_currentRecord = -1;
  m_bof = m_eof = true;
}

void TDataSet::ActivateBuffers() {
  m_recordCount = 1;
  m_activeRecord = 0;
  m_currentRecord = 0;
  m_bof = m_eof = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  auto first = m_buffers.begin();
  if (from < to) {
    std::rotate(first + from, first + from + 1, first + to + 1);
  } else {
    std::rotate(first + to, first + from, first + from + 1);
  }
}

TGetResult TDataSet::FetchInto(TRecordBuffer& buffer, TGetMode mode, bool doCheck) {
  ++m_fetches;
  return GetRecord(buffer, mode, doCheck);
}

void TDataSet::SetCurrentRecord(int index) {
  if (m_currentRecord == index) return;
  TRecordBuffer& buffer = *m_buffers.at(index);
  switch (GetBookmarkFlag(buffer)) {
    case TBookmarkFlag::bfCurrent:
      InternalSetToRecord(buffer);
      break;
    case TBookmarkFlag::bfBOF:
      InternalFirst();
      break;
    case TBookmarkFlag::bfEOF:
      InternalLast();
      break;
    default:
      break;
  }
  m_currentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (m_recordCount > 0) SetCurrentRecord(m_activeRecord);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = TGetMode::gmNext;
  if (m_recordCount > 0) {
    SetCurrentRecord(m_recordCount - 1);
    if (m_state == TDataSetState::dsInsert && m_currentRecord == m_activeRecord &&
        GetBookmarkFlag(ActiveBuffer()) == TBookmarkFlag::bfCurrent) {
      mode = TGetMode::gmCurrent;
    }
  }
  if (FetchInto(*m_buffers[m_recordCount], mode, true) != TGetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  if (m_recordCount == 0) {
    ActivateBuffers();
  } else if (m_recordCount < m_bufferCount) {
    ++m_recordCount;
  } else {
    MoveBuffer(0, m_recordCount);
  }
  m_currentRecord = m_recordCount - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (m_recordCount > 0) SetCurrentRecord(0);
  if (FetchInto(*m_buffers[m_recordCount], TGetMode::gmPrior, true) != TGetResult::grOK) {
    CursorPosChanged();
    return false;
  }
  if (m_recordCount == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(m_recordCount, 0);
    if (m_recordCount < m_bufferCount) {
      ++m_recordCount;
      ++m_activeRecord;
    }
  }
  m_currentRecord = 0;
  return true;
}

void TDataSet::GetNextRecords() {
  while (m_recordCount < m_bufferCount && GetNextRecord()) {
  }
}

void TDataSet::GetPriorRecords() {
  while (m_recordCount < m_bufferCount && GetPriorRecord()) {
  }
}

void TDataSet::Resync(bool exact, bool center) {
  TRecordBuffer& spare = *m_buffers[m_recordCount];
  if (exact) {
    CursorPosChanged();
    if (FetchInto(spare, TGetMode::gmCurrent, true) != TGetResult::grOK) {
      throw EDatabaseError("Record not found");
    }
  } else if (FetchInto(spare, TGetMode::gmCurrent, false) != TGetResult::grOK &&
             FetchInto(spare, TGetMode::gmNext, false) != TGetResult::grOK &&
             FetchInto(spare, TGetMode::gmPrior, false) != TGetResult::grOK) {
    ClearBuffers();
    DataEvent(TDataEvent::deDataSetChange);
    return;
  }
  int count = center ? (m_bufferCount - 1) / 2 : m_activeRecord;
  MoveBuffer(m_recordCount, 0);
  ActivateBuffers();
  while (count > 0 && GetPriorRecord()) --count;
  GetNextRecords();
  GetPriorRecords();
  DataEvent(TDataEvent::deDataSetChange);
}

void TDataSet::InitRecord(TRecordBuffer& buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfInserted);
}

// ---- Navigation

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  {
    auto atFirst = OnScopeExit([this] {
      m_bof = true;
      DataEvent(TDataEvent::deDataSetChange);
    });
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  }
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  {
    auto atLast = OnScopeExit([this] {
      m_eof = true;
      DataEvent(TDataEvent::deDataSetChange);
    });
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  }
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if (!((distance > 0 && !m_eof) || (distance < 0 && !m_bof))) return 0;
  m_bof = m_eof = false;
  int oldRecordCount = m_recordCount;
  int scrollCount = 0;
  {
    auto notify = OnScopeExit([&] {
      if (m_recordCount != oldRecordCount) {
        DataEvent(TDataEvent::deDataSetChange);
      } else {
        DataEvent(TDataEvent::deDataSetScroll, scrollCount);
      }
    });
    for (; distance > 0; --distance, ++result) {
      if (m_activeRecord < m_recordCount - 1) {
        ++m_activeRecord;
        continue;
      }
      int shift = m_recordCount < m_bufferCount ? 0 : 1;
      if (!GetNextRecord()) {
        m_eof = true;
        break;
      }
      scrollCount -= shift;
      if (shift == 0) ++m_activeRecord;
    }
    for (; distance < 0; ++distance, --result) {
      if (m_activeRecord > 0) {
        --m_activeRecord;
        continue;
      }
      int shift = m_recordCount < m_bufferCount ? 0 : 1;
      if (!GetPriorRecord()) {
        m_bof = true;
        break;
      }
      scrollCount += shift;
      if (shift == 0) m_activeRecord = 0;
    }
  }
  DoAfterScroll();
  return result;
}

// ---- Editing

void TDataSet::CheckCanModifyOrRaise() const {
  if (!CanModify()) throw EDatabaseError("Cannot modify a read-only dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::deCheckBrowseMode);
  switch (m_state) {
    case TDataSetState::dsEdit:
    case TDataSetState::dsInsert:
      UpdateRecord();
      if (m_modified) {
        Post();
      } else {
        Cancel();
      }
      break;
    case TDataSetState::dsSetKey:
      SetState(TDataSetState::dsBrowse);
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsWriteState(m_state)) throw EDatabaseError("Dataset not in edit or insert mode");
  DataEvent(TDataEvent::deUpdateRecord);
}

void TDataSet::Edit() {
  if (m_state == TDataSetState::dsEdit || m_state == TDataSetState::dsInsert) return;
  if (m_recordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModifyOrRaise();
  DoBeforeEdit();
  InternalEdit();
  GetCalcFields(ActiveBuffer());
  SetState(TDataSetState::dsEdit);
  DataEvent(TDataEvent::deRecordChange);
  Fire(AfterEdit, *this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModifyOrRaise();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(TDataSetState::dsInsert);
  {
    auto backToBrowse = OnScopeFailure([this] {
      UpdateCursorPos();
      SetState(TDataSetState::dsBrowse);
      Resync(false, false);
    });
    DoOnNewRecord();
  }
  m_modified = false;
  DataEvent(TDataEvent::deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark oldCurrent = GetBookmark();
  MoveBuffer(m_recordCount, m_activeRecord);
  TRecordBuffer& buffer = ActiveBuffer();
  InitRecord(buffer);
  if (m_recordCount == 0) {
    SetBookmarkFlag(buffer, TBookmarkFlag::bfBOF);
  } else {
    SetBookmarkData(buffer, oldCurrent);
  }
  if (m_recordCount < m_bufferCount) ++m_recordCount;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer& buffer = *m_buffers[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, TBookmarkFlag::bfEOF);
  m_recordCount = 1;
  m_bof = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforePost, *this);
  UpdateCursorPos();
  InternalPost();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync(false, false);
  Fire(AfterPost, *this);
}

void TDataSet::Cancel() {
  if (m_state != TDataSetState::dsEdit && m_state != TDataSetState::dsInsert) return;
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeCancel, *this);
  bool inserting = m_state == TDataSetState::dsInsert;
  if (inserting) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync(false, false);
  DoAfterCancel();
  if (inserting) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (m_state == TDataSetState::dsInsert || m_state == TDataSetState::dsSetKey) {
    Cancel();
    return;
  }
  if (m_recordCount == 0) throw EDatabaseError("Cannot perform this operation on an empty dataset");
  DataEvent(TDataEvent::deCheckBrowseMode);
  Fire(BeforeDelete, *this);
  DoBeforeScroll();
  UpdateCursorPos();
  InternalDelete();
  FreeFieldBuffers();
  SetState(TDataSetState::dsBrowse);
  Resync(false, false);
  Fire(AfterDelete, *this);
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  Fire(BeforeRefresh, *this);
  UpdateCursorPos();
  InternalRefresh();
  Resync(false, false);
  Fire(AfterRefresh, *this);
}

void TDataSet::AppendRecord(const std::vector<TVariant>& values) {
  BeginInsertAppend();
  {
    DisableControls();
    auto backToBrowse = OnScopeExit([this] {
      m_state = TDataSetState::dsBrowse;
      m_modified = false;
      EnableControls();
    });
    MoveBuffer(m_recordCount, m_activeRecord);
    auto dropRecord = OnScopeFailure([this] { MoveBuffer(m_activeRecord, m_recordCount); });
    TRecordBuffer& buffer = ActiveBuffer();
    InitRecord(buffer);
    m_state = TDataSetState::dsInsert;
    DoOnNewRecord();
    DoAfterInsert();
    for (size_t i = 0; i < values.size() && i < m_fields.size(); ++i) {
      TField& field = *m_fields[i];
      const TVariant& value = values[i];
      if (VariantIsNull(value)) {
        field.Clear();
      } else if (field.DataType() == TFieldType::ftBoolean) {
        field.SetAsBoolean(VariantToBoolean(value));
      } else if (auto* date = std::get_if<TDateValue>(&value)) {
        field.SetAsDate(date->day);
      } else if (std::holds_alternative<std::string>(value)) {
        field.SetAsString(std::get<std::string>(value));
      } else {
        field.SetAsFloat(VariantToFloat(value));
      }
    }
    Fire(BeforePost, *this);
    InternalAddRecord(buffer, true);
  }
  Resync(false, false);
  Fire(AfterPost, *this);
  DoAfterScroll();
}

// ---- Bookmarks

TBookmark TDataSet::GetBookmark() const {
  if (!Active() || m_recordCount == 0) return {};
  if (GetBookmarkFlag(ActiveBuffer()) != TBookmarkFlag::bfCurrent) return {};
  return GetBookmarkData(ActiveBuffer());
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  Resync(true, true);
  DoAfterScroll();
}

int TDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.empty() || b.empty()) return 2;
  return a < b ? -1 : (a == b ? 0 : 1);
}

// ---- Fields

TField* TDataSet::FindField(const std::string& fieldName) const {
  for (const auto& field : m_fields) {
    if (strcasecmp(field->FieldName().c_str(), fieldName.c_str()) == 0) return field.get();
  }
  return nullptr;
}

TField& TDataSet::FieldByName(const std::string& fieldName) const {
  TField* field = FindField(fieldName);
  if (field == nullptr) throw EDatabaseError("Field '" + fieldName + "' not found");
  return *field;
}

std::vector<TField*> TDataSet::GetFieldList(const std::string& fieldNames) const {
  std::vector<TField*> list;
  size_t start = 0;
  while (start <= fieldNames.size()) {
    size_t end = fieldNames.find(';', start);
    if (end == std::string::npos) end = fieldNames.size();
    std::string name = TrimBlanks(fieldNames.substr(start, end - start));
    if (!name.empty()) list.push_back(&FieldByName(name));
    start = end + 1;
  }
  return list;
}

TField& TDataSet::AddCalculatedField(const std::string& fieldName, TFieldType type, int size) {
  if (Active()) throw EDatabaseError("Cannot perform this operation on an open dataset");
  auto field =
      std::make_unique<TField>(this, fieldName, type, size, 0, TFieldKind::fkCalculated);
  field->SetOffset(m_calcFieldsSize);
  m_calcFieldsSize += 1 + field->DataSize();
  m_fields.push_back(std::move(field));
  return *m_fields.back();
}

void TDataSet::AddDataField(std::unique_ptr<TField> field) {
  auto firstCalculated = std::find_if(m_fields.begin(), m_fields.end(),
                                      [](const auto& f) { return f->Calculated(); });
  m_fields.insert(firstCalculated, std::move(field));
}

void TDataSet::DropDataFields() {
  std::erase_if(m_fields, [](const auto& f) { return !f->Calculated(); });
}

void TDataSet::FieldChanged(TField& field) { DataEvent(TDataEvent::deFieldChange, reinterpret_cast<std::intptr_t>(&field)); }

void TDataSet::GetCalcFields(TRecordBuffer& buffer) {
  if (!HasCalcFields() || !OnCalcFields) return;
  m_calcBuffer = &buffer;
  auto forget = OnScopeExit([this] { m_calcBuffer = nullptr; });
  WithTempState(TDataSetState::dsCalcFields, [&] {
    ClearCalcFields(buffer);
    OnCalcFields(*this);
  });
}

std::string TDataSet::GetBlobData(const TField&) const {
  throw EDatabaseError("Capability not supported");
}

void TDataSet::SetBlobData(TField&, const std::string&) {
  throw EDatabaseError("Capability not supported");
}

bool TDataSet::Locate(const std::string&, const TVariant&, TLocateOptions) {
  throw EDatabaseError("Capability not supported");
}

// ---- State and notices

void TDataSet::SetState(TDataSetState value) {
  if (m_state == value) return;
  m_state = value;
  m_modified = false;
  DataEvent(TDataEvent::deUpdateState);
}

void TDataSet::WithTempState(TDataSetState value, const std::function<void()>& work) {
  auto restore = OnScopeExit([this, saved = m_state] { m_state = saved; });
  m_state = value;
  work();
}

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deFieldChange) {
    auto* field = reinterpret_cast<TField*>(info);
    if (field != nullptr && !field->Calculated()) m_modified = true;
    if (HasCalcFields() && m_state != TDataSetState::dsCalcFields && m_recordCount > 0) {
      GetCalcFields(ActiveBuffer());
    }
  }
  bool alwaysSent =
      event == TDataEvent::deUpdateRecord || event == TDataEvent::deCheckBrowseMode;
  if (ControlsDisabled() && !alwaysSent) {
    m_pendingChange = true;
    return;
  }
  NotifyLinks(event, info);
}

void TDataSet::NotifyLinks(TDataEvent event, std::intptr_t info) {
  std::vector<TDataSource*> sources = m_sources;
  for (TDataSource* source : sources) source->DataEvent(event, info);
}

void TDataSet::EnableControls() {
  if (m_disableCount == 0 || --m_disableCount > 0) return;
  if (!m_pendingChange) return;
  m_pendingChange = false;
  NotifyLinks(TDataEvent::deUpdateState, 0);
  if (Active()) NotifyLinks(TDataEvent::deDataSetChange, 0);
}

void TDataSet::AttachDataSource(TDataSource* source) {
  if (std::find(m_sources.begin(), m_sources.end(), source) == m_sources.end()) {
    m_sources.push_back(source);
  }
}

void TDataSet::DetachDataSource(TDataSource* source) { std::erase(m_sources, source); }

// ---- Event steps

void TDataSet::DoBeforeEdit() { Fire(BeforeEdit, *this); }
void TDataSet::DoBeforeInsert() { Fire(BeforeInsert, *this); }
void TDataSet::DoAfterInsert() { Fire(AfterInsert, *this); }
void TDataSet::DoOnNewRecord() { Fire(OnNewRecord, *this); }
void TDataSet::DoAfterCancel() { Fire(AfterCancel, *this); }
void TDataSet::DoBeforeScroll() { Fire(BeforeScroll, *this); }
void TDataSet::DoAfterScroll() { Fire(AfterScroll, *this); }

}  // namespace velloria
