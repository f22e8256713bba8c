// A thin stand-in for libxbengine.so used by tests that must see which entry points the
// component calls and in what order: it exports the same 169 entry points and the language
// driver the binding reads, logs each call with its arguments and forwards it to the real library.
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <type_traits>

#include "engine/include/xbengine.h"

namespace {

struct RealEngine {
#define XB_ENTRY(ret, name, params, args) ret(*name) params = nullptr;
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
  decltype(&::xb_LanguageDriver) xb_LanguageDriver = nullptr;
};

// The real library lies beside this one. The bare name is tried first; a sanitizer's
// dlopen interceptor hides this library's RUNPATH, so the folder of this library follows.
void* OpenRealEngine() {
  if (void* handle = dlopen("libxbengine.so", RTLD_NOW | RTLD_LOCAL)) return handle;
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&OpenRealEngine), &self) == 0 || self.dli_fname == nullptr) {
    return nullptr;
  }
  std::string path = self.dli_fname;
  path = path.substr(0, path.rfind('/') + 1) + "libxbengine.so";
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

const RealEngine& Real() {
  static const RealEngine engine = [] {
    RealEngine resolved;
    void* handle = OpenRealEngine();
    if (handle == nullptr) {
      std::fprintf(stderr, "recording engine: %s\n", dlerror());
      std::abort();
    }
#define XB_ENTRY(ret, name, params, args) \
  resolved.name = reinterpret_cast<ret(*) params>(dlsym(handle, #name));
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
    resolved.xb_LanguageDriver = reinterpret_cast<decltype(resolved.xb_LanguageDriver)>(
        dlsym(handle, "xb_LanguageDriver"));
    return resolved;
  }();
  return engine;
}

std::string& Log() {
  static std::string log;
  return log;
}

template <class T>
std::string Text(T value) {
  if constexpr (std::is_same_v<T, const char*>) {
    return value == nullptr ? "NULL" : "\"" + std::string(value) + "\"";
  } else if constexpr (std::is_pointer_v<T>) {
    return "ptr";
  } else {
    return std::to_string(value);
  }
}

template <class... A>
void Record(const char* name, const std::tuple<A...>& args) {
  std::string line = std::string(name) + "(";
  std::apply([&](const auto&... arg) {
    bool first = true;
    ((line += (first ? "" : ", ") + Text(arg), first = false), ...);
  }, args);
  Log() += line + ")\n";
}

}  // namespace

extern "C" {

#define XB_ENTRY(ret, name, params, args)                            \
  __attribute__((visibility("default"))) ret name params {           \
    Record(#name, std::make_tuple args);                              \
    return Real().name args;                                          \
  }
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY

// Beyond the 169, as the real library has it.
__attribute__((visibility("default"))) int32_t xb_LanguageDriver(void) {
  Record("xb_LanguageDriver", std::make_tuple());
  return Real().xb_LanguageDriver();
}

// The calls recorded since the last clear, one "name(arguments)" per line.
__attribute__((visibility("default"))) const char* xbrec_Log() { return Log().c_str(); }
__attribute__((visibility("default"))) void xbrec_Clear() { Log().clear(); }

}  // extern "C"
