// TDataSet: the record-set framework shared by every dataset kind. It keeps the window
// of record buffers (as many as the largest BufferCount of its data links, at least one),
// the active record, the begin and end flags and the state, and runs the fixed sequences
// of Open, Close, First/Next/Prior/Last/MoveBy, Edit, Insert/Append, Post, Cancel, Delete
// and Refresh with their Before/After events. A concrete dataset (the xBase table)
// implements the protected hooks. Single-threaded: everything runs on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "dataset/db.h"
#include "dataset/field.h"

namespace velloria {

class TDataSource;

// One record buffer; the concrete dataset derives its own layout from it.
class TRecordBuffer {
 public:
  virtual ~TRecordBuffer() = default;
};

// A date value, told apart from an integer in a TVariant.
struct TDateValue {
  std::int32_t day = 0;  // day number, see db.h
  bool operator==(const TDateValue&) const = default;
};
// A key or field value handed to Locate, Lookup and AppendRecord; monostate is Null.
using TVariant = std::variant<std::monostate, bool, std::int32_t, double, std::string, TDateValue>;

bool VariantIsNull(const TVariant& value);
// Conversions used when a variant meets a field: raise EDatabaseError when impossible.
std::string VariantToString(const TVariant& value);
double VariantToFloat(const TVariant& value);
bool VariantToBoolean(const TVariant& value);

struct TLocateOptions {
  bool caseInsensitive = false;
  bool partialKey = false;
};

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

class TDataSet {
 public:
  explicit TDataSet(std::string name = {});
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;
  // A derived dataset must Close() in its own destructor (the hooks are gone here).
  virtual ~TDataSet();

  const std::string& Name() const { return m_name; }
  void SetName(std::string name) { m_name = std::move(name); }

  // ---- Opening and state
  bool Active() const { return m_state != TDataSetState::dsInactive; }
  void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  TDataSetState State() const { return m_state; }
  // REQUIRES nothing; raises "Cannot perform this operation on a closed dataset".
  void CheckActive() const;

  // ---- Navigation
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Moves the active record by `distance`; returns how far it actually moved.
  int MoveBy(int distance);
  bool Bof() const { return m_bof; }
  virtual bool Eof() const { return m_eof; }
  bool IsEmpty() const { return m_recordCount == 0; }
  // 1-based position of the active record; 0 when unknown.
  virtual std::int32_t RecNo() const { return 0; }
  virtual void SetRecNo(std::int32_t) {}
  virtual std::int32_t RecordCount() { return 0; }
  virtual bool IsSequenced() const { return false; }

  // ---- Editing
  void Edit();
  void Insert();
  void Append();
  void Post();
  virtual void Cancel();
  void Delete();
  void Refresh();
  // Appends a record built from `values` (one per field in field order; Null leaves a
  // field null) and makes it current.
  void AppendRecord(const std::vector<TVariant>& values);
  bool Modified() const { return m_modified; }
  virtual bool CanModify() const { return true; }
  // Posts a modified pending edit or insert (cancels an unmodified one); raises when
  // the dataset is closed.
  void CheckBrowseMode();
  // Asks the data links to write pending control text into the fields;
  // raises "Dataset not in edit or insert mode" outside the write states.
  void UpdateRecord();

  // ---- Bookmarks
  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark) const { return !bookmark.empty(); }
  // -1, 0, 1 by position; 2 when either is missing.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // ---- Fields (owned by the dataset: data fields exist while open, calculated
  // fields from their creation to the dataset's end)
  int FieldCount() const { return static_cast<int>(m_fields.size()); }
  TField& Fields(int index) { return *m_fields.at(index); }
  TField* FindField(const std::string& fieldName) const;
  // Raises EDatabaseError "Field '<name>' not found".
  TField& FieldByName(const std::string& fieldName) const;
  // Fields named in `fieldNames` ("A;B"), in order; raises like FieldByName.
  std::vector<TField*> GetFieldList(const std::string& fieldNames) const;
  // REQUIRES: the dataset is closed. Adds a calculated field filled by OnCalcFields.
  TField& AddCalculatedField(const std::string& fieldName, TFieldType type, int size = 0);
  // Called by fields after a value was stored: marks the record modified, recomputes
  // calculated fields and notifies the data links.
  void FieldChanged(TField& field);

  // ---- Filtering and locating (the concrete dataset implements them)
  const std::string& Filter() const { return m_filterText; }
  virtual void SetFilter(const std::string& text) { m_filterText = text; }
  bool Filtered() const { return m_filtered; }
  virtual void SetFiltered(bool value) { m_filtered = value; }
  // Base: raises "Capability not supported".
  virtual bool Locate(const std::string& keyFields, const TVariant& keyValues,
                      TLocateOptions options);

  // ---- Data-aware controls
  void DisableControls() { ++m_disableCount; }
  void EnableControls();
  bool ControlsDisabled() const { return m_disableCount > 0; }

  // ---- The record-buffer window, for data links
  int BufferCount() const { return m_bufferCount; }
  int RecordCountInBuffers() const { return m_recordCount; }  // valid buffers
  int ActiveRecordIndex() const { return m_activeRecord; }
  // Makes buffer `index` the active one (the grid does this while it paints a row and
  // sets it back afterwards). REQUIRES: 0 <= index < RecordCountInBuffers().
  void SetActiveRecordIndex(int index) { m_activeRecord = index; }
  // Number of GetRecord calls made so far (the grid's tests count fetches).
  std::uint64_t RecordFetches() const { return m_fetches; }
  // Recomputes the buffer count from the attached links; called by the links.
  void UpdateBufferCount();

  // ---- Field data (called by TField)
  virtual bool GetFieldData(const TField& field, void* dest) const = 0;
  virtual void SetFieldData(TField& field, const void* source) = 0;
  // Memo and blob contents; base raises "Capability not supported".
  virtual std::string GetBlobData(const TField& field) const;
  virtual void SetBlobData(TField& field, const std::string& data);
  // Whether the active record stores `field` as a write of its value would store it; a
  // dataset that keeps values rather than their stored forms always does.
  virtual bool StoredAsWritten(const TField& field) const {
    (void)field;
    return true;
  }

  // ---- Events
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent BeforeRefresh, AfterRefresh, OnCalcFields, OnNewRecord;
  TFilterRecordEvent OnFilterRecord;

  // Data sources attach themselves here (not for direct use).
  void AttachDataSource(TDataSource* source);
  void DetachDataSource(TDataSource* source);

 protected:
  // ---- Hooks of the concrete dataset
  virtual void InternalOpen() = 0;   // opens the cursor and creates the data fields
  virtual void InternalClose() = 0;  // closes the cursor and drops the data fields
  virtual std::unique_ptr<TRecordBuffer> AllocRecordBuffer() = 0;
  virtual void InternalInitRecord(TRecordBuffer& buffer) = 0;
  virtual void ClearCalcFields(TRecordBuffer& buffer) = 0;
  virtual TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) = 0;
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalSetToRecord(TRecordBuffer& buffer) = 0;
  virtual TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const = 0;
  virtual void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) = 0;
  virtual TBookmark GetBookmarkData(const TRecordBuffer& buffer) const = 0;
  virtual void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) = 0;
  virtual void InternalGotoBookmark(const TBookmark& bookmark) = 0;
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  virtual void InternalPost() = 0;
  virtual void InternalCancel() {}
  virtual void InternalDelete() = 0;
  virtual void InternalRefresh() = 0;
  virtual void InternalAddRecord(TRecordBuffer& buffer, bool append) = 0;
  // Size of the calculated-field area (sum of calculated fields' data sizes + presence).
  int CalcFieldsSize() const { return m_calcFieldsSize; }

  // ---- Event steps a concrete dataset may extend (each base fires its event)
  virtual void DoBeforeEdit();  // the "prepare edit" step: runs before the state changes
  virtual void DoBeforeInsert();
  virtual void DoAfterInsert();
  virtual void DoOnNewRecord();
  virtual void DoAfterCancel();
  virtual void DoBeforeScroll();
  virtual void DoAfterScroll();  // after every move of the active record

  // ---- Services for the concrete dataset
  TRecordBuffer& ActiveBuffer() const { return *m_buffers.at(m_activeRecord); }
  TRecordBuffer* CalcBuffer() const { return m_calcBuffer; }
  // Re-reads the window around the current record: exact requires the current record
  // to be readable ("Record not found"); center puts it in the middle of the window.
  virtual void Resync(bool exact, bool center);
  // Positions the cursor on the active record when it is not there already.
  void UpdateCursorPos();
  void CursorPosChanged() const { m_currentRecord = -1; }
  void SetState(TDataSetState value);
  // Runs `work` with the state temporarily `value` (for calc fields and filtering).
  void WithTempState(TDataSetState value, const std::function<void()>& work);
  void DataEvent(TDataEvent event, std::intptr_t info = 0);
  void GetCalcFields(TRecordBuffer& buffer);
  bool HasCalcFields() const { return m_calcFieldsSize > 0; }
  void AddDataField(std::unique_ptr<TField> field);
  void DropDataFields();
  std::vector<std::unique_ptr<TField>>& FieldList() { return m_fields; }
  void SetModified(bool value) { m_modified = value; }

 private:
  void OpenCursor();
  void CloseCursor();
  void SetBufferCount(int value);
  void ClearBuffers();
  void ActivateBuffers();
  void MoveBuffer(int from, int to);
  bool GetNextRecord();
  bool GetPriorRecord();
  void GetNextRecords();
  void GetPriorRecords();
  void SetCurrentRecord(int index);
  TGetResult FetchInto(TRecordBuffer& buffer, TGetMode mode, bool doCheck);
  void InitRecord(TRecordBuffer& buffer);
  void BeginInsertAppend();
  void EndInsertAppend();
  void CheckCanModifyOrRaise() const;
  void FreeFieldBuffers() {}
  void NotifyLinks(TDataEvent event, std::intptr_t info);
  static void Fire(const TDataSetNotifyEvent& event, TDataSet& self);

  std::string m_name;
  TDataSetState m_state = TDataSetState::dsInactive;
  std::vector<std::unique_ptr<TRecordBuffer>> m_buffers;  // m_bufferCount + 1 (spare)
  int m_bufferCount = 0;
  int m_recordCount = 0;
  int m_activeRecord = 0;
  mutable int m_currentRecord = -1;
  bool m_bof = false;
  bool m_eof = false;
  bool m_modified = false;
  bool m_filtered = false;
  std::string m_filterText;
  int m_disableCount = 0;
  bool m_pendingChange = false;  // a data-set change while controls were disabled
  std::uint64_t m_fetches = 0;
  TRecordBuffer* m_calcBuffer = nullptr;
  std::vector<std::unique_ptr<TField>> m_fields;
  int m_calcFieldsSize = 0;
  std::vector<TDataSource*> m_sources;
};

}  // namespace velloria
