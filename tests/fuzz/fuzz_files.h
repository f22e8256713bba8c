// Scratch files of the fuzz targets: a base path of this process's own under /tmp and a
// whole-file write of the fuzzed bytes.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace fuzzfiles {

inline std::string TempBase(const char* target) {
  return "/tmp/" + std::string(target) + "_" + std::to_string(getpid());
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace fuzzfiles
