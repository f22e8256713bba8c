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

#include "xbase/xb_engine.h"
#include "xbase/xbase_env.h"
#include "xbase/xbase_table.h"

namespace {

using velloria::TVariant;
using velloria::xbase::TXbTable;
using velloria::xbase::Xb;

std::string Name(int i) { return "Categoria " + std::to_string(i); }

// DESCRIZIO and DIR both hold Name(i); the order DESC is on DESCRIZIO.
void CreateCategories(const std::string& folder, int records) {
  const auto& xb = Xb();
  std::string file = folder + "/STAMPE.DBF";
  xb.xb_CreateNew(file.c_str(), "", 1, 4);
  xb.xb_CreateField("DESCRIZIO", "C", 40, 0);
  xb.xb_CreateField("DIR", "C", 60, 0);
  xb.xb_CreateField("TIPO", "N", 1, 0);
  xb.xb_CreateField("VISUALIZZA", "L", 1, 0);
  xb.xb_CreateExec();
  xb.xb_UseEx(file.c_str(), "BENCHMAKE", 2, 1, 2);
  std::string image(1 + 40 + 60 + 1 + 1, ' ');
  for (int i = 0; i < records; ++i) {
    std::string name = Name(i);
    image.replace(1, name.size(), name);
    image.replace(41, name.size(), name);
    image[101] = static_cast<char>('1' + i % 2);
    xb.xb_AppendBlank();
    xb.xb_PutRecord(image.data());
  }
  xb.xb_Index((folder + "/DESC").c_str(), "DESCRIZIO", 0, 0, "");
  xb.xb_Commit();
  xb.xb_Close();
}

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
  int records = argc > 1 ? std::atoi(argv[1]) : 100000;
  if (records < 1) {
    std::fprintf(stderr, "usage: %s [records > 0]\n", argv[0]);
    return 2;
  }
  if (!velloria::xbase::EnsureEngineLoaded()) return 1;
  velloria::xbase::TXBaseEnv env;
  env.SetDeleted(true);
  env.SetEpoch(1910);
  env.SetExact(true);
  std::string pattern = (std::filesystem::temp_directory_path() / "lookup-bench-XXXXXX").string();
  std::string folder = mkdtemp(pattern.data());
  CreateCategories(folder, records);

  TXbTable table("TbArchivio");
  table.SetDatabaseName(folder);
  table.SetTableName("STAMPE.DBF");
  table.SetTableType(velloria::xbase::TXBaseTableType::ttXBNTX);
  table.SetExclusive(true);
  table.SetExtraIndexes({"DESC.ntx"});
  table.Open();
  int failures = 0;
  auto expect = [&](int i, const TVariant& value) {
    if (value != TVariant(Name(i))) ++failures;
  };
  double seek = MedianMicros(1000, records, [&](int i) {
    expect(i, table.Lookup("DESCRIZIO", Name(i), "DIR"));
  });
  double query = MedianMicros(20, records, [&](int i) {
    expect(i, table.Lookup("DIR", Name(i), "DESCRIZIO"));
  });
  const auto& xb = Xb();
  xb.xb_Select(table.WorkArea());
  xb.xb_SetOrder(1);
  double bare = MedianMicros(1000, records, [&](int i) {
    if (xb.xb_Seek(Name(i).c_str()) == 0) ++failures;
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
