// The dataset window's contract kept by the table component on a real category table;
// the record set changes by its filter.
#include <memory>
#include <string>
#include <vector>

#include "table_fixture.h"
#include "tests/dataset/dataset_window_contract.h"

namespace velloria::xbase::testing {
namespace {

using velloria::testing::RecordName;
using velloria::testing::TipoOf;

// The environment set as the program sets it, a temporary folder and the table on it.
class TableKind {
 public:
  TableKind() {
    m_env.SetDeleted(true);
    m_env.SetEpoch(1910);
    m_env.SetExact(true);
  }
  TDataSet& Create(int records) {
    std::vector<RawRecord> rows;
    for (int i = 1; i <= records; ++i) rows.push_back(Stampe(RecordName(i), "D", TipoOf(i), true));
    CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(), rows);
    m_table = std::make_unique<TXbTable>("TbArchivio");
    m_table->SetDatabaseName(m_folder.Path());
    m_table->SetTableName("STAMPE.DBF");
    m_table->SetExclusive(true);
    return *m_table;
  }
  void KeepOnlyTipo(int tipo) {
    m_table->SetFilter("TIPO=" + std::to_string(tipo));
    m_table->SetFiltered(true);
  }

 private:
  TempFolder m_folder;
  TXBaseEnv m_env;
  std::unique_ptr<TXbTable> m_table;
};

}  // namespace
}  // namespace velloria::xbase::testing

namespace velloria::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Table, DataSetWindowTest, xbase::testing::TableKind);
}  // namespace velloria::testing
