// QueryPlan: the query optimiser's fast form of the commonest queries — a conjunction of
// numeric or logical fields compared for equality with constants ("TIPO=1 AND
// VISUALIZZA=TRUE") — tested on the raw record bytes without the expression evaluator.
// Other queries get no plan and are evaluated as compiled. Immutable after building.
#ifndef VELLORIA_ENGINE_QUERY_PLAN_H_
#define VELLORIA_ENGINE_QUERY_PLAN_H_

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/dbf_layout.h"

namespace xb {

class QueryPlan {
 public:
  // A plan for text over layout, or nullptr when the text is not of the planned form.
  static std::unique_ptr<QueryPlan> Build(std::string_view text, const TableLayout& layout);
  // Whether the record (RecordSize bytes) satisfies the query.
  bool Matches(const uint8_t* record) const;

 private:
  struct Term {
    int offset = 0;
    int width = 0;
    bool logical = false;
    bool want_true = false;  // logical terms
    double value = 0;        // numeric terms
  };
  std::vector<Term> terms_;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_QUERY_PLAN_H_
