// Compiled expressions against the limit: the category query evaluated on every record of
// an mmapped table, beside a hand-written loop doing the same test on the same bytes.
// Run: bench_expr [--records=N] (default 1,000,000); the ratio is printed per benchmark.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/expr.h"

namespace {

constexpr int kHeaderLength = 32 + 4 * 32 + 1;
constexpr int kRecordLength = 1 + 40 + 20 + 1 + 1;

// The category table's layout over mapped records; Record() follows the scan.
class MappedTable : public xb::RecordView {
 public:
  MappedTable() {
    fields_ = {{"DESCRIZIO", 'C', 1, 40, 0},
               {"DIR", 'C', 41, 20, 0},
               {"VISUALIZZA", 'L', 61, 1, 0},
               {"TIPO", 'N', 62, 1, 0}};
  }
  int FieldCount() const override { return static_cast<int>(fields_.size()); }
  int FieldIndex(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (strncasecmp(fields_[i].name.c_str(), std::string(name).c_str(), 11) == 0)
        return static_cast<int>(i);
    }
    return -1;
  }
  const xb::FieldInfo& Field(int index) const override { return fields_[index]; }
  const uint8_t* Record() const override { return current_; }
  int RecordSize() const override { return kRecordLength; }
  uint32_t RecNo() const override { return recno_; }
  void MoveTo(const uint8_t* record, uint32_t recno) {
    current_ = record;
    recno_ = recno;
  }

 private:
  std::vector<xb::FieldInfo> fields_;
  const uint8_t* current_ = nullptr;
  uint32_t recno_ = 0;
};

// A table of `records` categories written to a temporary file and mapped read-only.
struct MappedFile {
  const uint8_t* records = nullptr;
  size_t count = 0;
  size_t length = 0;
};

MappedFile MapTable(size_t count) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/bench_expr_XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  unlink(path.c_str());
  std::vector<uint8_t> header(kHeaderLength, 0);
  header[0] = 0x03;
  std::memcpy(&header[4], &count, 4);
  header[8] = kHeaderLength & 0xFF;
  header[9] = kHeaderLength >> 8;
  header[10] = kRecordLength;
  header[kHeaderLength - 1] = 0x0D;
  if (write(fd, header.data(), header.size()) != static_cast<ssize_t>(header.size())) std::abort();
  std::vector<uint8_t> block;
  for (size_t i = 0; i < count; ++i) {
    char record[kRecordLength + 1];
    std::snprintf(record, sizeof record, " %-40s%-20s%c%zu",
                  ("Category " + std::to_string(i)).c_str(),
                  ("DIR" + std::to_string(i % 997)).c_str(), i % 3 == 0 ? 'F' : 'T', i % 7);
    block.insert(block.end(), record, record + kRecordLength);
    if (block.size() > (1 << 20) || i + 1 == count) {
      if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) std::abort();
      block.clear();
    }
  }
  MappedFile file;
  file.count = count;
  file.length = kHeaderLength + count * kRecordLength;
  void* map = mmap(nullptr, file.length, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED) std::abort();
  file.records = static_cast<const uint8_t*>(map) + kHeaderLength;
  return file;
}

size_t g_records = 1000000;

const MappedFile& Table() {
  static const MappedFile file = MapTable(g_records);
  return file;
}

void BM_HandLoop(benchmark::State& state) {
  const MappedFile& file = Table();
  for (auto _ : state) {
    size_t matches = 0;
    for (size_t i = 0; i < file.count; ++i) {
      const uint8_t* record = file.records + i * kRecordLength;
      const uint8_t flag = record[61];
      matches += record[62] == '1' && (flag == 'T' || flag == 't' || flag == 'Y' || flag == 'y');
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations() * file.count);
}

void RunExpression(benchmark::State& state, const char* text) {
  const MappedFile& file = Table();
  MappedTable table;
  std::unique_ptr<xb::CompiledExpr> compiled;
  std::string error;
  if (!xb::CompiledExpr::Compile(text, table, &compiled, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const xb::ExprSettings settings;
  for (auto _ : state) {
    size_t matches = 0;
    for (size_t i = 0; i < file.count; ++i) {
      table.MoveTo(file.records + i * kRecordLength, static_cast<uint32_t>(i + 1));
      matches += compiled->EvalLogical(table, settings);
    }
    benchmark::DoNotOptimize(matches);
  }
  state.SetItemsProcessed(state.iterations() * file.count);
}

// The same query over blocks of 1,024 records at a time, as a read-ahead scan would test them.
void BM_CategoryQueryBlocks(benchmark::State& state) {
  const MappedFile& file = Table();
  MappedTable table;
  std::unique_ptr<xb::CompiledExpr> compiled;
  std::string error;
  if (!xb::CompiledExpr::Compile("TIPO=1 AND VISUALIZZA=TRUE", table, &compiled, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const xb::ExprSettings settings;
  constexpr size_t kBlock = 1024;
  uint8_t matches[kBlock];
  for (auto _ : state) {
    size_t count = 0;
    for (size_t first = 0; first < file.count; first += kBlock) {
      const size_t n = std::min(kBlock, file.count - first);
      compiled->EvalLogicalBlock(file.records + first * kRecordLength, n, kRecordLength,
                                 static_cast<uint32_t>(first + 1), table, settings, matches);
      for (size_t i = 0; i < n; ++i) count += matches[i];
    }
    benchmark::DoNotOptimize(count);
  }
  state.SetItemsProcessed(state.iterations() * file.count);
}

void BM_CategoryQuery(benchmark::State& state) {
  RunExpression(state, "TIPO=1 AND VISUALIZZA=TRUE");
}
void BM_LocateQuery(benchmark::State& state) { RunExpression(state, "VISUALIZZA= .T."); }
void BM_UpperPrefixQuery(benchmark::State& state) {
  RunExpression(state, "UPPER(DIR)=\"DIR99\" .and. (TIPO=1 AND VISUALIZZA=TRUE)");
}

BENCHMARK(BM_HandLoop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CategoryQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CategoryQueryBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LocateQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpperPrefixQuery)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--records=", 10) == 0)
      g_records = std::strtoul(argv[i] + 10, nullptr, 10);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
