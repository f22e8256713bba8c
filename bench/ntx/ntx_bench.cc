// NTX benchmark: on a table of N records (default 1,000,000), the CPU time of a full scan in
// natural order (the baseline) and of building an index on a character key, the median
// time of one xb_Seek with a warm cache and with the files evicted from the page cache, and
// the cost per record of a sweep that rewrites a non-key field of every record with the
// index open (exclusive and shared opens), which pays for the index's pending mark.
// Usage: ntx_bench [records] [folder]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/include/xbengine.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// CPU time of the process: the scan and the build read files from the page cache, and CPU
// time keeps their ratio steady on a machine busy with other work.
double CpuSeconds() {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

std::string Code(uint32_t i) {
  char text[16];
  std::snprintf(text, sizeof text, "K%09u", (i * 2654435761u) % 1000000007u);
  return text;
}

// Writes a dBase III table with CODE C(10) and N N(8) holding `count` records.
void WriteTable(const std::string& path, uint32_t count) {
  const uint16_t header_length = 32 + 2 * 32 + 1, record_length = 1 + 10 + 8;
  std::vector<uint8_t> header(header_length, 0);
  header[0] = 0x03;
  header[1] = 125, header[2] = 1, header[3] = 1;
  std::memcpy(&header[4], &count, 4);
  std::memcpy(&header[8], &header_length, 2);
  std::memcpy(&header[10], &record_length, 2);
  const char* names[] = {"CODE", "N"};
  const char types[] = {'C', 'N'};
  const uint8_t widths[] = {10, 8};
  for (int f = 0; f < 2; ++f) {
    uint8_t* d = &header[32 + 32 * f];
    std::memcpy(d, names[f], std::strlen(names[f]));
    d[11] = uint8_t(types[f]);
    d[16] = widths[f];
  }
  header[header_length - 1] = 0x0D;
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(header.data(), 1, header.size(), out);
  char record[32];
  for (uint32_t i = 1; i <= count; ++i) {
    std::snprintf(record, sizeof record, " %-10s%8u", Code(i).c_str(), i % 100000000u);
    std::fwrite(record, 1, record_length, out);
  }
  std::fputc(0x1A, out);
  std::fclose(out);
}

void Evict(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

// Rewrites N of the first `limit` records in natural order, one put and commit each; returns
// seconds per record.
double Sweep(const std::string& table, const std::string& index, int mode, uint32_t limit) {
  xb_UseEx(table.c_str(), "S", int16_t(mode), XB_TYPE_NTX, XB_COMMIT_NORMAL);
  xb_IndexOpen(index.c_str());
  xb_SetOrder(0);
  std::vector<char> record(static_cast<size_t>(xb_RecSize()));
  auto start = Clock::now();
  uint32_t n = 0;
  for (xb_GoTop(); !xb_Eof() && n < limit; xb_Skip(1), ++n) {
    xb_GetRecord(record.data());
    std::snprintf(&record[11], 9, "%8u", n);
    if (!xb_PutRecord(record.data()) || !xb_Commit())
      std::fprintf(stderr, "ntx_bench: %s\n", xb_LastErrorText());
  }
  const double per_record = Seconds(start) / std::max<uint32_t>(n, 1);
  xb_CloseAll();
  return per_record;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t count = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 1000000;
  const char* tmp = std::getenv("TMPDIR");
  const std::string folder = argc > 2 ? argv[2] : (tmp ? tmp : "/tmp");
  const std::string table = folder + "/ntx_bench.dbf", index = folder + "/ntx_bench.ntx";
  WriteTable(table, count);
  if (xb_UseEx(table.c_str(), "B", XB_OPEN_EXCLUSIVE, XB_TYPE_NTX, XB_COMMIT_NORMAL) <= 0) {
    std::fprintf(stderr, "ntx_bench: %s\n", xb_LastErrorText());
    return 1;
  }
  double cpu = CpuSeconds();
  Clock::time_point start = Clock::now();
  uint32_t seen = 0;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) ++seen;
  const double scan = CpuSeconds() - cpu, scan_wall = Seconds(start);

  cpu = CpuSeconds();
  if (xb_Index(index.c_str(), "CODE", 0, 0, "") <= 0) {
    std::fprintf(stderr, "ntx_bench: %s\n", xb_LastErrorText());
    return 1;
  }
  const double build = CpuSeconds() - cpu;

  std::mt19937 random(1);
  std::vector<double> warm, cold;
  for (int i = 0; i < 1001; ++i) {
    std::string key = Code(1 + random() % count);
    start = Clock::now();
    if (!xb_Seek(key.c_str())) std::fprintf(stderr, "ntx_bench: %s not found\n", key.c_str());
    warm.push_back(Seconds(start));
  }
  for (int i = 0; i < 101; ++i) {
    std::string key = Code(1 + random() % count);
    xb_CloseIndexes();
    xb_IndexOpen(index.c_str());
    Evict(index);
    Evict(table);
    start = Clock::now();
    xb_Seek(key.c_str());
    cold.push_back(Seconds(start));
  }
  xb_CloseAll();
  const uint32_t swept = std::min<uint32_t>(count, 100000);
  const double sweep_exclusive = Sweep(table, index, XB_OPEN_EXCLUSIVE, swept);
  const double sweep_shared = Sweep(table, index, XB_OPEN_SHARED, swept);
  std::remove(table.c_str());
  std::remove(index.c_str());

  std::printf("records                 %u (scanned %u)\n", count, seen);
  std::printf("full scan (baseline)    %.3f s CPU, %.3f s elapsed\n", scan, scan_wall);
  std::printf("index build             %.3f s CPU = %.2f x the scan (target <= 5)\n", build,
              build / scan);
  std::printf("seek, warm, median      %.1f us  = 1/%.0f of the scan's elapsed time (target 1/1000)\n",
              Median(warm) * 1e6, scan_wall / Median(warm));
  std::printf("seek, cold, median      %.1f us  = 1/%.0f of the scan's elapsed time (target 1/1000)\n",
              Median(cold) * 1e6, scan_wall / Median(cold));
  std::printf("sweep, index open, %u   exclusive %.2f us/record, shared %.2f us/record\n",
              swept, sweep_exclusive * 1e6, sweep_shared * 1e6);
  return 0;
}
