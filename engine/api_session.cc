// The C interface's session: work areas, aliases, errors, returned strings, settings and
// the entry points that open, select and close tables.
#include <strings.h>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <type_traits>

#include "base/paths.h"
#include "engine/api_internal.h"
#include "engine/area_orders.h"
#include "engine/include/xbengine.h"
#include "engine/mount_info.h"
#include "engine/os.h"
#include "engine/settings.h"

// Every declaration of the public header matches the one list of entry points.
#define XB_ENTRY(ret, name, params, args) \
  static_assert(std::is_same_v<decltype(&name), ret(*) params>, #name " differs from the list");
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY

namespace xb {

Settings g_settings;

namespace api {
namespace {

XB_TLS std::string t_error_text;

// Frees the thread's returned-string buffer when the thread ends; made on its first growth.
struct ReturnBufferOwner {
  ~ReturnBufferOwner() {
    std::free(t_return.data);
    t_return = {};
  }
};

bool ValidAlias(const std::string& alias) {
  if (alias.empty() || alias.size() > 10) return false;
  for (char c : alias) {
    bool ok =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string DefaultAlias(const std::string& path) {
  std::string name = velloria::paths::NamePart(path);
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.size() > 10) name.resize(10);
  for (char& c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    c = ok ? char(c >= 'a' && c <= 'z' ? c - 32 : c) : '_';
  }
  return name;
}

int FreeArea() {
  for (int area = 1; area <= kMaxAreas; ++area) {
    if (!S().tables[size_t(area)]) return area;
  }
  return 0;
}

int16_t OpenTable(const char* file, const char* alias_arg, int16_t mode, int16_t type,
                  int16_t commit_level) {
  ClearError();
  if (file == nullptr || *file == 0)
    return Check(Status::Error(XB_ERR_ARGUMENT, "No file name")), 0;
  if (mode < XB_OPEN_SHARED || mode > XB_OPEN_EXCLUSIVE || !ValidTableType(type) ||
      commit_level < XB_COMMIT_FULL || commit_level > XB_COMMIT_NONE) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Bad open mode, table type or commit level"));
    return 0;
  }
  std::string path = TablePath(file);
  std::string alias = alias_arg != nullptr && *alias_arg != 0 ? alias_arg : DefaultAlias(path);
  if (!ValidAlias(alias))
    return Check(Status::Error(XB_ERR_ARGUMENT, "Bad alias \"" + alias + "\"")), 0;
  if (xb_WorkArea(alias.c_str()) != 0) {
    return Check(Status::Error(XB_ERR_WORK_AREAS, "Alias " + alias + " is already in use")), 0;
  }
  int area = FreeArea();
  if (area == 0) return Check(Status::Error(XB_ERR_WORK_AREAS, "All work areas are in use")), 0;
  std::unique_ptr<Table> table;
  if (!Check(Table::Open(path, mode, commit_level, area, &table))) return 0;
  table->set_alias(alias);
  S().tables[size_t(area)] = std::move(table);
  S().aliases[size_t(area)] = alias;
  S().current = area;
  return int16_t(area);
}

}  // namespace

constinit XB_TLS int t_error_code = XB_OK;
constinit XB_TLS ReturnBuffer t_return;
Session g_session;

void ClearErrorText() {
  t_error_code = XB_OK;
  t_error_text.clear();
}

void SetError(const Status& s) {
  t_error_code = s.code();
  t_error_text = s.message();
  if (GlobalSettings().error_level >= XB_ERRORS_PRINTED)
    std::fprintf(stderr, "xbengine: %s\n", s.message().c_str());
}

void SetErrorFromException() noexcept {
  const char* what = "Internal error";
  try {
    throw;
  } catch (const std::bad_alloc&) {
    what = "Out of memory";
  } catch (const std::exception& e) {
    what = e.what();
  } catch (...) {
  }
  t_error_code = XB_ERR_INTERNAL;
  try {
    t_error_text = what;
  } catch (...) {
    t_error_text.clear();
  }
  if (GlobalSettings().error_level >= XB_ERRORS_PRINTED)
    std::fprintf(stderr, "xbengine: %s\n", what);
}

int LastErrorCode() { return t_error_code; }
const char* LastErrorText() { return t_error_text.c_str(); }

char* GrowReturnBuffer(size_t size) {
  static thread_local ReturnBufferOwner owner;
  (void)owner;
  size_t capacity = std::max({size, 2 * t_return.capacity, size_t(256)});
  void* grown = std::realloc(t_return.data, capacity);
  if (grown == nullptr) throw std::bad_alloc();
  t_return.data = static_cast<char*>(grown);
  t_return.capacity = capacity;
  return t_return.data;
}

#if defined(__x86_64__)
const bool g_wide_stores = [] {
  __builtin_cpu_init();  // the library's initialisers may run before the C library's
  return __builtin_cpu_supports("avx") != 0;
}();

namespace {

// Bytes p[0, m) zero-padded to 16 (m <= 16), read without touching p[m] or beyond.
__attribute__((target("avx"), always_inline)) inline __m128i LoadPadded16(const char* p, size_t m) {
  if (m == 16) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  uint64_t low = 0, high = 0;
  if (m >= 8) {  // two overlapping words; the bytes they share are the same
    uint64_t first = 0, last = 0;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + m - 8, 8);
    low = first | (last << (8 * (m - 8)));
    high = m > 8 ? last >> (64 - 8 * (m - 8)) : 0;
  } else if (m >= 4) {
    uint32_t first = 0, last = 0;
    std::memcpy(&first, p, 4);
    std::memcpy(&last, p + m - 4, 4);
    low = first | (uint64_t(last) << (8 * (m - 4)));
  } else {
    for (size_t k = 0; k < m; ++k) low |= uint64_t(uint8_t(p[k])) << (8 * k);
  }
  return _mm_set_epi64x(int64_t(high), int64_t(low));
}

}  // namespace

__attribute__((target("avx"))) void StoreTextPadded32(char* out, const char* text, size_t n) {
  __m128i low = n >= 16 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(text))
                        : LoadPadded16(text, n);
  __m128i high = n > 16 ? LoadPadded16(text + 16, n - 16) : _mm_setzero_si128();
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_set_m128i(high, low));
}
#endif

void SetNoTableError() {
  SetError(Status::Error(XB_ERR_NO_TABLE, "No table is open in the current work area"));
}

void SetNoFieldError(const char* name) {
  SetError(Status::Error(XB_ERR_ARGUMENT,
                         std::string("No field named \"") + (name ? name : "") + "\""));
}

int32_t NotSupported(const char* name) {
  ClearError();
  SetError(Status::Error(XB_ERR_NOT_SUPPORTED, std::string(name) + " is not supported"));
  return -1;
}

std::string TablePath(const char* file) {
  std::string path = ResolvePath(file);
  std::string name = velloria::paths::NamePart(path);
  if (name.find('.') == std::string::npos && !CurrentOs()->Exists(path)) {
    path = ResolvePath(path + ".DBF");
  }
  return path;
}

}  // namespace api
}  // namespace xb

using namespace xb;
using namespace xb::api;

extern "C" {

XB_API const char* xb_Version(void) try {
  ClearError();
  return "Velloria xBase engine 1.0";
}
XB_CATCH_ALL("")

XB_API int32_t xb_LastErrorCode(void) try { return LastErrorCode(); }
XB_CATCH_ALL(0)
XB_API const char* xb_LastErrorText(void) try { return LastErrorText(); }
XB_CATCH_ALL("")

XB_API int32_t xb_LanguageDriver(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? t->layout().language_driver : -1;
}
XB_CATCH_ALL(-1)

XB_API const char* xb_TableDamage(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Ret(t->damage()) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_WriteRefusal(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Ret(t->write_refusal()) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_MountRisks(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? t->mount().risks : -1;
}
XB_CATCH_ALL(-1)

XB_API const char* xb_MountRiskText(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Ret(t->mount().described) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_ErrorLevel(int16_t level) try {
  ClearError();
  int previous = GlobalSettings().error_level;
  GlobalSettings().error_level = std::max<int>(level, XB_ERRORS_SILENT);
  return previous;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_FinalizeSession(void) try {
  xb_CloseAll();
  GlobalSettings() = Settings();
  S().create = PendingCreate();
  return 1;
}
XB_CATCH_ALL(0)

XB_API int16_t xb_UseEx(const char* file, const char* alias, int16_t mode, int16_t type,
                        int16_t commit_level) try {
  return OpenTable(file, alias, mode, type, commit_level);
}
XB_CATCH_ALL(0)

XB_API int16_t xb_Use(const char* file, const char* alias, int16_t mode, int16_t type) try {
  return OpenTable(file, alias, mode, type, XB_COMMIT_NORMAL);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Select(int16_t area) try {
  ClearError();
  if (area < 0 || area > kMaxAreas) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Work area " + std::to_string(area) + " is out of range"));
    return -1;
  }
  int previous = S().current;
  S().current = area;
  return previous;
}
XB_CATCH_ALL(-1)

XB_API int16_t xb_WorkArea(const char* alias) try {
  ClearError();
  if (alias == nullptr || *alias == 0) return 0;
  for (int area = 1; area <= kMaxAreas; ++area) {
    if (S().tables[size_t(area)] && strcasecmp(S().aliases[size_t(area)].c_str(), alias) == 0) {
      return int16_t(area);
    }
  }
  return 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_Alias(int16_t area) try {
  ClearError();
  if (area < 1 || area > kMaxAreas || !S().tables[size_t(area)]) return "";
  return Ret(S().aliases[size_t(area)]);
}
XB_CATCH_ALL("")

XB_API void xb_Close(void) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return;
  if (Check(t->Close())) Check(ClearPending(S().current));
  CloseOrders(S().current);
  S().tables[size_t(S().current)].reset();
  S().aliases[size_t(S().current)].clear();
}
XB_CATCH_ALL()

XB_API void xb_CloseAll(void) try {
  ClearError();
  Status first;
  for (int area = 1; area <= kMaxAreas; ++area) {
    auto& t = S().tables[size_t(area)];
    if (!t) continue;
    Status s = t->Close();
    if (s.ok()) s = ClearPending(area);
    CloseOrders(area);
    if (first.ok()) first = s;
    t.reset();
    S().aliases[size_t(area)].clear();
  }
  Check(first);
}
XB_CATCH_ALL()

XB_API int32_t xb_OpenMode(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? t->mode() : -1;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_GetCommitLevel(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? t->commit_level() : -1;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_CommitLevel(int16_t level) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return -1;
  if (level < XB_COMMIT_FULL || level > XB_COMMIT_NONE) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Commit level must be 0, 1 or 2"));
    return -1;
  }
  int previous = t->commit_level();
  t->set_commit_level(level);
  return previous;
}
XB_CATCH_ALL(-1)

XB_API const char* xb_BaseName(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Ret(t->path()) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_BaseDate(void) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return "";
  char text[16];
  const TableLayout& l = t->layout();
  std::snprintf(text, sizeof text, "%04d%02d%02d", l.year % 10000, l.month % 100, l.day % 100);
  return Ret(text);
}
XB_CATCH_ALL("")

XB_API int32_t xb_IsEncrypted(int16_t) try {
  ClearError();
  return 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SetPassword(const char* password) try {
  ClearError();
  GlobalSettings().password = password ? password : "";
  return 1;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SetStringType(int16_t type) try {
  ClearError();
  if (type != XB_STRING_ZERO_TERMINATED) return NotSupported("String type other than 1");
  return XB_STRING_ZERO_TERMINATED;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_SetHandles(int16_t count) try {
  ClearError();
  return count;
}
XB_CATCH_ALL(0)

XB_API void* xb_MemAlloc(uint32_t size) try {
  ClearError();
  return std::malloc(size == 0 ? 1 : size);
}
XB_CATCH_ALL(nullptr)

XB_API void xb_MemDealloc(void* block) try { std::free(block); }
XB_CATCH_ALL()

XB_API void* xb_MemRealloc(void* block, uint32_t size) try {
  ClearError();
  return std::realloc(block, size == 0 ? 1 : size);
}
XB_CATCH_ALL(nullptr)

}  // extern "C"
