// The engine on a simulated network share: every call that would reach the file server
// waits a fixed delay (0.2 ms by default, a LAN round trip) and is counted. Opens a table of
// N records shared, counts the TIPO/VISUALIZZA query, and sweeps it as the table component
// edits a record (lock, fresh read, write, commit, unlock), beside the same work on the local
// disk. Usage: share_bench [records] [delay_microseconds]   (defaults: 10000 200).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/engine/bench_table.h"
#include "engine/include/xbengine.h"
#include "engine/os.h"
#include "engine/os_share.h"

namespace {

struct Step {
  const char* name;
  std::function<long()> work;
};

void Run(const char* where, xb::ShareOs& os, const std::string& path) {
  long count = 0, swept = 0;
  Step steps[] = {
      {"open", [&] { return long(xb_UseEx(path.c_str(), "B", XB_OPEN_SHARED, 1, 1)); }},
      {"count",
       [&] {
         xb_Query("TIPO=1 AND VISUALIZZA=TRUE");
         count = xb_QueryRecCount();
         xb_Query("");
         return count;
       }},
      {"sweep",
       [&] {
         char record[bench::kRecordLength];
         for (xb_GoTop(); !xb_Eof(); xb_Skip(1), ++swept) {
           int32_t r = xb_RecNo();
           if (xb_Rlock(r) == 0) return -1L;
           xb_Go(r);
           xb_GetRecord(record);
           record[61] = (r - 1) % 3 == 0 ? 'F' : 'T';  // as written: both runs count alike
           xb_PutRecord(record);
           xb_Commit();
           xb_Unlock(0);
         }
         return swept;
       }},
      {"close", [&] { return xb_Close(), 0L; }},
  };
  std::printf("\n%s\n%-6s %10s %8s %8s %8s %8s %8s %8s  %s\n", where, "step", "wall ms", "calls",
              "reads", "writes", "sizes", "locks", "opens", "result");
  for (const Step& step : steps) {
    os.ResetCounts();
    auto start = std::chrono::steady_clock::now();
    long result = step.work();
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const xb::ShareOs::Counts& c = os.counts();
    std::printf("%-6s %10.1f %8lld %8lld %8lld %8lld %8lld %8lld  %ld\n", step.name, ms,
                (long long)c.Total(), (long long)c.reads, (long long)c.writes, (long long)c.sizes,
                (long long)c.locks, (long long)c.opens, result);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long n = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
  int delay = argc > 2 ? std::atoi(argv[2]) : 200;
  if (n < 1 || delay < 0) {
    std::fprintf(stderr, "usage: share_bench [records] [delay_microseconds]\n");
    return 2;
  }
  std::string path = "/tmp/xbengine-share-bench-" + std::to_string(getpid()) + ".dbf";
  if (!bench::MakeTable(path, n)) {
    std::fprintf(stderr, "cannot create %s: %s\n", path.c_str(), xb_LastErrorText());
    return 1;
  }
  std::printf("%ld records, shared open; wall times, one run each\n", n);
  xb::ShareOs local(xb::PosixOs());
  xb::SetOsForTesting(&local);
  Run("local disk (calls counted, no delay)", local, path);
  xb::ShareOs share(xb::PosixOs(), delay);
  xb::SetOsForTesting(&share);
  Run(("simulated share (" + std::to_string(delay) + " us per call)").c_str(), share, path);
  xb::SetOsForTesting(nullptr);
  std::remove(path.c_str());
  return 0;
}
