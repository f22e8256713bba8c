// Shared by the table component's benchmarks: the record count from the command line, the
// program's environment settings, a scratch folder and a category table of N records.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "xbase/xb_engine.h"
#include "xbase/xbase_env.h"

namespace bench {

// Records asked on the command line (100,000 by default); 0 after printing the usage.
inline int RecordsArgument(int argc, char** argv) {
  int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (records < 1) std::fprintf(stderr, "usage: %s [records > 0]\n", argv[0]);
  return records < 1 ? 0 : records;
}

// The engine loaded and set as the program sets it (for as long as `env` lives).
inline bool PrepareEngine(velloria::xbase::TXBaseEnv* env) {
  if (!velloria::xbase::EnsureEngineLoaded()) return false;
  env->SetDeleted(true);
  env->SetEpoch(1910);
  env->SetExact(true);
  return true;
}

inline std::string ScratchFolder(const char* name) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  return mkdtemp(pattern.data());
}

inline std::string CategoryName(int i) { return "Categoria " + std::to_string(i); }

// `file` with DESCRIZIO C40, DIR C60, TIPO N1, VISUALIZZA L; DESCRIZIO and DIR both hold
// CategoryName(i), TIPO alternates 1 and 2. With `indexFile`, an NTX order on DESCRIZIO.
inline void CreateCategories(const std::string& file, int records, const std::string& indexFile = {}) {
  const auto& xb = velloria::xbase::Xb();
  xb.xb_CreateNew(file.c_str(), "", 1, 4);
  xb.xb_CreateField("DESCRIZIO", "C", 40, 0);
  xb.xb_CreateField("DIR", "C", 60, 0);
  xb.xb_CreateField("TIPO", "N", 1, 0);
  xb.xb_CreateField("VISUALIZZA", "L", 1, 0);
  xb.xb_CreateExec();
  xb.xb_UseEx(file.c_str(), "BENCHMAKE", 2, 1, 2);
  std::string image(1 + 40 + 60 + 1 + 1, ' ');
  for (int i = 0; i < records; ++i) {
    std::string name = CategoryName(i);
    image.replace(1, name.size(), name);
    image.replace(41, name.size(), name);
    image[101] = static_cast<char>('1' + i % 2);
    xb.xb_AppendBlank();
    xb.xb_PutRecord(image.data());
  }
  if (!indexFile.empty()) xb.xb_Index(indexFile.c_str(), "DESCRIZIO", 0, 0, "");
  xb.xb_Commit();
  xb.xb_Close();
}

}  // namespace bench
