// Built-in functions of the expression language: their signatures (checked when an
// expression is compiled) and their evaluation. String results go to the node's buffer.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/expr_internal.h"

namespace xb::expr {
namespace {

constexpr int kMaxStrWidth = 255;

struct Signature {
  const char* name;
  Op op;
  ExprType result;  // kExprError: the type of the second argument (IIF)
  int min_args;
  int max_args;
  ExprType params[3];  // kExprError: any type
};

const Signature kFunctions[] = {
    {"DTOS", Op::kDtos, kExprString, 1, 1, {kExprDate}},
    {"STOD", Op::kStod, kExprDate, 1, 1, {kExprString}},
    {"CTOD", Op::kCtod, kExprDate, 1, 1, {kExprString}},
    {"DTOC", Op::kDtoc, kExprString, 1, 1, {kExprDate}},
    {"LEFT", Op::kLeft, kExprString, 2, 2, {kExprString, kExprNumeric}},
    {"RIGHT", Op::kRight, kExprString, 2, 2, {kExprString, kExprNumeric}},
    {"SUBSTR", Op::kSubstr, kExprString, 2, 3, {kExprString, kExprNumeric, kExprNumeric}},
    {"UPPER", Op::kUpper, kExprString, 1, 1, {kExprString}},
    {"LOWER", Op::kLower, kExprString, 1, 1, {kExprString}},
    {"TRIM", Op::kRtrim, kExprString, 1, 1, {kExprString}},
    {"RTRIM", Op::kRtrim, kExprString, 1, 1, {kExprString}},
    {"LTRIM", Op::kLtrim, kExprString, 1, 1, {kExprString}},
    {"ALLTRIM", Op::kAlltrim, kExprString, 1, 1, {kExprString}},
    {"STR", Op::kStr, kExprString, 1, 3, {kExprNumeric, kExprNumeric, kExprNumeric}},
    {"VAL", Op::kVal, kExprNumeric, 1, 1, {kExprString}},
    {"LEN", Op::kLen, kExprNumeric, 1, 1, {kExprString}},
    {"EMPTY", Op::kEmpty, kExprLogical, 1, 1, {kExprError}},
    {"DELETED", Op::kDeleted, kExprLogical, 0, 0, {}},
    {"RECNO", Op::kRecno, kExprNumeric, 0, 0, {}},
    {"IIF", Op::kIif, kExprError, 3, 3, {kExprLogical, kExprError, kExprError}},
    {"IF", Op::kIif, kExprError, 3, 3, {kExprLogical, kExprError, kExprError}},
    {"YEAR", Op::kYear, kExprNumeric, 1, 1, {kExprDate}},
    {"MONTH", Op::kMonth, kExprNumeric, 1, 1, {kExprDate}},
    {"DAY", Op::kDay, kExprNumeric, 1, 1, {kExprDate}},
    {"DATE", Op::kDate, kExprDate, 0, 0, {}},
    {"AT", Op::kAt, kExprNumeric, 2, 2, {kExprString, kExprString}},
};

bool CheckArguments(const Signature& sig, const std::vector<std::unique_ptr<Node>>& args,
                    std::string* error) {
  const int count = static_cast<int>(args.size());
  const int max_args = sig.max_args;
  if (count < sig.min_args || count > max_args) {
    *error = std::string(sig.name) + "() takes " + std::to_string(sig.min_args) +
             (max_args > sig.min_args ? " to " + std::to_string(max_args) : "") + " argument" +
             (max_args == 1 ? "" : "s") + ", not " + std::to_string(count);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    const ExprType wanted = sig.params[i];
    if (wanted != kExprError && args[i]->type != wanted) {
      *error = std::string(sig.name) + "() argument " + std::to_string(i + 1) + " must be " +
               TypeName(wanted) + ", not " + TypeName(args[i]->type);
      return false;
    }
  }
  if (sig.op == Op::kIif && args[1]->type != args[2]->type) {
    *error = std::string(sig.name) + "() branches differ in type (" + TypeName(args[1]->type) +
             " and " + TypeName(args[2]->type) + ")";
    return false;
  }
  return true;
}

// A numeric argument used as a length or position, kept within a sane range.
int64_t ToCount(double value) {
  if (std::isnan(value)) return 0;
  return static_cast<int64_t>(std::clamp(value, -1e9, 1e9));
}

std::string_view Arg(Node& node, int i, const EvalContext& ctx) {
  return EvalString(*node.args[i], ctx);
}

double NumArg(Node& node, int i, const EvalContext& ctx) { return EvalNumeric(*node.args[i], ctx); }

// Case mapping of ASCII and of the CP1252 letters, the code page of the tables we read.
uint8_t UpperByte(uint8_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 16;
  if (c == 0xFF) return 0x9F;
  return c;
}

uint8_t LowerByte(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x8A || c == 0x8C || c == 0x8E) return c + 16;
  if (c == 0x9F) return 0xFF;
  return c;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Substr(std::string_view text, double start_value, bool has_count,
                        double count_value) {
  const int64_t size = static_cast<int64_t>(text.size());
  int64_t start = ToCount(start_value);
  if (start < 0) {
    start = std::max<int64_t>(size + start, 0);  // counts back from the end
  } else if (start > 0) {
    --start;
  }
  if (start >= size) return {};
  int64_t count = has_count ? ToCount(count_value) : size - start;
  if (count <= 0) return {};
  count = std::min(count, size - start);
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

std::string_view Trim(std::string_view text, bool left, bool right) {
  if (left) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  }
  if (right) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  }
  return text;
}

std::string_view Str(Node& node, const EvalContext& ctx) {
  const Node& number = *node.args[0];
  int64_t width = 10;
  int64_t decimals = 0;
  if (number.op == Op::kFieldNumeric) {
    width = number.width;
    decimals = number.decimals;
  }
  if (node.args.size() > 1) {
    width = ToCount(NumArg(node, 1, ctx));
    decimals = node.args.size() > 2 ? ToCount(NumArg(node, 2, ctx)) : 0;
  }
  if (width <= 0) return {};
  width = std::min<int64_t>(width, kMaxStrWidth);
  decimals = std::clamp<int64_t>(decimals, 0, 15);
  FormatNumber(NumArg(node, 0, ctx), static_cast<int>(width), static_cast<int>(decimals),
               &node.scratch);
  return node.scratch;
}

// Byte-to-byte case table built once from one of the mappings above.
struct CaseTable {
  explicit CaseTable(uint8_t (*map)(uint8_t)) {
    for (int c = 0; c < 256; ++c) bytes[c] = static_cast<char>(map(static_cast<uint8_t>(c)));
  }
  char bytes[256];
};

std::string_view MapCase(Node& node, const EvalContext& ctx, const CaseTable& table) {
  const std::string_view text = Arg(node, 0, ctx);
  node.scratch.resize(text.size());
  for (size_t i = 0; i < text.size(); ++i)
    node.scratch[i] = table.bytes[static_cast<uint8_t>(text[i])];
  return node.scratch;
}

std::string_view Keep(Node& node, std::string_view value) {
  node.scratch.assign(value);
  return node.scratch;
}

int DatePart(Node& node, const EvalContext& ctx) {
  int parts[3] = {0, 0, 0};
  YmdFromJulian(EvalDate(*node.args[0], ctx), &parts[0], &parts[1], &parts[2]);
  return node.op == Op::kYear ? parts[0] : node.op == Op::kMonth ? parts[1] : parts[2];
}

bool IsEmptyValue(Node& arg, const EvalContext& ctx) {
  switch (arg.type) {
    case kExprString: {
      const std::string_view text = EvalString(arg, ctx);
      return std::all_of(text.begin(), text.end(), IsBlank);
    }
    case kExprNumeric:
      return EvalNumeric(arg, ctx) == 0;
    case kExprLogical:
      return !EvalLogical(arg, ctx);
    case kExprDate:
      return EvalDate(arg, ctx) == 0;
    default:
      return true;
  }
}

Node& IifBranch(Node& node, const EvalContext& ctx) {
  return EvalLogical(*node.args[0], ctx) ? *node.args[1] : *node.args[2];
}

}  // namespace

bool BindFunction(std::string_view name, std::vector<std::unique_ptr<Node>>* args,
                  std::unique_ptr<Node>* out, std::string* error) {
  for (const Signature& sig : kFunctions) {
    if (!EqualsNoCase(name, sig.name)) continue;
    if (!CheckArguments(sig, *args, error)) return false;
    auto node = std::make_unique<Node>();
    node->op = sig.op;
    node->type = sig.result == kExprError ? (*args)[1]->type : sig.result;
    node->args = std::move(*args);
    *out = std::move(node);
    return true;
  }
  *error = "unknown function " + std::string(name) + "()";
  return false;
}

bool EvalFunctionLogical(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kEmpty:
      return IsEmptyValue(*node.args[0], ctx);
    case Op::kDeleted:
      return ctx.view.RecordDeleted();
    case Op::kIif:
      return EvalLogical(IifBranch(node, ctx), ctx);
    default:
      return false;
  }
}

double EvalFunctionNumeric(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kVal: {
      const std::string_view text = Arg(node, 0, ctx);
      return ParseValNumber(text.data(), text.size());
    }
    case Op::kLen:
      return static_cast<double>(Arg(node, 0, ctx).size());
    case Op::kRecno:
      return ctx.view.RecNo();
    case Op::kYear:
    case Op::kMonth:
    case Op::kDay:
      return DatePart(node, ctx);
    case Op::kAt: {
      const std::string_view needle = Arg(node, 0, ctx);
      const size_t found = needle.empty() ? std::string_view::npos : Arg(node, 1, ctx).find(needle);
      return found == std::string_view::npos ? 0 : static_cast<double>(found + 1);
    }
    case Op::kIif:
      return EvalNumeric(IifBranch(node, ctx), ctx);
    default:
      return 0;
  }
}

int64_t EvalFunctionDate(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kStod: {
      const std::string_view text = Arg(node, 0, ctx);
      return text.size() < 8 ? 0 : JulianFromDtos(text.data());
    }
    case Op::kCtod:
      return CtodJulian(Arg(node, 0, ctx), ctx.settings);
    case Op::kDate:
      return TodayJulian();
    case Op::kIif:
      return EvalDate(IifBranch(node, ctx), ctx);
    default:
      return 0;
  }
}

std::string_view EvalFunctionString(Node& node, const EvalContext& ctx) {
  switch (node.op) {
    case Op::kDtos:
      return Keep(node, DtosFromJulian(EvalDate(*node.args[0], ctx)));
    case Op::kDtoc:
      DtocText(EvalDate(*node.args[0], ctx), ctx.settings, &node.scratch);
      return node.scratch;
    case Op::kLeft: {
      const std::string_view text = Arg(node, 0, ctx);
      return Substr(text, 1, true, NumArg(node, 1, ctx));
    }
    case Op::kRight: {
      const std::string_view text = Arg(node, 0, ctx);
      const int64_t count =
          std::clamp<int64_t>(ToCount(NumArg(node, 1, ctx)), 0, static_cast<int64_t>(text.size()));
      return text.substr(text.size() - static_cast<size_t>(count));
    }
    case Op::kSubstr: {
      const std::string_view text = Arg(node, 0, ctx);
      const bool has_count = node.args.size() > 2;
      return Substr(text, NumArg(node, 1, ctx), has_count, has_count ? NumArg(node, 2, ctx) : 0);
    }
    case Op::kUpper: {
      static const CaseTable upper(UpperByte);
      return MapCase(node, ctx, upper);
    }
    case Op::kLower: {
      static const CaseTable lower(LowerByte);
      return MapCase(node, ctx, lower);
    }
    case Op::kRtrim:
      return Trim(Arg(node, 0, ctx), false, true);
    case Op::kLtrim:
      return Trim(Arg(node, 0, ctx), true, false);
    case Op::kAlltrim:
      return Trim(Arg(node, 0, ctx), true, true);
    case Op::kStr:
      return Str(node, ctx);
    case Op::kIif:
      return EvalString(IifBranch(node, ctx), ctx);
    default:
      return {};
  }
}

void FormatNumber(double value, int width, int decimals, std::string* out) {
  out->clear();
  if (!std::isfinite(value)) {
    out->assign(static_cast<size_t>(std::max(width, 0)), '*');
    return;
  }
  // Fifteen significant digits first, then decimal rounding half away from zero on those
  // digits, so 2.675 rounds to 2.68 as the user wrote it rather than as binary holds it.
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
  std::string digits;
  digits.push_back(buffer[0]);
  digits.append(buffer + 2, 14);
  const int exponent = std::atoi(std::strchr(buffer, 'e') + 1);
  const int keep = exponent + 1 + decimals;  // digits up to the last decimal kept
  std::string scaled;
  if (keep < 0) {
    scaled = "0";
  } else if (keep == 0) {
    scaled = digits[0] >= '5' ? "1" : "0";
  } else {
    const bool round_up = keep < 15 && digits[keep] >= '5';
    scaled = keep <= 15 ? digits.substr(0, keep) : digits + std::string(keep - 15, '0');
    for (int i = static_cast<int>(scaled.size()) - 1; round_up && i >= 0; --i) {
      if (scaled[i] == '9') {
        scaled[i] = '0';
        if (i == 0) scaled.insert(scaled.begin(), '1');
      } else {
        ++scaled[i];
        break;
      }
    }
  }
  if (scaled.size() < static_cast<size_t>(decimals) + 1)
    scaled.insert(0, decimals + 1 - scaled.size(), '0');
  while (scaled.size() > static_cast<size_t>(decimals) + 1 && scaled[0] == '0') scaled.erase(0, 1);
  const bool nonzero = scaled.find_first_not_of('0') != std::string::npos;
  const size_t whole = scaled.size() - static_cast<size_t>(decimals);
  std::string text = value < 0 && nonzero ? "-" : "";
  text.append(scaled, 0, whole);
  if (decimals > 0) text.append(".").append(scaled, whole, std::string::npos);
  if (text.size() > static_cast<size_t>(width)) {
    out->assign(static_cast<size_t>(width), '*');
    return;
  }
  out->assign(width - text.size(), ' ');
  out->append(text);
}

}  // namespace xb::expr
