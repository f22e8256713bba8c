// Shared state of the C interface: the work areas, the current area, the thread's last error
// and the returned-string buffer, with the helpers every entry point uses. Single-threaded
// except for the error and string buffers, which are per thread.
#ifndef VELLORIA_ENGINE_API_INTERNAL_H_
#define VELLORIA_ENGINE_API_INTERNAL_H_

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "engine/table.h"

namespace xb::api {

inline constexpr int kMaxAreas = 250;

struct PendingCreate {
  bool active = false;
  std::string path;
  std::string alias;
  TableLayout layout;
};

struct Session {
  std::array<std::unique_ptr<Table>, kMaxAreas + 1> tables;
  std::array<std::string, kMaxAreas + 1> aliases;
  int current = 0;
  PendingCreate create;
};

// Initial-exec TLS: the library is linked by its clients or loaded at start, and the
// default model would cost a call on every entry point.
#define XB_TLS thread_local __attribute__((tls_model("initial-exec")))
extern constinit XB_TLS int t_error_code;
extern Session g_session;

inline Session& S() { return g_session; }

void ClearErrorText();
inline void ClearError() {
  if (t_error_code != XB_OK) ClearErrorText();
}
// Records s as the thread's last error (printed to stderr when the error level is >= 1).
void SetError(const Status& s);
int LastErrorCode();
const char* LastErrorText();

// The thread's returned-string buffer. Trivially destructible, so that Ret needs no per-call
// guard of a thread-local object.
struct ReturnBuffer {
  char* data = nullptr;
  size_t capacity = 0;
};
extern constinit XB_TLS ReturnBuffer t_return;
// Makes the buffer hold at least size bytes (never fewer than 256) and returns it.
char* GrowReturnBuffer(size_t size);
#if defined(__x86_64__)
// Whether the processor (and the system) run AVX: set once when the library loads.
extern const bool g_wide_stores;
// Writes the n < 32 bytes of text, zero-padded to 32, to out with one 32-byte store (AVX),
// reading no byte of text past n. A caller's strlen reads the returned text 16 or 32 bytes
// at a time: it gets them forwarded from that one store, where after narrower stores it
// waits for them to reach the cache.
void StoreTextPadded32(char* out, const char* text, size_t n);
#endif
// Copies text into the thread's return buffer and returns it. REQUIRES: text does not lie
// in that buffer (a string returned earlier is passed again only through a copy).
inline const char* Ret(std::string_view text) {
  size_t n = text.size();
  char* out = n < t_return.capacity ? t_return.data : GrowReturnBuffer(n + 1);
#if defined(__x86_64__)
  if (n < 32 && g_wide_stores) {
    StoreTextPadded32(out, text.data(), n);
    return out;
  }
#endif
  CopyInWords(out, text.data(), n);
  out[n] = 0;
  return out;
}

void SetNoTableError();
// The current area's table; nullptr (with XB_ERR_NO_TABLE set) when none.
inline Table* CurrentTable() {
  Table* t = g_session.tables[size_t(g_session.current)].get();
  if (t == nullptr) SetNoTableError();
  return t;
}
void SetNoFieldError(const char* name);
// Index of field `name` in t; -1 (with XB_ERR_ARGUMENT set) when none.
inline int FieldIndexOf(Table* t, const char* name) {
  int index = name != nullptr ? t->FieldIndexOfName(name) : -1;
  if (index < 0) SetNoFieldError(name);
  return index;
}

// Every entry point is a function-try-block ending in XB_CATCH_ALL(its failure answer): an
// exception (memory ran out, or a fault of the engine's own) becomes the thread's last error,
// XB_ERR_INTERNAL, and never unwinds into a caller written in C.
#define XB_CATCH_ALL(answer)            \
  catch (...) {                         \
    ::xb::api::SetErrorFromException(); \
    return answer;                      \
  }
// Records the exception being handled as the last error.
void SetErrorFromException() noexcept;
// Defines an entry point the engine does not support: it answers -1 with
// XB_ERR_NOT_SUPPORTED. params: the declaration's parameter list, in parentheses.
#define XB_NOT_SUPPORTED(name, params)                                      \
  XB_API int32_t name params try { return ::xb::api::NotSupported(#name); } \
  XB_CATCH_ALL(-1)

// Sets s as the error when it failed; returns whether it succeeded.
inline bool Check(const Status& s) {
  if (s.ok()) return true;
  SetError(s);
  return false;
}

// Answer of an unsupported entry point.
int32_t NotSupported(const char* name);

// True for a table type code XB_TYPE_NTX..XB_TYPE_CLIPPER.
inline bool ValidTableType(int type) { return type >= XB_TYPE_NTX && type <= XB_TYPE_CLIPPER; }

// Path with ".DBF" added when it has no extension and does not exist as given.
std::string TablePath(const char* file);

}  // namespace xb::api

#endif  // VELLORIA_ENGINE_API_INTERNAL_H_
