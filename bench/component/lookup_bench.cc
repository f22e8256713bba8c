// Benchmark of TXbTable::Lookup on a 100,000-record category table: the seek route (an NTX
// order on the key field) beside the query route (no order on the key) and beside a bare
// xb_Seek on the engine, in the same run. Prints the median time per lookup of each.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/component/category_bench_table.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_table.h"

namespace {

using velloria::TVariant;
using velloria::xbase::TXbTable;
using velloria::xbase::Xb;

// Median microseconds of `rounds` calls of `call(i)` with spread-out keys.
double MedianMicros(int rounds, int records, const std::function<void(int)>& call) {
  std::vector<double> times;
  for (int round = 0; round < rounds; ++round) {
    int key = static_cast<int>((static_cast<long long>(round) * 7919) % records);
    auto start = std::chrono::steady_clock::now();
    call(key);
    times.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::nth_element(times.begin(), times.begin() + rounds / 2, times.end());
  return times[rounds / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int records = bench::RecordsArgument(argc, argv);
  velloria::xbase::TXBaseEnv env;
  if (records == 0) return 2;
  if (!bench::PrepareEngine(&env)) return 1;
  std::string folder = bench::ScratchFolder("lookup-bench");
  bench::CreateCategories(folder + "/STAMPE.DBF", records, folder + "/DESC");

  TXbTable table("TbArchivio");
  table.SetDatabaseName(folder);
  table.SetTableName("STAMPE.DBF");
  table.SetTableType(velloria::xbase::TXBaseTableType::ttXBNTX);
  table.SetExclusive(true);
  table.SetExtraIndexes({"DESC.ntx"});
  table.Open();
  int failures = 0;
  auto expect = [&](int i, const TVariant& value) {
    if (value != TVariant(bench::CategoryName(i))) ++failures;
  };
  double seek = MedianMicros(1000, records, [&](int i) {
    expect(i, table.Lookup("DESCRIZIO", bench::CategoryName(i), "DIR"));
  });
  double query = MedianMicros(20, records, [&](int i) {
    expect(i, table.Lookup("DIR", bench::CategoryName(i), "DESCRIZIO"));
  });
  const auto& xb = Xb();
  xb.xb_Select(table.WorkArea());
  xb.xb_SetOrder(1);
  double bare = MedianMicros(1000, records, [&](int i) {
    if (xb.xb_Seek(bench::CategoryName(i).c_str()) == 0) ++failures;
  });
  xb.xb_SetOrder(0);
  table.Close();
  std::filesystem::remove_all(folder);

  std::printf("records                           %d\n", records);
  std::printf("Lookup, seek route (median)       %.1f us\n", seek);
  std::printf("Lookup, query route (median)      %.1f us\n", query);
  std::printf("xb_Seek alone (baseline, median)  %.1f us\n", bare);
  std::printf("seek route / query route          %.4f\n", seek / query);
  if (failures > 0) std::printf("lookups that found the wrong record: %d\n", failures);
  return failures > 0 ? 1 : 0;
}
