// Binding of the xBase engine library: one process-wide TXbEngine loads libxbengine.so
// on first demand with dlopen, resolves its 169 entry points by name into a table of
// function pointers (built from engine/include/xb_entrypoints.def) and releases it at
// process end. Single-threaded; no Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/include/xbengine.h"

namespace velloria::xbase {

// One slot per entry point, named after it; nullptr until loaded.
struct TXbEntryPoints {
#define XB_ENTRY(ret, name, params, args) ret(*name) params = nullptr;
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
  // Beyond the 169: nullptr when the library does not export it.
  decltype(&::xb_LanguageDriver) xb_LanguageDriver = nullptr;
  decltype(&::xb_LastErrorCode) xb_LastErrorCode = nullptr;
  decltype(&::xb_LastErrorText) xb_LastErrorText = nullptr;
  decltype(&::xb_MountRisks) xb_MountRisks = nullptr;
  decltype(&::xb_WriteRefusal) xb_WriteRefusal = nullptr;
};

class TXbEngine {
 public:
  bool Loaded() const { return m_loaded; }
  const TXbEntryPoints& Entries() const { return m_entries; }
  // Loads the library when not loaded; see EnsureEngineLoaded.
  bool Load();
  // Releases the library when loaded (errors ignored) and forgets every entry point.
  void Unload();

 private:
  bool ResolveAll(void* handle);

  bool m_loaded = false;
  void* m_handle = nullptr;
  TXbEntryPoints m_entries;
};

// The process-wide binding.
TXbEngine& XbEngine();
// The entry points of the loaded engine. REQUIRES: EngineLoaded().
inline const TXbEntryPoints& Xb() { return XbEngine().Entries(); }

// True once a load has succeeded (and until UnloadEngine).
bool EngineLoaded();

// The engine's code for the call just made: XB_OK when it succeeded (every entry point
// clears the last error on entry) or when the library cannot say (it exports no
// xb_LastErrorCode). Callers check a call in one line, reading this right after it.
inline std::int32_t EngineFailureCode() {
  auto lastErrorCode = Xb().xb_LastErrorCode;
  return lastErrorCode != nullptr ? lastErrorCode() : XB_OK;
}
// Why the engine call just made failed, in the engine's words; "" when EngineFailureCode is
// XB_OK.
std::string EngineFailure();

// Loads the engine when it is not loaded. On failure the failure handler is called with
// "Unable to load required xBase engine library: libxbengine.so" (at every failed demand)
// and false is returned; nothing is thrown.
bool EnsureEngineLoaded();
// Releases the engine (at process end).
void UnloadEngine();

// Shows a failed load. The application sets one that shows an error box with an OK button
// and then asks the application to terminate; by default the message goes to stderr.
using TEngineLoadFailureHandler = std::function<void(const std::string& message)>;
void SetEngineLoadFailureHandler(TEngineLoadFailureHandler handler);

// Test hook: the name handed to dlopen instead of "libxbengine.so" (a recording
// wrapper). Takes effect at the next load; an empty name restores the default.
void SetEngineLibraryNameForTesting(const std::string& name);

}  // namespace velloria::xbase
