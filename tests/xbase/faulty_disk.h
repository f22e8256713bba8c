// A disk that refuses the engine's writes or reads, or stands on a mount of the test's
// choosing: while a FaultyDisk lives, the binding loads libxbfaulty.so (the engine with its
// file system calls wrapped) instead of libxbengine.so. Tables are opened after it is made
// and closed before it goes.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "xbase/xb_engine.h"
#include "xbase/xbase_table.h"

namespace velloria::xbase::testing {

class FaultyDisk {
 public:
  FaultyDisk() {
    UnloadEngine();
    SetEngineLibraryNameForTesting("libxbfaulty.so");
    EXPECT_TRUE(EnsureEngineLoaded());
    m_handle = dlopen("libxbfaulty.so", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    m_refuse = reinterpret_cast<void (*)(int, int, int)>(dlsym(m_handle, "xbfault_Refuse"));
    m_mountInfo = reinterpret_cast<void (*)(const char*)>(dlsym(m_handle, "xbfault_MountInfo"));
    EXPECT_NE(m_refuse, nullptr);
    EXPECT_NE(m_mountInfo, nullptr);
  }
  ~FaultyDisk() {
    Mend();
    m_mountInfo("");
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
  // The engine reads `mountinfo` as this process's mount table from the next open on.
  void SetMountInfo(const std::string& mountinfo) { m_mountInfo(mountinfo.c_str()); }

 private:
  void* m_handle = nullptr;
  void (*m_refuse)(int, int, int) = nullptr;
  void (*m_mountInfo)(const char*) = nullptr;
};

// Runs `step`, which must raise the table error carrying `cause`, the refused call's text.
template <typename Step>
void ExpectRefused(Step step, const std::string& cause) {
  try {
    step();
    ADD_FAILURE() << "no error raised";
  } catch (const EXBaseError& error) {
    EXPECT_NE(std::string(error.what()).find(cause), std::string::npos) << error.what();
  }
}

}  // namespace velloria::xbase::testing
