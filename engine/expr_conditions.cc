// Per-record form of logical expressions: the tree's AND / OR / NOT become jumps between
// leaf conditions. A test of a one-byte field (a logical field, a one-digit number) is
// tabulated once for all 256 byte values, so "TIPO=1 AND VISUALIZZA=TRUE" runs as two
// table lookups with no recursion and no allocation.
#include <algorithm>
#include <cmath>

#include "base/dbf_field.h"
#include "engine/expr_internal.h"

namespace xb::expr {
namespace {

// Integer value of a numeric field without a fraction; false when the bytes hold a decimal
// point ('.' or ','), an exponent mark or more digits than an int64_t surely holds, so the
// caller takes the general reading. Leading blanks, sign; junk or blanks end the number.
inline bool ParseWholeNumber(const uint8_t* bytes, int width, int64_t* value) {
  int i = 0;
  while (i < width && bytes[i] == ' ') ++i;
  bool negative = false;
  if (i < width && (bytes[i] == '-' || bytes[i] == '+')) negative = bytes[i++] == '-';
  int64_t result = 0;
  for (int digits = 0; i < width; ++i) {
    const unsigned digit = bytes[i] - '0';
    if (digit > 9) {
      const uint8_t c = bytes[i];
      if (c == '.' || c == ',' || c == 'e' || c == 'E') return false;
      break;
    }
    if (++digits > 18) return false;
    result = result * 10 + digit;
  }
  *value = negative ? -result : result;
  return true;
}

bool IsWholeConstant(double value) { return std::fabs(value) < 1e17 && value == std::trunc(value); }

// A record of one byte, on which one-byte tests are tabulated.
class ProbeView final : public RecordView {
 public:
  int FieldCount() const override { return 0; }
  int FieldIndex(std::string_view) const override { return -1; }
  const FieldInfo& Field(int) const override { return field_; }
  const uint8_t* Record() const override { return &byte_; }
  int RecordSize() const override { return 1; }
  uint32_t RecNo() const override { return 0; }
  void Set(uint8_t byte) { byte_ = byte; }

 private:
  FieldInfo field_;
  uint8_t byte_ = ' ';
};

// Rough cost of evaluating a logical subtree: tests on the record bytes are cheap, string
// work and function calls are not. Used to test the cheap side of an AND / OR first.
int Cost(Node& node) {
  if (node.cost >= 0) return node.cost;
  if (node.op == Op::kLogicalFieldIs || node.op == Op::kNumericFieldCompare) return node.cost = 1;
  int cost = node.op == Op::kAnd || node.op == Op::kOr || node.op == Op::kNot ? 0 : 10;
  for (const auto& arg : node.args) cost = std::min(cost + Cost(*arg), 1 << 24);
  return node.cost = cost;
}

}  // namespace

bool IsOneByteTest(const Node& node) {
  return node.op == Op::kLogicalFieldIs || (node.op == Op::kNumericFieldCompare && node.width == 1);
}

void TabulateOneByteTest(const Node& node, bool negate, bool accepts[256]) {
  Node probe;
  probe.op = node.op;
  probe.type = node.type;
  probe.cmp = node.cmp;
  probe.width = 1;
  probe.decimals = node.decimals;
  probe.logical = node.logical;
  probe.number = node.number;
  ProbeView view;
  const ExprSettings settings;
  for (int value = 0; value < 256; ++value) {
    view.Set(static_cast<uint8_t>(value));
    accepts[value] = EvalLogical(probe, EvalContext{view, view.Record(), settings}) != negate;
  }
}

bool TabulateByteTest(const Node& node, ByteTest* test) {
  const bool negate = node.op == Op::kNot;
  const Node& tested = negate ? *node.args[0] : node;
  if (!IsOneByteTest(tested)) return false;
  test->offset = tested.offset;
  TabulateOneByteTest(tested, negate, test->accepts);
  return true;
}

ConditionProgram::ConditionProgram(Node& root) {
  entry_ = Emit(root, kPass, kFail);
  bool all_byte_tests = ForEachAndTerm(
      root, [&](const Node& term) { return TabulateByteTest(term, &conjunction_.emplace_back()); });
  if (!all_byte_tests) conjunction_.clear();
}

int ConditionProgram::Emit(Node& node, int on_true, int on_false) {
  switch (node.op) {
    // Expressions have no side effects and no run-time errors, so either side of an AND or
    // OR may be tested first: the cheaper one goes first.
    case Op::kAnd: {
      const bool swap = Cost(*node.args[1]) < Cost(*node.args[0]);
      const int second = Emit(*node.args[swap ? 0 : 1], on_true, on_false);
      return Emit(*node.args[swap ? 1 : 0], second, on_false);
    }
    case Op::kOr: {
      const bool swap = Cost(*node.args[1]) < Cost(*node.args[0]);
      const int second = Emit(*node.args[swap ? 0 : 1], on_true, on_false);
      return Emit(*node.args[swap ? 1 : 0], on_true, second);
    }
    case Op::kNot:
      return Emit(*node.args[0], on_false, on_true);
    default:
      return Leaf(node, on_true, on_false);
  }
}

int ConditionProgram::Leaf(Node& node, int on_true, int on_false) {
  Condition condition{Kind::kTree, node.cmp, node.offset, node.width, 0,
                      node.number, &node,    {},          on_true,    on_false};
  if (IsOneByteTest(node)) {
    condition.kind = Kind::kByteSet;
    TabulateOneByteTest(node, false, condition.accepts);
  } else if (node.op == Op::kNumericFieldCompare) {
    const bool whole = node.decimals == 0 && node.width <= 17 && IsWholeConstant(node.number);
    condition.kind = whole ? Kind::kInteger : Kind::kNumeric;
    condition.integer = whole ? static_cast<int64_t>(node.number) : 0;
  }
  conditions_.push_back(condition);
  return static_cast<int>(conditions_.size()) - 1;
}

bool ConditionProgram::Run(const EvalContext& ctx) const {
  int at = entry_;
  while (at >= 0) {
    const Condition& c = conditions_[at];
    const uint8_t* bytes = ctx.record + c.offset;
    bool result;
    switch (c.kind) {
      case Kind::kByteSet:
        result = c.accepts[bytes[0]];
        break;
      case Kind::kInteger: {
        int64_t value;
        result = ParseWholeNumber(bytes, c.width, &value)
                     ? ApplyCompare(ThreeWay(value, c.integer), c.cmp)
                     : EvalLogical(*c.node, ctx);
        break;
      }
      case Kind::kNumeric:
        result = ApplyCompare(ThreeWay(velloria::dbf::ReadNumberText(
                                           reinterpret_cast<const char*>(bytes), size_t(c.width)),
                                       c.number),
                              c.cmp);
        break;
      default:
        result = EvalLogical(*c.node, ctx);
        break;
    }
    at = result ? c.on_true : c.on_false;
  }
  return at == kPass;
}

}  // namespace xb::expr
