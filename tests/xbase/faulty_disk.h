// A disk that refuses the engine's writes or reads: while a FaultyDisk lives, the binding
// loads libxbfaulty.so (the engine with its file system calls wrapped) instead of
// libxbengine.so. Tables are opened after it is made and closed before it goes.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {

class FaultyDisk {
 public:
  FaultyDisk() {
    UnloadEngine();
    SetEngineLibraryNameForTesting("libxbfaulty.so");
    EXPECT_TRUE(EnsureEngineLoaded());
    m_handle = dlopen("libxbfaulty.so", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    m_refuse = reinterpret_cast<void (*)(int, int, int)>(dlsym(m_handle, "xbfault_Refuse"));
    EXPECT_NE(m_refuse, nullptr);
  }
  ~FaultyDisk() {
    Mend();
    UnloadEngine();
    SetEngineLibraryNameForTesting("");
    dlclose(m_handle);
  }
  FaultyDisk(const FaultyDisk&) = delete;
  FaultyDisk& operator=(const FaultyDisk&) = delete;

  // Every write, sync or truncate after `allowed` more fails with errno `error`'s text.
  void RefuseWrites(int error, int allowed = 0) { m_refuse(1, error, allowed); }
  // Every read of the file (read or map) after `allowed` more fails the same way.
  void RefuseReads(int error, int allowed = 0) { m_refuse(2, error, allowed); }
  void Mend() { m_refuse(0, 0, 0); }

 private:
  void* m_handle = nullptr;
  void (*m_refuse)(int, int, int) = nullptr;
};

}  // namespace velloria::xbase::testing
