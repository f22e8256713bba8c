// The start-up sweep of a shared category table in one of two ways, for the share
// benchmark (bench/share/workstations.sh) to count the calls each makes on the simulated
// share: "records" locks, writes and unlocks record by record (Edit and Post alone);
// "table" holds one lock of the whole table for the sweep (as the program does); "open"
// only opens and closes, the cost to subtract. Prints the sweep's milliseconds.
// Usage: sweep_locks_bench FOLDER records|table|open
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/catalogue.h"
#include "bench/component/category_bench_table.h"
#include "xbase/xbase_table.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sweep_locks_bench FOLDER records|table|open\n");
    return 2;
  }
  velloria::xbase::TXBaseEnv env;
  if (!bench::PrepareEngine(&env)) return 1;
  velloria::xbase::TXbTable table("TbArchivio");
  table.SetTableName("STAMPE.DBF");
  table.SetTableType(velloria::xbase::TXBaseTableType::ttXBNTX);
  table.SetDatabaseName(argv[1]);
  table.Open();
  auto start = std::chrono::steady_clock::now();
  if (std::strcmp(argv[2], "records") == 0) {
    velloria::SweepCategoryFolders(table, argv[1]);
  } else if (std::strcmp(argv[2], "table") == 0) {
    if (velloria::SweepSharedCatalogue(table, argv[1]) != velloria::TSweepOutcome::swept) return 1;
  }
  std::printf("%.1f\n", std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  table.Close();
  return 0;
}
