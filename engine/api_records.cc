// Entry points on the current table: structure, navigation, records, typed readers, memos,
// commit, pack and zap, and locks.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/api_internal.h"
#include "engine/area_orders.h"
#include "engine/field_codec.h"

using namespace xb;
using namespace xb::api;

namespace {

// The current table and the index of field `name`, or nullptr with the error set. Inlined
// into each typed reader, which runs it at every call.
__attribute__((always_inline)) inline Table* TableAndField(const char* name, int* index) {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return nullptr;
  *index = FieldIndexOf(t, name);
  return *index < 0 ? nullptr : t;
}

Status FieldNumberError(int32_t number) {
  return Status::Error(XB_ERR_ARGUMENT, "Field number " + std::to_string(number) + " is out of range");
}

// The current table and the index of field number `number` (1-based), or nullptr with the
// error set: the readers by number.
inline Table* TableAndFieldNumber(int32_t number, int* index) {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return nullptr;
  if (number < 1 || number > t->FieldCount()) return Check(FieldNumberError(number)), nullptr;
  *index = number - 1;
  return t;
}

int32_t Moved(Table* t, const Status& s) { return Check(s) && !t->eof() ? 1 : 0; }

int32_t ClampToInt32(double v) {
  if (!(v > double(INT32_MIN))) return v < 0 ? INT32_MIN : 0;
  if (v > double(INT32_MAX)) return INT32_MAX;
  return int32_t(std::trunc(v));
}

Status TypeError(const FieldInfo& f, const char* wanted) {
  return Status::Error(XB_ERR_ARGUMENT, "Field " + f.name + " is not " + wanted);
}

// The bytes of numeric field i of t's current record, and the field; false with the error
// set when the field is not numeric.
inline bool NumericFieldBytes(Table* t, int i, const FieldInfo** field, std::string_view* bytes) {
  *field = &t->Field(i);
  if (!IsNumericField(**field)) return Check(TypeError(**field, "numeric")), false;
  *bytes = FieldBytes(t->record(), **field);
  return true;
}

// The value of numeric field `name` of the current record; 0 with the error set when there
// is no such field or it is not numeric.
double FieldNumber(const char* name) {
  int i = 0;
  Table* t = TableAndField(name, &i);
  const FieldInfo* f = nullptr;
  std::string_view bytes;
  return t && NumericFieldBytes(t, i, &f, &bytes) ? DecodeFieldNumber(bytes, *f) : 0;
}

// Field i of t's current record as a 32-bit integer (clamped); whole numbers straight from
// their digits. 0 when t is nullptr (the field's lookup set the error) or the field is not
// numeric.
inline int32_t FieldInteger(Table* t, int i) {
  const FieldInfo* f = nullptr;
  std::string_view bytes;
  if (t == nullptr || !NumericFieldBytes(t, i, &f, &bytes)) return 0;
  int32_t whole = 0;
  if (f->type == 'N' && DecodeWholeNumber(bytes, &whole)) return whole;
  return ClampToInt32(DecodeFieldNumber(bytes, *f));
}

int32_t FieldInteger(const char* name) {
  int i = 0;
  Table* t = TableAndField(name, &i);
  return FieldInteger(t, i);
}

// Field i of t's current record as a logical, 1 or 0; 0 with the error set when it is no
// L field (or t is nullptr, the error set by the field's lookup).
inline int32_t FieldLogical(Table* t, int i) {
  if (t == nullptr) return 0;
  const FieldInfo& f = t->Field(i);
  if (f.type != 'L') return Check(TypeError(f, "logical")), 0;
  return DecodeLogical(FieldBytes(t->record(), f)) ? 1 : 0;
}

// Runs a write of the current record and keeps every open index order's keys right: the
// old keys are taken from the record as stored now.
template <typename Write>
bool WriteKeepingKeys(Table* t, Write write) {
  if (OrdersOf(S().current).orders.empty()) return Check(write());  // no keys to keep
  return Check(t->ReadCurrentFresh()) && Check(CaptureKeys(S().current, t)) &&
         Check(SettleWrite(S().current, write())) && Check(ApplyKeys(S().current, t));
}

// The navigation result of the controlling order when there is one, else of the table.
template <typename Natural, typename Ordered>
int32_t Navigate(Table* t, Natural natural, Ordered ordered) {
  if (ControllingOrder(S().current) != nullptr) return Moved(t, ordered());
  return Moved(t, natural());
}

}  // namespace

extern "C" {

// ---- Structure --------------------------------------------------------------------------

XB_API int32_t xb_FieldCount(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? t->FieldCount() : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_RecSize(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? int32_t(t->layout().record_length) : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_FieldName(int32_t number) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return "";
  if (number < 1 || number > t->FieldCount()) return Check(FieldNumberError(number)), "";
  return Ret(t->Field(number - 1).name);
}
XB_CATCH_ALL("")

XB_API int32_t xb_FieldNum(const char* field) try {
  ClearError();
  Table* t = CurrentTable();
  return t && field ? t->FieldIndex(field) + 1 : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_FieldType(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  return t ? FieldTypeText(t->Field(i)) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_FieldOffset(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  return t ? t->Field(i).offset + 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_FieldWidth(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  return t ? t->Field(i).width : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_FieldDecimals(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  return t ? t->Field(i).decimals : 0;
}
XB_CATCH_ALL(0)

// ---- Navigation ---------------------------------------------------------------------------

XB_API int32_t xb_GoTop(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Navigate(t, [&] { return t->GoTop(); }, [&] { return OrderedGoTop(S().current, t); })
           : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GoBottom(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Navigate(
                 t, [&] { return t->GoBottom(); }, [&] { return OrderedGoBottom(S().current, t); })
           : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Skip(int32_t count) try {
  ClearError();
  Table* t = CurrentTable();
  if (t != nullptr && count == 1 && ControllingOrder(S().current) == nullptr &&
      t->SkipToNextInMemory()) {
    return 1;
  }
  return t ? Navigate(
                 t, [&] { return t->Skip(count); },
                 [&] { return OrderedSkip(S().current, t, count); })
           : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Go(int32_t record) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Moved(t, t->Go(record)) : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Eof(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? (t->eof() ? 1 : 0) : 1;
}
XB_CATCH_ALL(1)

XB_API int32_t xb_Bof(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? (OrderedBof(S().current, t) ? 1 : 0) : 1;
}
XB_CATCH_ALL(1)

XB_API int32_t xb_RecNo(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? int32_t(t->recno()) : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_RecCount(void) try {
  ClearError();
  Table* t = CurrentTable();
  uint32_t count = 0;
  return t && Check(t->RecCount(&count)) ? int32_t(count) : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Count(void) try {
  ClearError();
  Table* t = CurrentTable();
  uint32_t count = 0;
  return t && Check(t->CountVisible(&count)) ? int32_t(count) : 0;
}
XB_CATCH_ALL(0)

// ---- Records -------------------------------------------------------------------------------

XB_API int32_t xb_GetRecord(void* buffer) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (buffer == nullptr) return Check(Status::Error(XB_ERR_ARGUMENT, "No buffer")), 0;
  CopyInWords(buffer, t->record(), t->layout().record_length);
  return 1;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_PutRecord(const void* buffer) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (buffer == nullptr) return Check(Status::Error(XB_ERR_ARGUMENT, "No buffer")), 0;
  const uint8_t* image = static_cast<const uint8_t*>(buffer);
  return WriteKeepingKeys(t, [&] { return t->PutRecord(image); }) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GetByte(int32_t offset) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr || offset < 0 || uint32_t(offset) >= t->layout().record_length) return -1;
  return t->record()[offset];
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_AppendBlankEx(int32_t lock) try {
  ClearError();
  Table* t = CurrentTable();
  return t && Check(MarkPending(S().current)) &&
                 Check(SettleWrite(S().current, t->AppendBlank(lock != 0))) &&
                 Check(AddKeys(S().current, t))
             ? 1
             : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_AppendBlank(void) try { return xb_AppendBlankEx(1); }
XB_CATCH_ALL(0)
XB_API int32_t xb_Append(void) try { return xb_AppendBlankEx(1); }
XB_CATCH_ALL(0)
XB_API int32_t xb_AppendEx(int32_t lock) try { return xb_AppendBlankEx(lock); }
XB_CATCH_ALL(0)

XB_API int32_t xb_Delete(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && WriteKeepingKeys(t, [&] { return t->SetDeletedMark(true); }) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Recall(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && WriteKeepingKeys(t, [&] { return t->SetDeletedMark(false); }) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Deleted(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && t->record()[0] == '*' ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Replace(const char* field, int16_t type, const void* value) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  if (t == nullptr) return 0;
  if (value == nullptr) return Check(Status::Error(XB_ERR_ARGUMENT, "No value")), 0;
  const FieldInfo& f = t->Field(i);
  std::string bytes;
  Status s;
  switch (type) {
    case XB_REPLACE_TEXT:
    case XB_REPLACE_MEMO: {
      const char* text = static_cast<const char*>(value);
      if (f.type == 'M') return Check(t->WriteMemo(i, text, std::strlen(text))) ? 1 : 0;
      s = type == XB_REPLACE_MEMO ? TypeError(f, "a memo") : EncodeText(f, text, &bytes);
      break;
    }
    case XB_REPLACE_INT16:
      s = EncodeNumber(f, *static_cast<const int16_t*>(value), &bytes);
      break;
    case XB_REPLACE_INT32:
      s = EncodeNumber(f, *static_cast<const int32_t*>(value), &bytes);
      break;
    case XB_REPLACE_DOUBLE:
      s = EncodeNumber(f, *static_cast<const double*>(value), &bytes);
      break;
    case XB_REPLACE_LOGICAL:
      s = EncodeLogical(f, *static_cast<const int32_t*>(value) != 0, &bytes);
      break;
    case XB_REPLACE_JULIAN:
      s = EncodeJulian(f, *static_cast<const int32_t*>(value), &bytes);
      break;
    default:
      s = Status::Error(XB_ERR_ARGUMENT, "Unknown value type " + std::to_string(type));
  }
  return Check(s) && WriteKeepingKeys(t, [&] { return t->SetFieldBytes(i, bytes); }) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_PutBlob(const char* field, const void* data, uint32_t length) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  if (t == nullptr) return 0;
  if (data == nullptr && length > 0) return Check(Status::Error(XB_ERR_ARGUMENT, "No data")), 0;
  return Check(t->WriteMemo(i, data, length)) ? int32_t(length) : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_GetMemoBytes(const char* field, uint32_t* length) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  std::string bytes;
  if (length != nullptr) *length = 0;
  if (t == nullptr || !Check(t->ReadMemoOf(i, &bytes))) return "";
  if (length != nullptr) *length = uint32_t(bytes.size());
  return Ret(bytes);
}
XB_CATCH_ALL("")

XB_API int32_t xb_MemoCheck(void) try {
  ClearError();
  Table* t = CurrentTable();
  std::string fault;
  if (t == nullptr || !Check(t->CheckMemos(&fault))) return 0;
  if (!fault.empty()) return Check(Status::Error(XB_ERR_CORRUPT, fault)), 0;
  return 1;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GetBlobLength(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  std::string text;
  return t && Check(t->ReadMemoOf(i, &text)) ? int32_t(text.size()) : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GetBlob(const char* field, void* buffer, uint32_t capacity) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  std::string text;
  if (t == nullptr || !Check(t->ReadMemoOf(i, &text))) return 0;
  if (buffer == nullptr && capacity > 0)
    return Check(Status::Error(XB_ERR_ARGUMENT, "No buffer")), 0;
  size_t n = std::min<size_t>(capacity, text.size());
  if (n > 0) std::memcpy(buffer, text.data(), n);
  return int32_t(n);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_BlobToFile(const char* field, const char* file) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  std::string text;
  if (t == nullptr || !Check(t->ReadMemoOf(i, &text))) return -1;
  if (file == nullptr || *file == 0)
    return Check(Status::Error(XB_ERR_ARGUMENT, "No file name")), -1;
  int fd = -1;
  Os* os = CurrentOs();
  if (!Check(os->Open(file, false, true, &fd))) return -1;
  Status s = os->Write(fd, text.data(), text.size(), 0);
  os->Close(fd);
  return Check(s) ? int32_t(text.size()) : -1;
}
XB_CATCH_ALL(-1)

XB_API const char* xb_GetMemo(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  std::string text;
  return t && Check(t->ReadMemoOf(i, &text)) ? Ret(text) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_GetString(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  return t ? Ret(FieldText(FieldBytes(t->record(), t->Field(i)), t->Field(i))) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_GetTrimString(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  if (t == nullptr) return "";
  std::string_view bytes = FieldBytes(t->record(), t->Field(i));
  return Ret(bytes.substr(0, TrimmedLength(bytes)));
}
XB_CATCH_ALL("")

XB_API int32_t xb_GetLogical(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);  // sets i first
  return FieldLogical(t, i);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GetTrimStringNum(int32_t number, char* buffer, int32_t capacity) try {
  int i = 0;
  Table* t = TableAndFieldNumber(number, &i);
  if (t == nullptr) return -1;
  if (capacity < 0 || (buffer == nullptr && capacity > 0))
    return Check(Status::Error(XB_ERR_ARGUMENT, "No buffer")), -1;
  std::string_view bytes = FieldBytes(t->record(), t->Field(i));
  size_t length = TrimmedLength(bytes);
  if (capacity > 0) {
    size_t copied = std::min(length, size_t(capacity) - 1);
    CopyInWords(buffer, bytes.data(), copied);
    buffer[copied] = 0;
  }
  return int32_t(length);
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_GetLogicalNum(int32_t number) try {
  int i = 0;
  Table* t = TableAndFieldNumber(number, &i);  // sets i first
  return FieldLogical(t, i);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_GetIntegerNum(int32_t number) try {
  int i = 0;
  Table* t = TableAndFieldNumber(number, &i);  // sets i first
  return FieldInteger(t, i);
}
XB_CATCH_ALL(0)

XB_API double xb_GetDouble(const char* field) try { return FieldNumber(field); }
XB_CATCH_ALL(0)
XB_API int32_t xb_GetLong(const char* field) try { return FieldInteger(field); }
XB_CATCH_ALL(0)
XB_API int32_t xb_GetInteger(const char* field) try { return FieldInteger(field); }
XB_CATCH_ALL(0)

XB_API int32_t xb_GetDateJulian(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  if (t == nullptr) return 0;
  const FieldInfo& f = t->Field(i);
  if (!IsDateField(f)) return Check(TypeError(f, "a date")), 0;
  return int32_t(DecodeFieldJulian(FieldBytes(t->record(), f), f));
}
XB_CATCH_ALL(0)

XB_API const char* xb_GetDateString(const char* field) try {
  int32_t julian = xb_GetDateJulian(field);
  if (xb_LastErrorCode() != XB_OK) return "";
  return Ret(FormatDate(julian, GlobalSettings()));
}
XB_CATCH_ALL("")

XB_API int32_t xb_Empty(const char* field) try {
  int i = 0;
  Table* t = TableAndField(field, &i);
  if (t == nullptr) return 0;
  const FieldInfo& f = t->Field(i);
  if (f.type == 'M') {
    std::string text;
    return Check(t->ReadMemoOf(i, &text)) && IsBlank(text, FieldInfo{}) ? 1 : 0;
  }
  return IsBlank(FieldBytes(t->record(), f), f) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_IsNull(const char* field) try { return xb_Empty(field); }
XB_CATCH_ALL(0)

XB_API int32_t xb_Commit(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && Check(t->Commit()) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Pack(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && Check(MarkPending(S().current)) && Check(SettleWrite(S().current, t->Pack())) &&
                 Check(RebuildOrders(S().current, t))
             ? 1
             : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Zap(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t && Check(MarkPending(S().current)) && Check(SettleWrite(S().current, t->Zap())) &&
                 Check(RebuildOrders(S().current, t))
             ? 1
             : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_Descend(const char* text) try {
  ClearError();
  std::string out(text ? text : "");
  for (char& c : out) {
    uint8_t b = uint8_t(255 - uint8_t(c));
    c = char(b == 0 ? 1 : b);
  }
  return Ret(out);
}
XB_CATCH_ALL("")

// ---- Locks ----------------------------------------------------------------------------------

XB_API int32_t xb_Rlock(int32_t record) try {
  ClearError();
  Table* t = CurrentTable();
  bool granted = false;
  if (t == nullptr || record < 0 || !Check(t->LockRecord(uint32_t(record), &granted))) return 0;
  if (!granted)
    Check(Status::Error(XB_ERR_LOCKED,
                        "Record " + std::to_string(record) + " is locked by another user"));
  return granted ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Flock(void) try {
  ClearError();
  Table* t = CurrentTable();
  bool granted = false;
  if (t == nullptr || !Check(t->LockFile(&granted))) return 0;
  if (!granted) Check(Status::Error(XB_ERR_LOCKED, "The table is locked by another user"));
  return granted ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Unlock(int32_t record) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  return Check(record <= 0 ? t->UnlockAll() : t->UnlockRecord(uint32_t(record))) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Locked(int32_t record) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  return (record <= 0 ? t->HoldsFile() : t->HoldsRecord(uint32_t(record))) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_LockCount(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? int32_t(t->LockedRecords().size()) : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_DBRlockList(uint32_t* records, int32_t capacity) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  std::vector<uint32_t> held = t->LockedRecords();
  for (size_t i = 0; records != nullptr && i < held.size() && int32_t(i) < capacity; ++i) {
    records[i] = held[i];
  }
  return int32_t(held.size());
}
XB_CATCH_ALL(0)

}  // extern "C"
