// The benchmarks' table: DESCRIZIO C40, DIR C20, VISUALIZZA L, TIPO N1, n records written
// by hand after the engine's create (TIPO r % 4, VISUALIZZA false when r % 3 == 0).
#ifndef VELLORIA_BENCH_ENGINE_BENCH_TABLE_H_
#define VELLORIA_BENCH_ENGINE_BENCH_TABLE_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/include/xbengine.h"

namespace bench {

constexpr int kRecordLength = 63;

// Writes a table of n records through the engine's create, then the records by hand.
inline bool MakeTable(const std::string& path, long n) {
  xb_CreateNewEx(path.c_str(), "", 1, 4, 0x03);
  xb_CreateField("DESCRIZIO", "C", 40, 0);
  xb_CreateField("DIR", "C", 20, 0);
  xb_CreateField("VISUALIZZA", "L", 1, 0);
  xb_CreateField("TIPO", "N", 1, 0);
  if (!xb_CreateExec()) return false;
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (f == nullptr) return false;
  std::fseek(f, 32 + 4 * 32 + 1, SEEK_SET);
  char rec[kRecordLength + 1];
  for (long r = 0; r < n; ++r) {
    std::memset(rec, ' ', sizeof rec);
    char text[64];
    int len = std::snprintf(text, sizeof text, "Categoria numero %ld", r);
    std::memcpy(rec + 1, text, size_t(len));
    len = std::snprintf(text, sizeof text, "DIR%ld", r % 1000);
    std::memcpy(rec + 41, text, size_t(len));
    rec[61] = r % 3 == 0 ? 'F' : 'T';
    rec[62] = char('0' + r % 4);
    std::fwrite(rec, 1, kRecordLength, f);
  }
  std::fputc(0x1A, f);
  unsigned char count[4] = {uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)};
  std::fseek(f, 4, SEEK_SET);
  std::fwrite(count, 1, 4, f);
  return std::fclose(f) == 0;
}

}  // namespace bench

#endif  // VELLORIA_BENCH_ENGINE_BENCH_TABLE_H_
