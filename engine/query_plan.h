// QueryPlan: the query optimiser's fast form of the commonest queries — an AND of logical
// fields tested against constants (or the NOT of such a test) and numeric fields compared
// with numbers ("TIPO=1 AND VISUALIZZA=TRUE") — tested on the raw record bytes, without a
// record view. It is read off the compiled expression tree and tests with the evaluator's
// own rules, so a planned query selects the same records as an evaluated one. Other queries
// get no plan and are evaluated as compiled. Immutable after building.
#ifndef VELLORIA_ENGINE_QUERY_PLAN_H_
#define VELLORIA_ENGINE_QUERY_PLAN_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/expr.h"

namespace xb {

namespace expr {
struct Node;
struct ByteTest;
enum class Cmp;
}  // namespace expr

class QueryPlan {
 public:
  // Out of line: the byte tests' type is the evaluator's own.
  QueryPlan();
  ~QueryPlan();
  // A plan for the compiled query, or nullptr when it is not of the planned form.
  static std::unique_ptr<QueryPlan> Build(const CompiledExpr& query);
  // Whether the record image (of the layout the query was compiled against) satisfies it.
  bool Matches(const uint8_t* record) const;
  // How many of n record images, stride bytes apart from first on, satisfy it.
  uint32_t CountMatches(const uint8_t* first, uint32_t n, size_t stride) const;

 private:
  struct NumberTest {  // a wider numeric field compared with a number
    int offset;
    int width;
    expr::Cmp cmp;
    double value;
  };

  bool AddTerms(const expr::Node& node);

  std::vector<expr::ByteTest> byte_tests_;  // fields of one byte, tabulated
  std::vector<NumberTest> number_tests_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_QUERY_PLAN_H_
