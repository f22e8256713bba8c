// TXBaseTable: configuration, open and close, the field layout and the record buffers.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/dbf_field.h"
#include "base/paths.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_table_internal.h"

namespace velloria::xbase {
namespace {

constexpr const char* kOpenTableRefused = "Cannot perform this operation on an open table";

int CurrentYear() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local.tm_year + 1900;
}

std::string CurrentDirectory() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) != nullptr ? buffer : ".";
}

std::int16_t TypeCode(TXBaseTableType type) {
  switch (type) {
    case TXBaseTableType::ttXBNTX:
      return XB_TYPE_NTX;
    case TXBaseTableType::ttXBNSX:
      return XB_TYPE_FOX;
    case TXBaseTableType::ttXBNSXDBT:
      return XB_TYPE_CLIPPER;
    default:
      return XB_TYPE_NDX;
  }
}

std::int16_t CommitLevelCode(TXBaseCommitLevel level) {
  // In the order of TXBaseCommitLevel.
  constexpr std::int16_t kCodes[] = {XB_COMMIT_FULL, XB_COMMIT_NORMAL, XB_COMMIT_NONE};
  return kCodes[static_cast<int>(level)];
}

TFieldType FieldTypeOf(char letter, int width, int decimals) {
  switch (letter) {
    case dbf::type::kCharacter:
      return TFieldType::ftString;
    case dbf::type::kNumber:
      return decimals > 0 || width > 4 ? TFieldType::ftFloat : TFieldType::ftSmallint;
    case dbf::type::kLogical:
      return TFieldType::ftBoolean;
    case dbf::type::kDate:
      return TFieldType::ftDate;
    case dbf::type::kInteger:
      return TFieldType::ftInteger;
    case dbf::type::kMemo:
      return TFieldType::ftMemo;
    case dbf::type::kDouble:
    case dbf::type::kGeneral:
    case dbf::type::kPicture:
      return TFieldType::ftBlob;
    default:
      return TFieldType::ftUnknown;
  }
}

}  // namespace

std::string UpperAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TXBaseTable::TXBaseTable(std::string name) : TDataSet(std::move(name)) {}

TXBaseTable::~TXBaseTable() {
  try {
    Close();
  } catch (...) {
    // Closing gives the work area back to the engine; nothing can be reported here.
  }
}

void TXBaseTable::RaiseTableError(const std::string& message) const {
  m_lastErrorText = message;
  throw EXBaseError(message);
}


void TXBaseTable::CheckClosed(const char* message) {
  if (TDataSet::Active() || m_workArea != 0) RaiseTableError(message);
}

// ---- Published setters

void TXBaseTable::SetTableName(const std::string& value) {
  if (value == m_tableName) return;
  CheckClosed(kOpenTableRefused);
  m_tableName = value;
}

void TXBaseTable::SetExclusive(bool value) {
  if (value == m_exclusive) return;
  CheckClosed(kOpenTableRefused);
  m_exclusive = value;
}

void TXBaseTable::SetReadOnly(bool value) {
  if (value == m_readOnly) return;
  CheckClosed(kOpenTableRefused);
  m_readOnly = value;
}

void TXBaseTable::SetFetchCount(int value) {
  if (value == m_fetchCount) return;
  CheckClosed(kOpenTableRefused);
  m_fetchCount = value;
}

void TXBaseTable::SetAccessMethod(TAccessMethod value) {
  if (value == m_accessMethod) return;
  if (TDataSet::Active()) RaiseTableError("Cannot change data access method while active");
  if (value == TAccessMethod::amServer) {
    RaiseTableError("Remote server access is not supported");
  }
  m_accessMethod = value;
  EnsureEngineLoaded();
}

void TXBaseTable::SetCommitLevel(TXBaseCommitLevel value) {
  if (value == m_commitLevel) return;
  if (TDataSet::Active()) {
    RaiseTableError("Cannot change the commit level while the Table is opened");
  }
  m_commitLevel = value;
}

void TXBaseTable::SetTableType(TXBaseTableType value) {
  if (value == m_tableType) return;
  m_tableType = value;
  m_fieldDefs.clear();
  if (!TDataSet::Active()) return;
  // The same file described again: the field objects keep their slots.
  DescribeFields();
  LayoutBuffer();
}

void TXBaseTable::SetDatabaseName(const std::string& value) {
  if (value == m_databaseName) return;
  m_databaseName = value;
  if (value.find(':') != std::string::npos || value.find('/') != std::string::npos) {
    m_accessMethod = TAccessMethod::amLocal;
  }
  if (!TDataSet::Active()) return;
  ResolveTableFolder();
  if (!paths::Exists(paths::ResolveCaseInsensitive(FullFileName()))) Close();
}

void TXBaseTable::SetOEMTranslate(bool value) {
  if (value == m_oemTranslate) return;
  m_oemTranslate = value;
  if (m_workArea <= 0) return;
  Xb().xb_Select(m_workArea);
  Xb().xb_SetTranslate(value ? 1 : 0);
  m_codePage = value ? TCodePage::cp850 : CodePageOfLanguageDriver(m_languageDriver);
  ReReadBuffers();
}

void TXBaseTable::SetSequenced(bool value) {
  if (value == m_sequenced) return;
  m_sequenced = value;
  ReReadBuffers();
}

bool TXBaseTable::IsSequenced() const {
  return m_sequenced && m_tableType != TXBaseTableType::ttXBNTX;
}

void TXBaseTable::Loaded() {
  if (m_accessMethod == TAccessMethod::amLocal) EnsureEngineLoaded();
}

// ---- Names and folders

std::string TXBaseTable::FullFileName() const {
  std::string name = paths::NamePart(m_tableName);
  if (name.find('.') == std::string::npos) name += ".DBF";
  return m_tableFolder + name;
}

std::string TXBaseTable::MakeAlias() const {
  std::string alias = UpperAscii(paths::NamePart(m_tableName));
  alias = alias.substr(0, alias.find('.')).substr(0, 8);
  for (char& c : alias) {
    if (c < 'A' || c > 'Z') c = '_';
  }
  if (alias.empty()) return alias;
  for (int n = 1; Xb().xb_WorkArea(alias.c_str()) != 0; ++n) {
    std::string digits = std::to_string(n);
    alias = alias.substr(0, 8 - digits.size()) + digits;
  }
  return alias;
}

void TXBaseTable::ResolveTableFolder() {
  std::string folder = paths::FolderPart(m_tableName);
  if (folder.empty()) {
    folder = m_databaseName;
    bool pathLike = folder.find_first_of("/:.") != std::string::npos;
    if (!pathLike && !folder.empty() &&
        !paths::IsFolder(paths::ResolveCaseInsensitive(folder))) {
      RaiseTableError("Invalid DatabaseName value : " + m_databaseName);
    }
  }
  if (folder.empty()) folder = CurrentDirectory();
  m_tableFolder = paths::WithTrailingSeparator(folder);
}

// ---- Open and close

void TXBaseTable::InternalOpen() {
  m_opening = true;
  auto done = OnScopeExit([this] { m_opening = false; });
  OpenTable();
}

void TXBaseTable::OpenTable() {
  if (m_workArea == 0) {
    m_recordCount = 0;
    m_fieldCount = 0;
  }
  DescribeFields();
  if (m_workArea == 0) RaiseTableError("Unable to open table: " + FullFileName());
  CreateFields();
  LayoutBuffer();
  m_rawRecord.assign(m_recSize, '\0');
  m_cursorOpen = true;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  if (Filtered()) {
    std::string query = EngineQueryText(Filter());
    Checked(xb.xb_Query(query.c_str()));
    CountAfterQuery(query);
  }
  Checked(xb.xb_GoTop());
  m_atTopPending = true;
}

void TXBaseTable::CopyEnvironment() {
  TXBaseSearchObject search;
  TXBaseEnv* env = search.FindFirst<TXBaseEnv>();
  if (env == nullptr || !env->ApplyTo().atLocal) return;
  m_epoch = env->Epoch();
  m_errorLevel = env->ErrorLevel();
  m_century = env->Century();
  m_exact = env->Exact();
  m_softSeek = env->SoftSeek();
  m_dateFormat = env->DateFormat();
  m_memoBlockSize = env->MemoBlockSize();
  m_deleted = env->Deleted();
  m_environmentCopied = true;
}

void TXBaseTable::PushEnvironment() const {
  const TXbEntryPoints& xb = Xb();
  xb.xb_SetEpoch(static_cast<std::int16_t>(m_epoch));
  xb.xb_SetDeleted(m_deleted ? 1 : 0);
  xb.xb_SetCentury(m_century ? 1 : 0);
  xb.xb_SetMemoBlockSize(static_cast<std::int16_t>(m_memoBlockSize));
  xb.xb_SetDateFormat(EngineDateFormatCode(m_dateFormat));
  xb.xb_SetSoftSeek(m_softSeek ? 1 : 0);
  xb.xb_SetExact(m_exact ? 1 : 0);
}

void TXBaseTable::EngineOpen() {
  m_workArea = 0;
  if (m_tableName.empty()) RaiseTableError(Name() + " : Missing TableName property");
  if (!EnsureEngineLoaded()) {
    RaiseTableError("Unable to load required xBase engine library: libxbengine.so");
  }
  std::string alias = MakeAlias();
  std::int16_t mode =
      m_exclusive ? XB_OPEN_EXCLUSIVE : (m_readOnly ? XB_OPEN_READ_ONLY : XB_OPEN_SHARED);
  CopyEnvironment();
  ResolveTableFolder();
  std::string fullName = FullFileName();
  std::string resolved = paths::ResolveCaseInsensitive(fullName);
  if (!paths::Exists(resolved) || paths::IsFolder(resolved)) {
    RaiseTableError("Table does not exist.\rFile or directory does not exist.\rFile: " + fullName);
  }
  DatasetFormatSettings().shortYearWindow = std::abs(CurrentYear() - m_epoch) % 100;
  if (m_environmentCopied) PushEnvironment();
  const TXbEntryPoints& xb = Xb();
  xb.xb_ErrorLevel(XB_ERRORS_SILENT);
  // The name as given when it exists so spelled; else the file found ignoring case.
  std::string usePath =
      resolved == fullName ? m_tableFolder + paths::NamePart(m_tableName) : resolved;
  std::int16_t area = xb.xb_UseEx(usePath.c_str(), alias.c_str(), mode, TypeCode(m_tableType),
                                  CommitLevelCode(m_commitLevel));
  if (area < 1) {
    std::string message = "Unable to open table: " + fullName;
    if (xb.xb_LastErrorCode != nullptr && xb.xb_LastErrorCode() == XB_ERR_LOCKED) {
      m_lastErrorText = message;
      throw EXBaseTableInUse(fullName);
    }
    RaiseTableError(message);
  }
  m_workArea = area;
  xb.xb_ErrorLevel(
      static_cast<std::int16_t>(m_environmentCopied ? m_errorLevel : XB_ERRORS_PRINTED));
  xb.xb_SetTurboRead(m_turboRead ? 1 : 0);
  xb.xb_SetTranslate(m_oemTranslate ? 1 : 0);
  m_fieldCount = xb.xb_FieldCount();
  m_recSize = xb.xb_RecSize();
  m_encrypted = xb.xb_IsEncrypted != nullptr && xb.xb_IsEncrypted(0) != 0;
  ReadWriteRefusal(mode);
  if (!m_password.empty()) xb.xb_SetPassword(m_password.c_str());
  OpenIndexes();
  m_orderCount = xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0);
  m_rawRecordCount = Checked(xb.xb_RecCount());
  m_indexCondition = Copy(xb.xb_IndexCondition());
  ReadCodePage();
  m_countStale = true;
}

void TXBaseTable::ReadWriteRefusal(std::int16_t mode) {
  m_writeRefusal.clear();
  if (mode == XB_OPEN_READ_ONLY || Xb().xb_WriteRefusal == nullptr) return;
  m_writeRefusal = Copy(Xb().xb_WriteRefusal());
}

TMountRisks TXBaseTable::MountRisks() const {
  if (m_workArea <= 0 || Xb().xb_MountRisks == nullptr) return {};
  Xb().xb_Select(m_workArea);
  std::int32_t bits = std::max(0, Xb().xb_MountRisks());
  return {.locksLocal = (bits & XB_MOUNT_LOCKS_LOCAL) != 0,
          .cachesData = (bits & XB_MOUNT_CACHES_DATA) != 0,
          .cannotTell = (bits & XB_MOUNT_UNKNOWN) != 0};
}

void TXBaseTable::OpenIndexes() {
  const TXbEntryPoints& xb = Xb();
  for (const std::string& extra : m_extraIndexes) OrderOfIndex(extra);
  xb.xb_SetOrder(static_cast<std::int16_t>(m_indexName.empty() ? 0 : OrderOfIndex(m_indexName)));
  RebuildIndexDefs();
}

int TXBaseTable::OrderOfIndex(const std::string& name) {
  const TXbEntryPoints& xb = Xb();
  std::string path = !name.empty() && name[0] == '/' ? name : m_tableFolder + name;
  int orders = std::max(0, xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0));
  for (int order = 1; order <= orders; ++order) {
    if (Copy(xb.xb_IndexName(static_cast<std::int16_t>(order))) == path) return order;
  }
  int order = xb.xb_IndexOpen(path.c_str());
  if (order < 1) RaiseTableError("Unable to open index: " + path);
  return order;
}

void TXBaseTable::RebuildIndexDefs() {
  const TXbEntryPoints& xb = Xb();
  m_indexDefs.clear();
  int orders = std::max(0, xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0));
  int current = xb.xb_IndexOrd();
  for (int order = 1; order <= orders; ++order) {
    auto number = static_cast<std::int16_t>(order);
    xb.xb_SetOrder(number);
    m_indexDefs.push_back({Copy(xb.xb_TagName(number)), Copy(xb.xb_IndexName(number)),
                           Copy(xb.xb_IndexKey()), Copy(xb.xb_IndexCondition())});
  }
  xb.xb_SetOrder(static_cast<std::int16_t>(current));
}

void TXBaseTable::SetIndexName(const std::string& value) {
  m_indexName = value;
  if (m_workArea == 0) return;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  xb.xb_SetOrder(static_cast<std::int16_t>(value.empty() ? 0 : OrderOfIndex(value)));
  RebuildIndexDefs();
  m_orderCount = xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0);
  m_indexCondition = Copy(xb.xb_IndexCondition());
  if (Active()) First();
}

void TXBaseTable::ReadCodePage() {
  const TXbEntryPoints& xb = Xb();
  std::int32_t driver = xb.xb_LanguageDriver != nullptr ? xb.xb_LanguageDriver() : 0;
  m_languageDriver = driver > 0 ? static_cast<std::uint8_t>(driver) : 0;
  m_codePage = m_oemTranslate ? TCodePage::cp850 : CodePageOfLanguageDriver(m_languageDriver);
}

void TXBaseTable::DescribeFields() {
  if (m_workArea == 0) EngineOpen();
  if (m_workArea == 0) return;
  const TXbEntryPoints& xb = Xb();
  m_fieldInfos.clear();
  m_fieldDefs.clear();
  xb.xb_Select(m_workArea);
  for (int number = 1; number <= m_fieldCount; ++number) {
    TFieldInfo info;
    info.name = Copy(xb.xb_FieldName(number));
    info.typeText = Copy(xb.xb_FieldType(info.name.c_str()));
    info.rawOffset = static_cast<std::uint16_t>(xb.xb_FieldOffset(info.name.c_str())) - 1;
    info.width = static_cast<std::uint16_t>(xb.xb_FieldWidth(info.name.c_str()));
    info.decimals = static_cast<std::uint16_t>(xb.xb_FieldDecimals(info.name.c_str()));
    if (info.rawOffset < 1 || info.rawOffset + info.width > m_recSize) {
      std::string fullName = FullFileName();
      if (!m_cursorOpen) {
        xb.xb_Close();
        m_workArea = 0;
      }
      RaiseTableError("Field " + info.name + " lies outside the record of table " + fullName);
    }
    char letter = info.typeText.empty() ? '?' : info.typeText[0];
    TFieldType type = FieldTypeOf(letter, info.width, info.decimals);
    if (type != TFieldType::ftUnknown) {
      m_fieldDefs.push_back({info.name, type, type == TFieldType::ftString ? info.width : 0});
    }
    m_fieldInfos.push_back(std::move(info));
  }
  if (!m_cursorOpen && !m_opening) {
    xb.xb_Select(m_workArea);
    xb.xb_Close();
    m_workArea = 0;
  }
}

void TXBaseTable::CreateFields() {
  for (const TFieldDef& def : m_fieldDefs) {
    int number = 0;
    for (size_t i = 0; i < m_fieldInfos.size(); ++i) {
      if (m_fieldInfos[i].name == def.name) number = static_cast<int>(i) + 1;
    }
    auto field = std::make_unique<TField>(this, def.name, def.dataType, def.size, number);
    if (def.dataType == TFieldType::ftFloat) {
      const TFieldInfo& info = m_fieldInfos[number - 1];
      field->DisplayFormat =
          info.decimals == 0 ? "0" : "0." + std::string(info.decimals, '0');
      field->Precision = info.width + 1;
    }
    AddDataField(std::move(field));
  }
}

void TXBaseTable::LayoutBuffer() {
  int offset = 0;
  m_blobCount = 0;
  for (const auto& field : FieldList()) {
    if (field->FieldNo() <= 0) continue;
    TFieldInfo& info = m_fieldInfos[field->FieldNo() - 1];
    info.slotOffset = offset;
    offset += 1 + field->DataSize();
    info.blobIndex = field->IsBlob() ? m_blobCount++ : -1;
  }
  m_slotsSize = offset;
}

void TXBaseTable::InternalClose() {
  m_recordCount = -1;
  m_countStale = true;
  m_tableFolder.clear();
  m_cursorOpen = false;
  DropDataFields();
  m_rawRecord.clear();
  m_editImage.clear();
  m_fieldInfos.clear();
  std::string failure;
  if (m_workArea > 0) {
    const TXbEntryPoints& xb = Xb();
    if (EngineLoaded() && !Copy(xb.xb_Alias(m_workArea)).empty()) {
      xb.xb_Select(m_workArea);
      xb.xb_Close();
      failure = EngineFailure();  // a record the engine still held that it could not write
    }
  }
  m_workArea = 0;
  if (!failure.empty()) RaiseTableError(failure);
}

// ---- Record buffers

std::unique_ptr<TRecordBuffer> TXBaseTable::AllocRecordBuffer() {
  auto buffer = std::make_unique<TXbRecordBuffer>();
  buffer->slots.assign(m_slotsSize + CalcFieldsSize(), 0);
  buffer->blobs.assign(m_blobCount, TXbBlobSlot{});
  buffer->assigned.assign(m_fieldInfos.size() + 1, false);
  buffer->offForm.assign(m_fieldInfos.size() + 1, false);
  return buffer;
}

void TXBaseTable::InternalInitRecord(TRecordBuffer& buffer) {
  static_cast<TXbRecordBuffer&>(buffer).Reset();
}

void TXBaseTable::ClearCalcFields(TRecordBuffer& buffer) {
  auto& slots = static_cast<TXbRecordBuffer&>(buffer).slots;
  std::fill(slots.begin() + m_slotsSize, slots.end(), 0);
}

TBookmarkFlag TXBaseTable::GetBookmarkFlag(const TRecordBuffer& buffer) const {
  return static_cast<const TXbRecordBuffer&>(buffer).flag;
}

void TXBaseTable::SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) {
  static_cast<TXbRecordBuffer&>(buffer).flag = flag;
}

TBookmark TXBaseTable::GetBookmarkData(const TRecordBuffer& buffer) const {
  std::int32_t recNo = static_cast<const TXbRecordBuffer&>(buffer).recNo;
  return TBookmark(reinterpret_cast<const char*>(&recNo), sizeof recNo);
}

void TXBaseTable::SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) {
  std::int32_t recNo = 0;
  if (bookmark.size() == sizeof recNo) std::memcpy(&recNo, bookmark.data(), sizeof recNo);
  static_cast<TXbRecordBuffer&>(buffer).recNo = recNo;
}

int TXBaseTable::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.size() != sizeof(std::int32_t) || b.size() != sizeof(std::int32_t)) return 2;
  std::int32_t left = 0, right = 0;
  std::memcpy(&left, a.data(), sizeof left);
  std::memcpy(&right, b.data(), sizeof right);
  return left < right ? -1 : (left == right ? 0 : 1);
}

}  // namespace velloria::xbase
