// Evaluator of compiled expressions: reads fields straight from the record image, compares
// in place and keeps string results in per-node buffers, so evaluating a record allocates
// nothing once the buffers have grown.
#include <cmath>
#include <cstring>

#include "base/dbf_field.h"
#include "engine/expr_internal.h"
#include "engine/field_codec.h"

namespace xb::expr {
namespace {

bool CompareStringNode(Node& node, const EvalContext& ctx) {
  const std::string_view a = EvalString(*node.args[0], ctx);
  const std::string_view b = EvalString(*node.args[1], ctx);
  if (node.cmp == Cmp::kExactEq) return a == b;
  return ApplyCompare(CompareStrings(a, b, ctx.settings.exact), node.cmp);
}

bool ContainsNode(Node& node, const EvalContext& ctx) {
  const std::string_view needle = EvalString(*node.args[0], ctx);
  const std::string_view haystack = EvalString(*node.args[1], ctx);
  return !needle.empty() && haystack.find(needle) != std::string_view::npos;
}

const char* FieldBytes(const Node& node, const EvalContext& ctx) {
  return reinterpret_cast<const char*>(ctx.record + node.offset);
}

const uint8_t* FieldData(const Node& node, const EvalContext& ctx) {
  return ctx.record + node.offset;
}

// A date moved by `days`; the empty date stays empty and leaving the calendar gives 0.
int64_t ShiftDate(int64_t julian, double days) {
  if (julian == 0 || !std::isfinite(days) || std::fabs(days) > 4e6) return 0;
  const int64_t shifted = julian + static_cast<int64_t>(days);
  int year, month, day;
  return YmdFromJulian(shifted, &year, &month, &day) ? shifted : 0;
}

double Arithmetic(Op op, double a, double b) {
  switch (op) {
    case Op::kAdd:
      return a + b;
    case Op::kSubtract:
      return a - b;
    case Op::kMultiply:
      return a * b;
    case Op::kDivide:
      return b == 0 ? 0 : a / b;
    case Op::kModulo:
      return b == 0 ? 0 : std::fmod(a, b);
    case Op::kPower: {
      const double result = std::pow(a, b);
      return std::isnan(result) ? 0 : result;
    }
    default:
      return 0;
  }
}

// Trailing blanks of `a` move behind `b` (the xBase "-" on strings).
void ConcatTrimmed(std::string_view a, std::string_view b, std::string* out) {
  size_t kept = a.size();
  while (kept > 0 && a[kept - 1] == ' ') --kept;
  out->assign(a.substr(0, kept));
  out->append(b);
  out->append(a.size() - kept, ' ');
}

}  // namespace

bool EvalLogical(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kConstLogical:
      return node.logical;
    case Op::kFieldLogical:
      return IsLogicalTrue(ctx.record[node.offset]);
    case Op::kLogicalFieldIs:
      return IsLogicalTrue(ctx.record[node.offset]) == node.logical;
    case Op::kNumericFieldCompare:
      return ApplyCompare(
          ThreeWay(velloria::dbf::ReadNumberText(FieldBytes(node, ctx), node.width), node.number),
          node.cmp);
    case Op::kNot:
      return !EvalLogical(*node.args[0], ctx);
    case Op::kAnd:
      return EvalLogical(*node.args[0], ctx) && EvalLogical(*node.args[1], ctx);
    case Op::kOr:
      return EvalLogical(*node.args[0], ctx) || EvalLogical(*node.args[1], ctx);
    case Op::kCompareNumeric:
      return ApplyCompare(
          ThreeWay(EvalNumeric(*node.args[0], ctx), EvalNumeric(*node.args[1], ctx)), node.cmp);
    case Op::kCompareDate:
      return ApplyCompare(ThreeWay(EvalDate(*node.args[0], ctx), EvalDate(*node.args[1], ctx)),
                          node.cmp);
    case Op::kCompareLogical:
      return ApplyCompare(
          ThreeWay(EvalLogical(*node.args[0], ctx), EvalLogical(*node.args[1], ctx)), node.cmp);
    case Op::kCompareString:
      return CompareStringNode(node, ctx);
    case Op::kContains:
      return ContainsNode(node, ctx);
    default:
      return EvalFunctionLogical(node, ctx);
  }
}

double EvalNumeric(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kConstNumeric:
      return node.number;
    case Op::kFieldNumeric:
      return velloria::dbf::ReadNumberText(FieldBytes(node, ctx), node.width);
    case Op::kFieldInt32:
      return DecodeInt32(FieldData(node, ctx));
    case Op::kFieldDouble:
      return DecodeDouble(FieldData(node, ctx));
    case Op::kFieldCurrency:
      return DecodeCurrency(FieldData(node, ctx));
    case Op::kFieldOrderedInt32:
      return DecodeOrderedInt32(FieldData(node, ctx));
    case Op::kFieldOrderedDouble:
      return DecodeOrderedDouble(FieldData(node, ctx));
    case Op::kNegate:
      return -EvalNumeric(*node.args[0], ctx);
    case Op::kAdd:
    case Op::kSubtract:
    case Op::kMultiply:
    case Op::kDivide:
    case Op::kModulo:
    case Op::kPower:
      return Arithmetic(node.op, EvalNumeric(*node.args[0], ctx), EvalNumeric(*node.args[1], ctx));
    case Op::kDateDiff: {
      const int64_t a = EvalDate(*node.args[0], ctx);
      const int64_t b = EvalDate(*node.args[1], ctx);
      return a == 0 || b == 0 ? 0 : static_cast<double>(a - b);
    }
    default:
      return EvalFunctionNumeric(node, ctx);
  }
}

int64_t EvalDate(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kFieldDate:
      return JulianFromDtos(FieldBytes(node, ctx));
    case Op::kFieldDateTime:
      return DecodeInt32(FieldData(node, ctx));
    case Op::kFieldStamp:
      return DecodeStampDay(FieldData(node, ctx));
    case Op::kDatePlusDays:
      return ShiftDate(EvalDate(*node.args[0], ctx), EvalNumeric(*node.args[1], ctx));
    case Op::kDateMinusDays:
      return ShiftDate(EvalDate(*node.args[0], ctx), -EvalNumeric(*node.args[1], ctx));
    default:
      return EvalFunctionDate(node, ctx);
  }
}

std::string_view EvalString(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kConstString:
      return node.text;
    case Op::kFieldChar:
      return std::string_view(FieldBytes(node, ctx), node.width);
    case Op::kFieldMemo:
      ctx.view.ReadMemo(node.field, &node.scratch);
      return node.scratch;
    case Op::kConcat: {
      const std::string_view a = EvalString(*node.args[0], ctx);
      const std::string_view b = EvalString(*node.args[1], ctx);
      node.scratch.assign(a);
      node.scratch.append(b);
      return node.scratch;
    }
    case Op::kConcatTrim: {
      const std::string_view a = EvalString(*node.args[0], ctx);
      ConcatTrimmed(a, EvalString(*node.args[1], ctx), &node.scratch);
      return node.scratch;
    }
    default:
      return EvalFunctionString(node, ctx);
  }
}

int CompareStrings(std::string_view a, std::string_view b, bool exact) {
  if (exact) {
    while (!a.empty() && a.back() == ' ') a.remove_suffix(1);
    while (!b.empty() && b.back() == ' ') b.remove_suffix(1);
  }
  const size_t common = std::min(a.size(), b.size());
  const int prefix = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);
  if (prefix != 0) return prefix < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  if (!exact) return b.size() < a.size() ? 0 : -1;  // b a prefix of a counts as equal
  // Exact: the shorter text is taken as padded with blanks, which sort below the rest.
  const std::string_view rest = a.size() > b.size() ? a.substr(common) : b.substr(common);
  const int sign = a.size() > b.size() ? 1 : -1;
  for (const char c : rest) {
    if (static_cast<uint8_t>(c) != ' ') return static_cast<uint8_t>(c) > ' ' ? sign : -sign;
  }
  return 0;
}

double ParseValNumber(const char* bytes, size_t size) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                       1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
  size_t i = 0;
  while (i < size && bytes[i] == ' ') ++i;
  bool negative = false;
  if (i < size && (bytes[i] == '-' || bytes[i] == '+')) negative = bytes[i++] == '-';
  int64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  bool point = false;
  for (; i < size; ++i) {
    const char c = bytes[i];
    if (c >= '0' && c <= '9') {
      // Beyond 18 digits the rest are dropped (integer digits are scaled in below).
      if (digits == 18 || fraction == 18) break;
      mantissa = mantissa * 10 + (c - '0');
      if (mantissa != 0) ++digits;
      if (point) ++fraction;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  double value = static_cast<double>(mantissa) / kPowers[fraction];
  if (digits == 18 && i < size && !point) {
    // Integer part longer than 18 digits: scale by the digits left out.
    while (i < size && bytes[i] >= '0' && bytes[i] <= '9') {
      value *= 10;
      ++i;
    }
  }
  return negative ? -value : value;
}

}  // namespace xb::expr
