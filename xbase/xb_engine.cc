// Loading and releasing the engine library and resolving its entry points.
#include "xbase/xb_engine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

namespace velloria::xbase {
namespace {

constexpr const char* kDefaultLibraryName = "libxbengine.so";

std::string& LibraryName() {
  static std::string name = kDefaultLibraryName;
  return name;
}

TEngineLoadFailureHandler& FailureHandler() {
  static TEngineLoadFailureHandler handler = [](const std::string& message) {
    std::cerr << message << std::endl;
  };
  return handler;
}

// dlopen by bare name searches the caller's RUNPATH ($ORIGIN/../lib); a loader wrapper
// (a sanitizer's interceptor, for one) becomes the caller and loses it, so that folder is
// also tried by its path.
void* OpenLibrary(const std::string& name) {
  void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr || name.find('/') != std::string::npos) return handle;
  char exe[4096];
  ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (length <= 0) return nullptr;
  std::string folder(exe, length);
  folder.erase(folder.rfind('/') + 1);
  return dlopen((folder + "../lib/" + name).c_str(), RTLD_NOW | RTLD_LOCAL);
}

// Entry points the binding can live without.
bool IsOptional(const char* name) { return std::strcmp(name, "xb_IsEncrypted") == 0; }

// An entry point beyond the 169: nullptr when the library does not export it.
template <typename Function>
void ResolveOptional(void* handle, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(dlsym(handle, name));
}

}  // namespace

bool TXbEngine::ResolveAll(void* handle) {
  TXbEntryPoints entries;
#define XB_ENTRY(ret, name, params, args)                                   \
  entries.name = reinterpret_cast<ret(*) params>(dlsym(handle, #name));     \
  if (entries.name == nullptr && !IsOptional(#name)) return false;
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
  ResolveOptional(handle, "xb_LanguageDriver", entries.xb_LanguageDriver);
  ResolveOptional(handle, "xb_LastErrorCode", entries.xb_LastErrorCode);
  ResolveOptional(handle, "xb_LastErrorText", entries.xb_LastErrorText);
  ResolveOptional(handle, "xb_MountRisks", entries.xb_MountRisks);
  ResolveOptional(handle, "xb_WriteRefusal", entries.xb_WriteRefusal);
  m_entries = entries;
  return true;
}

bool TXbEngine::Load() {
  if (m_loaded) return true;
  void* handle = OpenLibrary(LibraryName());
  if (handle == nullptr || !ResolveAll(handle)) {
    // The handle is forgotten, not released: a half-resolved library stays mapped.
    m_handle = nullptr;
    return false;
  }
  m_handle = handle;
  m_loaded = true;
  m_entries.xb_SetStringType(XB_STRING_ZERO_TERMINATED);
  return true;
}

void TXbEngine::Unload() {
  if (!m_loaded) return;
  dlclose(m_handle);
  m_handle = nullptr;
  m_loaded = false;
  m_entries = TXbEntryPoints{};
}

TXbEngine& XbEngine() {
  static TXbEngine engine;
  return engine;
}

bool EngineLoaded() { return XbEngine().Loaded(); }

std::string EngineFailure() {
  std::int32_t code = EngineFailureCode();
  if (code == XB_OK) return {};
  const TXbEntryPoints& xb = Xb();
  const char* text = xb.xb_LastErrorText != nullptr ? xb.xb_LastErrorText() : nullptr;
  if (text != nullptr && *text != '\0') return text;
  return "xBase engine error " + std::to_string(code);
}

bool EnsureEngineLoaded() {
  if (XbEngine().Loaded()) return true;
  if (XbEngine().Load()) return true;
  if (FailureHandler()) {
    FailureHandler()(std::string("Unable to load required xBase engine library: ") +
                     kDefaultLibraryName);
  }
  return false;
}

void UnloadEngine() { XbEngine().Unload(); }

void SetEngineLoadFailureHandler(TEngineLoadFailureHandler handler) {
  FailureHandler() = std::move(handler);
}

void SetEngineLibraryNameForTesting(const std::string& name) {
  LibraryName() = name.empty() ? kDefaultLibraryName : name;
}

}  // namespace velloria::xbase
