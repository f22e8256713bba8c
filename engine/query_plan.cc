// The query optimiser's plans: the terms of an AND read off the compiled tree, tested on
// the record bytes. One-byte fields are tabulated for all byte values when the plan is built.
#include "engine/query_plan.h"

#include "engine/expr_internal.h"

namespace xb {

std::unique_ptr<QueryPlan> QueryPlan::Build(const CompiledExpr& query) {
  auto plan = std::make_unique<QueryPlan>();
  if (!plan->AddTerms(expr::TreeOf(query))) return nullptr;
  return plan;
}

bool QueryPlan::AddTerms(const expr::Node& node) {
  if (node.op == expr::Op::kAnd) return AddTerms(*node.args[0]) && AddTerms(*node.args[1]);
  if (expr::IsOneByteTest(node)) {
    ByteTest& test = byte_tests_.emplace_back();
    test.offset = node.offset;
    expr::TabulateOneByteTest(node, false, test.accepts);
    return true;
  }
  if (node.op != expr::Op::kNumericFieldCompare) return false;
  number_tests_.push_back({node.offset, node.width, node.cmp, node.number});
  return true;
}

bool QueryPlan::Matches(const uint8_t* record) const {
  // Table lookups first, all of them: cheaper than the branches an early exit costs.
  bool pass = true;
  for (const ByteTest& test : byte_tests_) pass &= test.accepts[record[test.offset]];
  if (!pass) return false;
  for (const NumberTest& test : number_tests_) {
    const double value =
        expr::ParseNumber(reinterpret_cast<const char*>(record + test.offset), size_t(test.width));
    if (!expr::ApplyCompare(expr::ThreeWay(value, test.value), test.cmp)) return false;
  }
  return true;
}

}  // namespace xb
