// TXBaseTable: the dataset that presents one xBase table, opened in one engine work area:
// open and close with the field layout, record navigation and decoding, editing and posting
// with record locks, filtering through the engine's query, Locate and Lookup. TXbTable is
// its published name. Failures raise EXBaseError and keep the text in LastErrorText().
// Single-threaded; no Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "dataset/dataset.h"
#include "xbase/component_registry.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_env.h"

namespace velloria::xbase {

// The code pages of table text, as the component's interface names them.
using codepage::CodePageOfLanguageDriver;
using codepage::FromUtf8;
using codepage::FromUtf8Exactly;
using codepage::LanguageDriverOfCodePageNumber;
using codepage::TCodePage;
using codepage::ToUtf8;

class EXBaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The open failed because another program holds the file exclusively (or, for an
// exclusive open, has it open at all); trying again later may succeed.
class EXBaseTableInUse : public EXBaseError {
 public:
  explicit EXBaseTableInUse(const std::string& file)
      : EXBaseError("Unable to open table: " + file), m_file(file) {}
  const std::string& file() const { return m_file; }

 private:
  std::string m_file;
};

// What the mount of a table's file does to machines that share it: locks that stay on this
// machine, and data cached on this machine that another one may have changed.
struct TMountRisks {
  bool locksLocal = false;
  bool cachesData = false;
  bool cannotTell = false;  // a FUSE file system of a kind the engine does not know
  bool any() const { return locksLocal || cachesData || cannotTell; }
};

enum class TXBaseTableType { ttXBNONE, ttXBNTX, ttXBFOX, ttXBNSX, ttXBNSXDBT };
enum class TXBaseCommitLevel { clFull, clNormal, clNone };
enum class TAccessMethod { amLocal, amServer };
enum class TEOFAction { eaEOF, eaMoveLast };
enum class TSequencedCount { scAll, scFilterOnly, scRaw };

// One physical field as the engine describes it.
struct TFieldInfo {
  std::string name;      // upper case, as the engine gives it
  std::string typeText;  // first letter is the xBase type
  int rawOffset = 0;     // first byte in the record image (the engine's offset - 1)
  int width = 0;
  int decimals = 0;
  int slotOffset = -1;  // presence byte of the field's slot in a record buffer
  int blobIndex = -1;   // index of its blob slot (memo and blob fields)
};

struct TFieldDef {
  std::string name;
  TFieldType dataType = TFieldType::ftUnknown;
  int size = 0;
};

class TXBaseTable : public TDataSet, public TXBaseComponent {
 public:
  explicit TXBaseTable(std::string name = {});
  ~TXBaseTable() override;

  // ---- Published properties. Setters refused on an open table raise EXBaseError.
  const std::string& DatabaseName() const { return m_databaseName; }
  void SetDatabaseName(const std::string& value);
  const std::string& TableName() const { return m_tableName; }
  void SetTableName(const std::string& value);
  TXBaseTableType TableType() const { return m_tableType; }
  void SetTableType(TXBaseTableType value);
  bool Exclusive() const { return m_exclusive; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return m_readOnly; }
  void SetReadOnly(bool value);
  bool Sequenced() const { return m_sequenced; }
  void SetSequenced(bool value);
  bool OEMTranslate() const { return m_oemTranslate; }
  void SetOEMTranslate(bool value);
  TXBaseCommitLevel CommitLevel() const { return m_commitLevel; }
  void SetCommitLevel(TXBaseCommitLevel value);
  TAccessMethod AccessMethod() const { return m_accessMethod; }
  // amServer is not supported (no server connection exists): raises EXBaseError.
  void SetAccessMethod(TAccessMethod value);
  const std::string& Password() const { return m_password; }
  void SetPassword(const std::string& value) { m_password = value; }
  bool TurboRead() const { return m_turboRead; }
  void SetTurboRead(bool value) { m_turboRead = value; }
  TEOFAction EOFAction() const { return m_eofAction; }
  void SetEOFAction(TEOFAction value) { m_eofAction = value; }
  TSequencedCount SequencedCount() const { return m_sequencedCount; }
  void SetSequencedCount(TSequencedCount value) { m_sequencedCount = value; }
  int FetchCount() const { return m_fetchCount; }
  void SetFetchCount(int value);
  const std::vector<TFieldDef>& FieldDefs() const { return m_fieldDefs; }
  // The controlling index file (in TableFolder unless absolute; "" = natural order) and
  // further index files kept up to date while the table is open. Opened at open; changing
  // IndexName while active opens it if need be, makes it controlling and goes to the first
  // record. A file that cannot be opened raises EXBaseError.
  const std::string& IndexName() const { return m_indexName; }
  void SetIndexName(const std::string& value);
  const std::vector<std::string>& ExtraIndexes() const { return m_extraIndexes; }
  void SetExtraIndexes(const std::vector<std::string>& value) { m_extraIndexes = value; }
  // The engine's open orders, in order number (rebuilt at open and by SetIndexName).
  struct TIndexDef {
    std::string name;        // tag: the file's base name
    std::string fileName;    // as the engine opened it
    std::string expression;  // key expression
    std::string condition;   // FOR condition, "" for none
  };
  const std::vector<TIndexDef>& IndexDefs() const { return m_indexDefs; }

  // ---- State
  std::int16_t WorkArea() const { return m_workArea; }
  // The folder of the file with a trailing separator ("" until resolved).
  const std::string& TableFolder() const { return m_tableFolder; }
  // TableFolder + the file-name part of TableName (+ ".DBF" when it has no extension).
  std::string FullFileName() const;
  const std::string& LastErrorText() const { return m_lastErrorText; }
  int Epoch() const { return m_epoch; }
  TCodePage CodePage() const { return m_codePage; }
  const std::vector<TFieldInfo>& FieldInfos() const { return m_fieldInfos; }

  // End of loading: loads the engine for amLocal.
  void Loaded();
  // Fills FieldDefs from the engine; on a closed table the file is opened and closed again.
  void DescribeFields();

  // ---- Dataset
  bool Eof() const override;
  std::int32_t RecNo() const override;
  void SetRecNo(std::int32_t value) override;
  std::int32_t RecordCount() override;  // by SequencedCount
  std::int32_t RecCount();              // records in the file, 0 while closed
  bool IsSequenced() const override;
  bool CanModify() const override { return !m_readOnly && m_writeRefusal.empty(); }
  // Why the engine opened the sound table for reading only although writing was asked for (no
  // rights, a mount whose locks stay on this machine, a client that cannot write in place);
  // "" when it may be written, was opened read-only on purpose, or is damaged.
  const std::string& WriteRefusal() const { return m_writeRefusal; }
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override;
  // Cancels a pending edit or insert, then always releases the work area's record locks.
  void Cancel() override;

  // Locks the whole table for this work area (waiting the engine's lock timeout for
  // another program's locks); false when it stays held elsewhere. Raises EXBaseError with
  // the engine's reason when the table was opened read-only. While it is held, a Post
  // releases only the record it wrote, so that many records are written under one lock.
  bool LockTable();
  // Releases the table lock and every record lock of the work area.
  void UnlockTable();
  // How the file's mount fails several machines sharing it; none when it does not, when
  // unknown, or with the table closed.
  TMountRisks MountRisks() const;

  // The engine query: the text goes to the engine unchanged (converted to the table's
  // code page). A text that is not a logical expression raises "Invalid Query Expression".
  void SetFilter(const std::string& text) override;
  void SetFiltered(bool value) override;

  // Moves to the first record whose key fields ("A;B") equal the values; false when none
  // (the current record stays). Raises the field-not-found error for an unknown field.
  bool Locate(const std::string& keyFields, const TVariant& keyValue,
              TLocateOptions options) override;
  bool Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
              TLocateOptions options);
  // The value of `resultField` in the first record whose key fields equal the values, or
  // Null (also for a Null single key). Seeks when an open order is on the single key field
  // alone (UPPER( orders match case-insensitively), else queries the engine like Locate.
  // The dataset's records, state and data links are left as they are; the engine comes
  // back to its record, order, exact setting and query. Raises the field-not-found error
  // for an unknown key or result field.
  TVariant Lookup(const std::string& keyFields, const TVariant& keyValue,
                  const std::string& resultField);
  TVariant Lookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                  const std::string& resultField);
  // Seeks `keyValue` in the current index order; restores `restoreOrder` afterwards.
  bool IndexSeek(const std::vector<TField*>& fields, const TVariant& keyValue, int restoreOrder,
                 TLocateOptions options);

  bool GetFieldData(const TField& field, void* dest) const override;
  void SetFieldData(TField& field, const void* source) override;
  std::string GetBlobData(const TField& field) const override;
  void SetBlobData(TField& field, const std::string& data) override;
  // False for a logical stored as another byte than T or F ("?", dBase's "not set", or a
  // "Y" or "t" that reads as a value); true for every other field.
  bool StoredAsWritten(const TField& field) const override;

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override;
  void InternalInitRecord(TRecordBuffer& buffer) override;
  void ClearCalcFields(TRecordBuffer& buffer) override;
  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool doCheck) override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalSetToRecord(TRecordBuffer& buffer) override;
  TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override;
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override;
  TBookmark GetBookmarkData(const TRecordBuffer& buffer) const override;
  void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) override;
  void InternalGotoBookmark(const TBookmark& bookmark) override;
  void InternalPost() override;
  void InternalDelete() override;
  void InternalRefresh() override;
  void InternalAddRecord(TRecordBuffer& buffer, bool append) override;
  void Resync(bool exact, bool center) override;
  void DoBeforeEdit() override;
  void DoBeforeInsert() override;
  void DoAfterInsert() override;
  void DoAfterCancel() override;
  void DoAfterScroll() override;

 private:
  class TXbRecordBuffer;

  [[noreturn]] void RaiseTableError(const std::string& message) const;
  // Raises the table error with the engine's text when the engine call just made failed;
  // else hands its answer on, so that each call is checked where it is made:
  // Checked(xb.xb_Skip(1)).
  template <typename Answer>
  Answer Checked(Answer answer) const {
    if (EngineFailureCode() != XB_OK) RaiseTableError(EngineFailure());
    return answer;
  }
  void CheckClosed(const char* message);
  // Open and close.
  void OpenTable();
  void EngineOpen();
  void ReadWriteRefusal(std::int16_t mode);
  // After a refused lock: raises the engine's text unless another holder has the lock, since
  // no wait mends a table the engine opened read-only or a file that cannot be read.
  void RaiseUnlessLockedElsewhere();
  void CopyEnvironment();
  void PushEnvironment() const;
  std::string MakeAlias() const;
  void ResolveTableFolder();
  void CreateFields();
  void LayoutBuffer();
  // Opens IndexName and ExtraIndexes in the engine and rebuilds IndexDefs.
  void OpenIndexes();
  // Order number of index file `name` (opening it when not open yet).
  int OrderOfIndex(const std::string& name);
  void RebuildIndexDefs();
  // The code page of the table's text: from the engine's language driver of the current
  // area, code page 850 with OEM translation.
  void ReadCodePage();
  // Reading.
  // Moves the engine for a fetch and leaves its record number in m_cachedRecNo.
  TGetResult MoveForFetch(TGetMode mode, std::int32_t before);
  void DecodeRecord(TXbRecordBuffer& buffer);
  void DecodeField(const TField& field, const TFieldInfo& info, TXbRecordBuffer& buffer);
  bool AcceptedByFilter(TXbRecordBuffer& buffer);
  // Runs `work` with the fields reading `buffer` (state dsFilter) instead of the active
  // record; no notice reaches the data links.
  void ReadThroughBuffer(TXbRecordBuffer& buffer, const std::function<void()>& work);
  TXbRecordBuffer* ReadBuffer() const;
  TXbRecordBuffer& ActiveRecordBuffer() const;
  void ReReadBuffers();
  void Recount();
  // Writing.
  void BuildImage(TXbRecordBuffer& buffer, bool keepUnassigned);
  int DataFieldCount();
  std::string EncodeField(const TField& field, const TFieldInfo& info,
                          const TXbRecordBuffer& buffer) const;
  std::string EncodeDate(const TField& field, std::int32_t day) const;
  // `text` in the table's code page; raises EXBaseError naming the field when the page
  // lacks one of its characters (a '?' in its place would lose the text unnoticed).
  std::string EncodeText(const TField& field, const std::string& text) const;
  [[noreturn]] static void RaiseUnstorable(const TField& field, const std::string& what);
  void WriteBlobs(TXbRecordBuffer& buffer);
  void AppendBlankRecord();
  // The record image of a post: the edited record, or a record appended for an insert (the
  // one appended by an earlier attempt whose write the engine refused, when there is one).
  void PutPostedImage(bool inserting);
  // After a refused write, puts back into the engine what the file holds, so that no
  // cancelled change reaches the file when the engine writes its record later.
  void TakeBackRefusedWrite();
  void StoreRecordPosition(TXbRecordBuffer& buffer);
  // Marks the engine's current record deleted and writes the mark at once.
  void DeleteEngineRecord();
  // Filtering and locating.
  void RefreshFilter(const std::string& text);
  std::int32_t ApplyQuery(const std::string& text);
  void CountAfterQuery(const std::string& engineText);
  void BeginScroll();
  void EndScroll() { DoAfterScroll(); }
  void ChooseIndexOrder(const std::string& keyField, int savedOrder, int orders,
                        TLocateOptions options);
  // Finds the first record matching the key values (and the table's filter) by a
  // temporary engine query, leaving the engine on it; the table's own query is put back.
  bool QueryFirstMatch(const std::vector<TField*>& fields, const std::vector<TVariant>& values,
                       TLocateOptions options);
  // Lookup's seek route: makes current the current order or the first order that suits a
  // key of `keyField`; false, with `savedOrder` current again, when none does.
  bool ChooseLookupOrder(const std::string& keyField, int savedOrder, int orders);
  bool OrderSuitsLookup(const std::string& upperName) const;
  // The value of `field` in the engine's current record, decoded into a scratch buffer.
  TVariant CurrentEngineValue(const TField& field);
  std::optional<std::string> LocateExpression(const std::vector<TField*>& fields,
                                              const std::vector<TVariant>& values,
                                              TLocateOptions options) const;
  std::optional<std::string> LocateClause(const TField& field, const TVariant& value,
                                          bool single, TLocateOptions options) const;
  TVariant FieldValue(const TField& field) const;
  std::string ToEngineText(const std::string& text) const { return FromUtf8(text, m_codePage); }
  // `text` in the table's code page; none when it holds a character the page lacks.
  std::optional<std::string> ToEngineTextExactly(const std::string& text) const;
  // A filter in the table's code page. A filter holding a character the page lacks selects
  // nothing (".F."): the value it names cannot be stored, so no record holds it.
  std::string EngineQueryText(const std::string& text) const;
  // Engine text upper-cased by the engine's own UPPER, the rule its queries and indexes
  // use; none when the text holds all three literal delimiters.
  std::optional<std::string> EngineUpper(const std::string& engineText) const;

  // Published.
  std::string m_databaseName;
  std::string m_tableName;
  TXBaseTableType m_tableType = TXBaseTableType::ttXBFOX;
  bool m_exclusive = false;
  bool m_readOnly = false;
  bool m_sequenced = true;
  bool m_oemTranslate = false;
  TXBaseCommitLevel m_commitLevel = TXBaseCommitLevel::clNormal;
  TAccessMethod m_accessMethod = TAccessMethod::amLocal;
  std::string m_password;
  bool m_turboRead = false;
  TEOFAction m_eofAction = TEOFAction::eaMoveLast;
  TSequencedCount m_sequencedCount = TSequencedCount::scRaw;
  int m_fetchCount = 50;
  std::vector<TFieldDef> m_fieldDefs;
  std::string m_indexName;
  std::vector<std::string> m_extraIndexes;
  std::vector<TIndexDef> m_indexDefs;

  // Engine side.
  std::int16_t m_workArea = 0;
  std::string m_tableFolder;
  int m_fieldCount = 0;
  int m_recSize = 0;
  std::int32_t m_recordCount = -1;
  std::int32_t m_rawRecordCount = 0;
  bool m_countStale = true;
  bool m_encrypted = false;
  std::string m_writeRefusal;
  int m_orderCount = 0;
  std::string m_indexCondition;
  mutable std::string m_lastErrorText;
  std::uint8_t m_languageDriver = 0;
  TCodePage m_codePage = TCodePage::cp1252;

  // Copied environment.
  int m_epoch = 1980;
  int m_errorLevel = 1;
  bool m_century = true;
  bool m_exact = false;
  bool m_softSeek = false;
  TXBaseDateFrmt m_dateFormat = TXBaseDateFrmt::dfWinDefault;
  int m_memoBlockSize = 64;
  bool m_deleted = false;
  bool m_environmentCopied = false;

  // Layout and cursor.
  std::vector<TFieldInfo> m_fieldInfos;  // by field number - 1
  int m_slotsSize = 0;                   // field slots; the calculated area follows
  int m_blobCount = 0;
  std::vector<char> m_rawRecord;
  std::vector<char> m_editImage;  // the locked record as read by the last Edit
  bool m_tableLocked = false;     // LockTable granted and not yet released
  std::int32_t m_editRecNo = 0;
  bool m_editRefused = false;         // the engine holds an edited record it could not write
  std::int32_t m_unfilledAppend = 0;  // a record an insert appended but could not fill
  bool m_cursorOpen = false;
  bool m_opening = false;
  bool m_atTopPending = false;
  bool m_atBottomPending = false;
  std::int32_t m_cachedRecNo = 0;
  std::int32_t m_insertReturnRecNo = 0;
  TXbRecordBuffer* m_sideBuffer = nullptr;  // read by the fields in state dsFilter

  // Filter.
};

class TXbTable : public TXBaseTable {
 public:
  using TXBaseTable::TXBaseTable;
};

}  // namespace velloria::xbase
