// Engine benchmarks, side by side in one run: the hand-written limit (plain C over mmap),
// shapelib's DBFRead*Attribute and the engine, on tables of DESCRIZIO C40, DIR C20,
// VISUALIZZA L, TIPO N1: a full scan, the TIPO/VISUALIZZA query with its count (on an
// exclusive open and on a shared read-only one), and the sweep that rewrites VISUALIZZA of
// every record; the scan also through the typed readers by name and by number. The engine runs in a child process so
// that its peak memory is its own. Usage: engine_bench [records ...] (default 100000 1000000).
#include <shapefil.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench/engine/bench_table.h"
#include "bench/engine/limit.h"
#include "engine/include/xbengine.h"

namespace {

// CPU time of this process in milliseconds (user + system): on a shared, loaded machine it
// measures the work itself rather than the wait for a core.
double CpuMillis() {
  struct timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double BestMillis(int reps, const std::function<long()>& work, long* result) {
  double best = 1e18;
  for (int i = 0; i < reps; ++i) {
    double start = CpuMillis();
    *result = work();
    best = std::min(best, CpuMillis() - start);
  }
  return best;
}

// ---- shapelib ---------------------------------------------------------------------------

long ShapelibScan(const char* path) {
  DBFHandle h = DBFOpen(path, "rb");
  long sum = 0;
  for (int r = 0, n = DBFGetRecordCount(h); r < n; ++r) {
    sum += long(std::strlen(DBFReadStringAttribute(h, r, 0)));
    sum += long(std::strlen(DBFReadStringAttribute(h, r, 1)));
    const char* v = DBFReadLogicalAttribute(h, r, 2);
    sum += v[0] == 'T' || v[0] == 't' || v[0] == 'Y' || v[0] == 'y';
    sum += DBFReadIntegerAttribute(h, r, 3);
  }
  DBFClose(h);
  return sum;
}

long ShapelibQuery(const char* path) {
  DBFHandle h = DBFOpen(path, "rb");
  long count = 0;
  for (int r = 0, n = DBFGetRecordCount(h); r < n; ++r) {
    char v = DBFReadLogicalAttribute(h, r, 2)[0];  // copied: the next read reuses the buffer
    count +=
        DBFReadIntegerAttribute(h, r, 3) == 1 && (v == 'T' || v == 't' || v == 'Y' || v == 'y');
  }
  DBFClose(h);
  return count;
}

long ShapelibSweep(const char* path) {
  DBFHandle h = DBFOpen(path, "r+b");
  long sum = 0;
  for (int r = 0, n = DBFGetRecordCount(h); r < n; ++r) {
    sum += long(std::strlen(DBFReadStringAttribute(h, r, 1)));
    DBFWriteLogicalAttribute(h, r, 2, (r & 1) ? 'T' : 'F');
  }
  DBFClose(h);
  return sum;
}

// ---- engine ------------------------------------------------------------------------------

size_t TrimmedLength(const char* p, size_t width) {
  while (width > 0 && p[width - 1] == ' ') --width;
  return width;
}

// The program's road: each record as a raw image (xb_GetRecord), decoded by the caller.
long EngineScan(const char* path) {
  xb_UseEx(path, "B", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
  long sum = 0;
  char rec[bench::kRecordLength];
  char descrizio[41], dir[21];
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    xb_GetRecord(rec);
    size_t n = TrimmedLength(rec + 1, 40);
    std::memcpy(descrizio, rec + 1, n);
    sum += long(n);
    n = TrimmedLength(rec + 41, 20);
    std::memcpy(dir, rec + 41, n);
    sum += long(n);
    sum += rec[61] == 'T' || rec[61] == 't' || rec[61] == 'Y' || rec[61] == 'y';
    sum += rec[62] >= '0' && rec[62] <= '9' ? rec[62] - '0' : 0;
  }
  xb_CloseAll();
  return sum;
}

// The same scan through the typed readers, one call per field.
long EngineTypedScan(const char* path) {
  xb_UseEx(path, "B", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
  long sum = 0;
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    sum += long(std::strlen(xb_GetTrimString("DESCRIZIO")));
    sum += long(std::strlen(xb_GetTrimString("DIR")));
    sum += xb_GetLogical("VISUALIZZA");
    sum += xb_GetInteger("TIPO");
  }
  xb_CloseAll();
  return sum;
}

// The same through the readers by field number, the text copied with its length.
long EngineNumberedScan(const char* path) {
  xb_UseEx(path, "B", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
  const int32_t descrizio = xb_FieldNum("DESCRIZIO"), dir = xb_FieldNum("DIR");
  const int32_t visualizza = xb_FieldNum("VISUALIZZA"), tipo = xb_FieldNum("TIPO");
  long sum = 0;
  char text[41];
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    sum += xb_GetTrimStringNum(descrizio, text, sizeof text);
    sum += xb_GetTrimStringNum(dir, text, sizeof text);
    sum += xb_GetLogicalNum(visualizza);
    sum += xb_GetIntegerNum(tipo);
  }
  xb_CloseAll();
  return sum;
}

// mode: XB_OPEN_EXCLUSIVE (mapped) or XB_OPEN_READ_ONLY (shared, read in blocks).
long EngineQuery(const char* path, int mode) {
  xb_UseEx(path, "B", int16_t(mode), 1, XB_COMMIT_NORMAL);
  xb_Query("TIPO=1 AND VISUALIZZA=TRUE");
  long count = xb_QueryRecCount();
  xb_CloseAll();
  return count;
}

long EngineSweep(const char* path) {
  xb_UseEx(path, "B", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
  long sum = 0;
  char rec[bench::kRecordLength];
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    sum += long(std::strlen(xb_GetTrimString("DIR")));
    xb_GetRecord(rec);
    rec[61] = ((xb_RecNo() - 1) & 1) ? 'T' : 'F';
    xb_PutRecord(rec);
    xb_Commit();
  }
  xb_CloseAll();
  return sum;
}

struct Row {
  const char* name;
  double limit, shapelib, engine;
  long limit_result, shapelib_result, engine_result;
};

// Runs the engine's work in a child process (first the reads, or only the sweep) and
// reports its times, results and peak memory through a pipe.
struct EngineFigures {
  double times[6] = {};
  long results[6] = {};
  double peak_mib = 0;
};

EngineFigures RunEngineChild(const std::string& path, int reps, bool sweep) {
  int fds[2];
  if (pipe(fds) != 0) std::exit(1);
  pid_t child = fork();
  if (child == 0) {
    EngineFigures f;
    if (!sweep) {
      f.times[0] = BestMillis(
          reps, [&] { return EngineScan(path.c_str()); }, &f.results[0]);
      f.times[1] = BestMillis(
          reps, [&] { return EngineTypedScan(path.c_str()); }, &f.results[1]);
      f.times[2] = BestMillis(
          reps, [&] { return EngineQuery(path.c_str(), XB_OPEN_EXCLUSIVE); }, &f.results[2]);
      f.times[4] = BestMillis(
          reps, [&] { return EngineQuery(path.c_str(), XB_OPEN_READ_ONLY); }, &f.results[4]);
      f.times[5] = BestMillis(
          reps, [&] { return EngineNumberedScan(path.c_str()); }, &f.results[5]);
    } else {
      f.times[3] = BestMillis(
          reps, [&] { return EngineSweep(path.c_str()); }, &f.results[3]);
    }
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    f.peak_mib = double(usage.ru_maxrss) / 1024.0;
    (void)!write(fds[1], &f, sizeof f);
    _exit(0);
  }
  EngineFigures f;
  (void)!read(fds[0], &f, sizeof f);
  waitpid(child, nullptr, 0);
  close(fds[0]);
  close(fds[1]);
  return f;
}

void RunSize(long n) {
  std::string path = "/tmp/xbengine-bench-" + std::to_string(getpid()) + ".dbf";
  if (!bench::MakeTable(path, n)) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), xb_LastErrorText());
    std::exit(1);
  }
  int reps = n > 200000 ? 3 : 5;
  // Reads first (all three on the same table), then the sweeps, which all write the same bytes.
  EngineFigures reads = RunEngineChild(path, reps, false);
  Row rows[4] = {{"scan", 0, 0, reads.times[0], 0, 0, reads.results[0]},
                 {"query", 0, 0, reads.times[2], 0, 0, reads.results[2]},
                 {"query/s", 0, 0, reads.times[4], 0, 0, reads.results[4]},
                 {"sweep", 0, 0, 0, 0, 0, 0}};
  rows[0].limit = BestMillis(
      reps, [&] { return LimitScan(path.c_str()); }, &rows[0].limit_result);
  rows[0].shapelib = BestMillis(
      reps, [&] { return ShapelibScan(path.c_str()); }, &rows[0].shapelib_result);
  rows[1].limit = BestMillis(
      reps, [&] { return LimitQuery(path.c_str()); }, &rows[1].limit_result);
  rows[1].shapelib = BestMillis(
      reps, [&] { return ShapelibQuery(path.c_str()); }, &rows[1].shapelib_result);
  rows[2].limit = rows[1].limit, rows[2].limit_result = rows[1].limit_result;
  rows[2].shapelib = rows[1].shapelib, rows[2].shapelib_result = rows[1].shapelib_result;
  EngineFigures sweeps = RunEngineChild(path, reps, true);
  rows[3].engine = sweeps.times[3];
  rows[3].engine_result = sweeps.results[3];
  rows[3].limit = BestMillis(
      reps, [&] { return LimitSweep(path.c_str()); }, &rows[3].limit_result);
  rows[3].shapelib = BestMillis(
      reps, [&] { return ShapelibSweep(path.c_str()); }, &rows[3].shapelib_result);
  double peak = std::max(reads.peak_mib, sweeps.peak_mib);
  double* engine = reads.times;

  std::printf("\n%ld records (CPU milliseconds, best of %d runs)\n", n, reps);
  std::printf("%-7s %10s %10s %10s %12s %14s  %s\n", "work", "limit", "shapelib", "engine",
              "engine/limit", "shapelib/eng.", "results agree");
  for (const Row& r : rows) {
    bool agree = r.limit_result == r.engine_result && r.shapelib_result == r.engine_result;
    std::printf("%-7s %10.2f %10.2f %10.2f %11.2fx %13.2fx  %s\n", r.name, r.limit, r.shapelib,
                r.engine, r.engine / r.limit, r.shapelib / r.engine, agree ? "yes" : "NO");
    if (!agree)
      std::printf("        results: limit %ld, shapelib %ld, engine %ld\n", r.limit_result,
                  r.shapelib_result, r.engine_result);
  }
  std::printf("query/s: the query on a shared read-only open, read in blocks\n");
  std::printf("engine scan through typed readers (xb_GetTrimString etc.): %.2f ms (%.2fx limit)%s\n",
              engine[1], engine[1] / rows[0].limit, reads.results[1] == rows[0].limit_result ? "" : ", results DIFFER");
  std::printf("engine scan through readers by number (xb_GetTrimStringNum etc.): %.2f ms (%.2fx limit)%s\n",
              engine[5], engine[5] / rows[0].limit, reads.results[5] == rows[0].limit_result ? "" : ", results DIFFER");
  std::printf("engine process peak memory: %.1f MiB (table file %.1f MiB)\n", peak,
              double(32 + 4 * 32 + 1 + n * bench::kRecordLength) / (1024.0 * 1024.0));
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) {
    char* end = nullptr;
    long n = std::strtol(argv[i], &end, 10);
    if (*end != 0 || n < 1 || n > 100000000) {
      std::fprintf(stderr, "usage: engine_bench [records ...]\n");
      return 2;
    }
    sizes.push_back(n);
  }
  if (sizes.empty()) sizes = {100000, 1000000};
  for (long n : sizes) RunSize(n);
  return 0;
}
