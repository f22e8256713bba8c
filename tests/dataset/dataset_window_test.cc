// The dataset window's contract kept by the in-memory dataset; a record set change is
// made behind its back and then refreshed.
#include <memory>

#include "tests/dataset/dataset_window_contract.h"
#include "tests/dataset/memory_dataset.h"

namespace velloria::testing {
namespace {

class MemoryKind {
 public:
  TDataSet& Create(int records) {
    m_data = std::make_unique<MemoryDataSet>();
    for (int i = 1; i <= records; ++i) m_data->AddRow(RecordName(i), TipoOf(i));
    return *m_data;
  }
  void KeepOnlyTipo(int tipo) {
    m_data->EraseRows([tipo](const MemoryRow& row) { return row.tipo != tipo; });
    m_data->Refresh();
  }

 private:
  std::unique_ptr<MemoryDataSet> m_data;
};

}  // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, DataSetWindowTest, MemoryKind);

}  // namespace velloria::testing
