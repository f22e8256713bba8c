// The query optimiser's plans: the terms of an AND read off the compiled tree, tested on
// the record bytes. One-byte fields are tabulated for all byte values when the plan is built.
#include "engine/query_plan.h"

#include "base/dbf_field.h"
#include "engine/expr_internal.h"

namespace xb {

QueryPlan::QueryPlan() = default;
QueryPlan::~QueryPlan() = default;

std::unique_ptr<QueryPlan> QueryPlan::Build(const CompiledExpr& query) {
  auto plan = std::make_unique<QueryPlan>();
  if (!plan->AddTerms(expr::TreeOf(query))) return nullptr;
  return plan;
}

bool QueryPlan::AddTerms(const expr::Node& root) {
  return expr::ForEachAndTerm(root, [&](const expr::Node& term) {
    expr::ByteTest byte_test;
    if (expr::TabulateByteTest(term, &byte_test)) {
      byte_tests_.push_back(byte_test);
      return true;
    }
    if (term.op != expr::Op::kNumericFieldCompare) return false;
    number_tests_.push_back({term.offset, term.width, term.cmp, term.number});
    return true;
  });
}

bool QueryPlan::Matches(const uint8_t* record) const {
  // Table lookups first, all of them: cheaper than the branches an early exit costs.
  bool pass = true;
  for (const expr::ByteTest& test : byte_tests_) pass &= test.accepts[record[test.offset]];
  if (!pass) return false;
  for (const NumberTest& test : number_tests_) {
    const double value = velloria::dbf::ReadNumberText(
        reinterpret_cast<const char*>(record + test.offset), size_t(test.width));
    if (!expr::ApplyCompare(expr::ThreeWay(value, test.value), test.cmp)) return false;
  }
  return true;
}

uint32_t QueryPlan::CountMatches(const uint8_t* record, uint32_t n, size_t stride) const {
  uint32_t count = 0;
  if (number_tests_.empty() && !byte_tests_.empty() && byte_tests_.size() <= 2) {
    // The commonest plans (one or two one-byte fields) in a loop of two lookups a record.
    const expr::ByteTest& a = byte_tests_.front();
    const expr::ByteTest& b = byte_tests_.back();
    for (; n > 0; --n, record += stride)
      count += uint32_t(a.accepts[record[a.offset]] & b.accepts[record[b.offset]]);
    return count;
  }
  for (; n > 0; --n, record += stride) count += Matches(record);
  return count;
}

}  // namespace xb
