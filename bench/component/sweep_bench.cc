// Benchmark of the program's start-up sweep: every record of a 100,000-record category
// table is edited, its VISUALIZZA set and posted, through TXbTable and directly through the
// engine's entry points in the same run. Prints both times, their ratio and the memory the
// component sweep adds for tables of 10,000 and 100,000 records.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/component/category_bench_table.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_table.h"

namespace {

using velloria::xbase::TXbTable;
using velloria::xbase::Xb;

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return 0;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The program's sweep through the component; returns seconds.
double ComponentSweep(const std::string& folder, long* addedKiB) {
  TXbTable table("TbArchivio");
  table.SetDatabaseName(folder);
  table.SetTableName("STAMPE.DBF");
  table.SetTableType(velloria::xbase::TXBaseTableType::ttXBNTX);
  table.SetExclusive(true);
  long before = ResidentKiB();
  auto start = std::chrono::steady_clock::now();
  table.Open();
  velloria::TField& shown = table.FieldByName("VISUALIZZA");
  for (int i = 0; !table.Eof(); ++i) {
    table.Edit();
    shown.SetAsBoolean(i % 3 != 0);
    table.Post();
    table.Next();
  }
  double seconds = Seconds(start);
  *addedKiB = ResidentKiB() - before;
  table.Close();
  return seconds;
}

// The same sweep on the engine's entry points alone.
double EngineSweep(const std::string& file, int visualizzaOffset) {
  const auto& xb = Xb();
  auto start = std::chrono::steady_clock::now();
  std::int16_t area = xb.xb_UseEx(file.c_str(), "BENCHRAW", 2, 1, 1);
  std::string image(xb.xb_RecSize(), ' ');
  xb.xb_GoTop();
  for (int i = 0; xb.xb_Eof() == 0; ++i) {
    xb.xb_Select(area);
    xb.xb_Rlock(xb.xb_RecNo());
    xb.xb_GetRecord(image.data());
    image[visualizzaOffset] = i % 3 != 0 ? 'T' : 'F';
    xb.xb_PutRecord(image.data());
    xb.xb_Commit();
    xb.xb_Unlock(0);
    xb.xb_Skip(1);
  }
  double seconds = Seconds(start);
  xb.xb_Close();
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  int records = bench::RecordsArgument(argc, argv);
  velloria::xbase::TXBaseEnv env;
  if (records == 0) return 2;
  if (!bench::PrepareEngine(&env)) return 1;
  std::string folder = bench::ScratchFolder("sweep-bench");
  std::string small = folder + "/small", large = folder + "/large";
  std::filesystem::create_directories(small);
  std::filesystem::create_directories(large);
  bench::CreateCategories(small + "/STAMPE.DBF", records / 10);
  bench::CreateCategories(large + "/STAMPE.DBF", records);

  long smallKiB = 0, largeKiB = 0;
  ComponentSweep(small, &smallKiB);
  double component = ComponentSweep(large, &largeKiB);
  double engine = EngineSweep(large + "/STAMPE.DBF", 102);
  std::printf("records                         %d\n", records);
  std::printf("component sweep                 %.3f s (%.2f us/record)\n", component,
              component * 1e6 / records);
  std::printf("engine sweep (baseline)         %.3f s (%.2f us/record)\n", engine,
              engine * 1e6 / records);
  std::printf("ratio component / engine        %.2f (target <= 3)\n", component / engine);
  std::printf("memory added by the sweep       %ld KiB for %d records, %ld KiB for %d\n",
              smallKiB, records / 10, largeKiB, records);
  std::filesystem::remove_all(folder);
  return 0;
}
