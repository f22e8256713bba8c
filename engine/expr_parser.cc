// Parser of the expression language: recursive descent over the tokens, type checking,
// field resolution against the table's layout and the fast forms for the comparisons
// queries use most (numeric field against a number, logical field against a constant).
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/expr_internal.h"

namespace xb::expr {
namespace {

// Nesting of parentheses and prefix operators, and height of the compiled tree; both
// bound the recursion of parsing and of evaluation.
constexpr int kMaxNesting = 200;
constexpr int kMaxHeight = 1000;

using NodePtr = std::unique_ptr<Node>;

Cmp MirrorCompare(Cmp cmp) {
  switch (cmp) {
    case Cmp::kLt:
      return Cmp::kGt;
    case Cmp::kGt:
      return Cmp::kLt;
    case Cmp::kLe:
      return Cmp::kGe;
    case Cmp::kGe:
      return Cmp::kLe;
    default:
      return cmp;
  }
}

NodePtr NewNode(Op op, ExprType type) {
  auto node = std::make_unique<Node>();
  node->op = op;
  node->type = type;
  return node;
}

class Parser {
 public:
  Parser(std::string_view text, const RecordView& schema, AliasRule aliases)
      : text_(text), schema_(schema), aliases_(aliases), tokens_(Tokenize(text)) {
    for (Token& token : tokens_) ClassifyBareWord(&token);
  }

  NodePtr Parse() {
    NodePtr root = ParseOr();
    if (root && Current().kind != Tok::kEnd) return Fail("unexpected " + Describe(Current()));
    return root;
  }

  const std::string& error() const { return error_; }
  int min_record_size() const { return min_record_size_; }

 private:
  // Bare AND OR NOT TRUE FALSE are keywords unless the table has a field of that name.
  void ClassifyBareWord(Token* token) const {
    if (token->kind != Tok::kIdent || schema_.FieldIndex(token->text) >= 0) return;
    if (EqualsNoCase(token->text, "AND")) token->kind = Tok::kDotAnd;
    if (EqualsNoCase(token->text, "OR")) token->kind = Tok::kDotOr;
    if (EqualsNoCase(token->text, "NOT")) token->kind = Tok::kDotNot;
    if (EqualsNoCase(token->text, "TRUE")) token->kind = Tok::kTrue;
    if (EqualsNoCase(token->text, "FALSE")) token->kind = Tok::kFalse;
  }

  const Token& Current() const { return tokens_[index_]; }
  const Token& Advance() { return tokens_[index_ < tokens_.size() - 1 ? index_++ : index_]; }

  std::string Describe(const Token& token) const {
    if (token.kind == Tok::kEnd) return "end of expression";
    if (token.kind == Tok::kError) {
      const std::string_view rest = text_.substr(token.pos);
      if (rest.front() == '"' || rest.front() == '\'' || rest.front() == '[')
        return "unterminated string at position " + std::to_string(token.pos + 1);
      const auto digit = [&](size_t i) {
        return i < rest.size() && std::isdigit(static_cast<unsigned char>(rest[i]));
      };
      if (digit(0) || (rest.front() == '.' && digit(1)))
        return "number out of range at position " + std::to_string(token.pos + 1);
    }
    const std::string_view shown = token.text.substr(0, 24);
    return "'" + std::string(shown) + (shown.size() < token.text.size() ? "...'" : "'") +
           " at position " + std::to_string(token.pos + 1);
  }

  NodePtr Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return nullptr;
  }

  NodePtr TypeError(const Token& op, const Node& left, const Node& right) {
    return Fail("type mismatch: " + std::string(TypeName(left.type)) + " " + std::string(op.text) +
                " " + TypeName(right.type) + " at position " + std::to_string(op.pos + 1));
  }

  NodePtr Finish(NodePtr node) {
    for (const NodePtr& arg : node->args) node->height = std::max(node->height, arg->height + 1);
    if (node->height > kMaxHeight) return Fail("expression too deeply nested");
    return node;
  }

  NodePtr Make(Op op, ExprType type, NodePtr left, NodePtr right = nullptr) {
    NodePtr node = NewNode(op, type);
    node->args.push_back(std::move(left));
    if (right) node->args.push_back(std::move(right));
    return Finish(std::move(node));
  }

  // Guards recursion through parentheses and prefix operators.
  struct Nesting {
    explicit Nesting(int* depth) : depth_(depth) { ++*depth_; }
    ~Nesting() { --*depth_; }
    bool too_deep() const { return *depth_ > kMaxNesting; }
    int* depth_;
  };

  NodePtr ParseOr() {
    NodePtr left = ParseAnd();
    while (left && Current().kind == Tok::kDotOr) {
      const Token op = Advance();
      NodePtr right = ParseAnd();
      if (!right) return nullptr;
      left = MakeLogical(Op::kOr, op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr ParseAnd() {
    NodePtr left = ParseNot();
    while (left && Current().kind == Tok::kDotAnd) {
      const Token op = Advance();
      NodePtr right = ParseNot();
      if (!right) return nullptr;
      left = MakeLogical(Op::kAnd, op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr MakeLogical(Op op, const Token& token, NodePtr left, NodePtr right) {
    if (left->type != kExprLogical || right->type != kExprLogical)
      return TypeError(token, *left, *right);
    return Make(op, kExprLogical, std::move(left), std::move(right));
  }

  NodePtr ParseNot() {
    if (Current().kind != Tok::kDotNot && Current().kind != Tok::kBang) return ParseEquality();
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return Fail("expression too deeply nested");
    const Token op = Advance();
    NodePtr operand = ParseNot();
    if (!operand) return nullptr;
    if (operand->type != kExprLogical)
      return Fail("'" + std::string(op.text) + "' needs a logical value at position " +
                  std::to_string(op.pos + 1));
    return Make(Op::kNot, kExprLogical, std::move(operand));
  }

  static bool IsEqualityOp(Tok kind) {
    return kind == Tok::kEq || kind == Tok::kEqEq || kind == Tok::kNe;
  }
  static bool IsRelationalOp(Tok kind) {
    return kind == Tok::kLt || kind == Tok::kGt || kind == Tok::kLe || kind == Tok::kGe ||
           kind == Tok::kDollar;
  }

  NodePtr ParseEquality() {
    NodePtr left = ParseRelational();
    while (left && IsEqualityOp(Current().kind)) {
      const Token op = Advance();
      NodePtr right = ParseRelational();
      if (!right) return nullptr;
      left = MakeComparison(op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr ParseRelational() {
    NodePtr left = ParseAdditive();
    while (left && IsRelationalOp(Current().kind)) {
      const Token op = Advance();
      NodePtr right = ParseAdditive();
      if (!right) return nullptr;
      left = MakeComparison(op, std::move(left), std::move(right));
    }
    return left;
  }

  static Cmp CompareOf(Tok kind) {
    switch (kind) {
      case Tok::kEqEq:
        return Cmp::kExactEq;
      case Tok::kNe:
        return Cmp::kNe;
      case Tok::kLt:
        return Cmp::kLt;
      case Tok::kGt:
        return Cmp::kGt;
      case Tok::kLe:
        return Cmp::kLe;
      case Tok::kGe:
        return Cmp::kGe;
      default:
        return Cmp::kEq;
    }
  }

  NodePtr MakeComparison(const Token& op, NodePtr left, NodePtr right) {
    if (left->type != right->type) return TypeError(op, *left, *right);
    if (op.kind == Tok::kDollar) {
      if (left->type != kExprString) return TypeError(op, *left, *right);
      return Make(Op::kContains, kExprLogical, std::move(left), std::move(right));
    }
    const Cmp cmp = CompareOf(op.kind);
    if (left->type == kExprNumeric)
      return NumericComparison(cmp, std::move(left), std::move(right));
    if (left->type == kExprLogical)
      return LogicalComparison(cmp, std::move(left), std::move(right));
    const Op kind = left->type == kExprString ? Op::kCompareString : Op::kCompareDate;
    NodePtr node = Make(kind, kExprLogical, std::move(left), std::move(right));
    if (node) node->cmp = cmp;
    return node;
  }

  // A numeric field against a number is compared on the record bytes, without a tree walk.
  NodePtr NumericComparison(Cmp cmp, NodePtr left, NodePtr right) {
    if (right->op == Op::kFieldNumeric && left->op == Op::kConstNumeric) {
      std::swap(left, right);
      cmp = MirrorCompare(cmp);
    }
    if (left->op == Op::kFieldNumeric && right->op == Op::kConstNumeric) {
      left->op = Op::kNumericFieldCompare;
      left->type = kExprLogical;
      left->cmp = cmp;
      left->number = right->number;
      return left;
    }
    NodePtr node = Make(Op::kCompareNumeric, kExprLogical, std::move(left), std::move(right));
    if (node) node->cmp = cmp;
    return node;
  }

  // A logical field tested for equality with a constant becomes a single byte test.
  NodePtr LogicalComparison(Cmp cmp, NodePtr left, NodePtr right) {
    if (right->op == Op::kFieldLogical && left->op == Op::kConstLogical) std::swap(left, right);
    const bool equality = cmp == Cmp::kEq || cmp == Cmp::kExactEq || cmp == Cmp::kNe;
    if (equality && left->op == Op::kFieldLogical && right->op == Op::kConstLogical) {
      left->op = Op::kLogicalFieldIs;
      left->logical = right->logical != (cmp == Cmp::kNe);
      return left;
    }
    NodePtr node = Make(Op::kCompareLogical, kExprLogical, std::move(left), std::move(right));
    if (node) node->cmp = cmp;
    return node;
  }

  NodePtr ParseAdditive() {
    NodePtr left = ParseMultiplicative();
    while (left && (Current().kind == Tok::kPlus || Current().kind == Tok::kMinus)) {
      const Token op = Advance();
      NodePtr right = ParseMultiplicative();
      if (!right) return nullptr;
      left = op.kind == Tok::kPlus ? MakePlus(op, std::move(left), std::move(right))
                                   : MakeMinus(op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr MakePlus(const Token& op, NodePtr left, NodePtr right) {
    const ExprType a = left->type;
    const ExprType b = right->type;
    if (a == kExprNumeric && b == kExprNumeric)
      return Make(Op::kAdd, kExprNumeric, std::move(left), std::move(right));
    if (a == kExprString && b == kExprString)
      return Make(Op::kConcat, kExprString, std::move(left), std::move(right));
    if (a == kExprDate && b == kExprNumeric)
      return Make(Op::kDatePlusDays, kExprDate, std::move(left), std::move(right));
    if (a == kExprNumeric && b == kExprDate)
      return Make(Op::kDatePlusDays, kExprDate, std::move(right), std::move(left));
    return TypeError(op, *left, *right);
  }

  NodePtr MakeMinus(const Token& op, NodePtr left, NodePtr right) {
    const ExprType a = left->type;
    const ExprType b = right->type;
    if (a == kExprNumeric && b == kExprNumeric)
      return Make(Op::kSubtract, kExprNumeric, std::move(left), std::move(right));
    if (a == kExprString && b == kExprString)
      return Make(Op::kConcatTrim, kExprString, std::move(left), std::move(right));
    if (a == kExprDate && b == kExprNumeric)
      return Make(Op::kDateMinusDays, kExprDate, std::move(left), std::move(right));
    if (a == kExprDate && b == kExprDate)
      return Make(Op::kDateDiff, kExprNumeric, std::move(left), std::move(right));
    return TypeError(op, *left, *right);
  }

  NodePtr ParseMultiplicative() {
    NodePtr left = ParsePower();
    while (left && (Current().kind == Tok::kStar || Current().kind == Tok::kSlash ||
                    Current().kind == Tok::kPercent)) {
      const Token op = Advance();
      NodePtr right = ParsePower();
      if (!right) return nullptr;
      const Op kind = op.kind == Tok::kStar    ? Op::kMultiply
                      : op.kind == Tok::kSlash ? Op::kDivide
                                               : Op::kModulo;
      left = MakeArithmetic(kind, op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr ParsePower() {
    NodePtr left = ParseUnary();
    while (left && Current().kind == Tok::kPower) {
      const Token op = Advance();
      NodePtr right = ParseUnary();
      if (!right) return nullptr;
      left = MakeArithmetic(Op::kPower, op, std::move(left), std::move(right));
    }
    return left;
  }

  NodePtr MakeArithmetic(Op kind, const Token& op, NodePtr left, NodePtr right) {
    if (left->type != kExprNumeric || right->type != kExprNumeric)
      return TypeError(op, *left, *right);
    return Make(kind, kExprNumeric, std::move(left), std::move(right));
  }

  NodePtr ParseUnary() {
    if (Current().kind != Tok::kMinus && Current().kind != Tok::kPlus) return ParsePrimary();
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return Fail("expression too deeply nested");
    const Token op = Advance();
    NodePtr operand = ParseUnary();
    if (!operand) return nullptr;
    if (operand->type != kExprNumeric)
      return Fail("'" + std::string(op.text) + "' needs a numeric value at position " +
                  std::to_string(op.pos + 1));
    if (op.kind == Tok::kPlus) return operand;
    if (operand->op == Op::kConstNumeric) {
      operand->number = -operand->number;
      return operand;
    }
    return Make(Op::kNegate, kExprNumeric, std::move(operand));
  }

  NodePtr ParsePrimary() {
    const Token token = Advance();
    switch (token.kind) {
      case Tok::kNumber: {
        NodePtr node = NewNode(Op::kConstNumeric, kExprNumeric);
        node->number = token.number;
        return node;
      }
      case Tok::kString: {
        NodePtr node = NewNode(Op::kConstString, kExprString);
        node->text = std::string(token.text);
        return node;
      }
      case Tok::kTrue:
      case Tok::kFalse: {
        NodePtr node = NewNode(Op::kConstLogical, kExprLogical);
        node->logical = token.kind == Tok::kTrue;
        return node;
      }
      case Tok::kLParen:
        return ParseParenthesised();
      case Tok::kIdent:
        if (Current().kind == Tok::kArrow) return ParseAliasedField(token);
        return Current().kind == Tok::kLParen ? ParseCall(token) : ParseField(token);
      default:
        return Fail("unexpected " + Describe(token));
    }
  }

  NodePtr ParseParenthesised() {
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return Fail("expression too deeply nested");
    NodePtr inner = ParseOr();
    if (!inner) return nullptr;
    if (Current().kind != Tok::kRParen) return Fail("expected ')' before " + Describe(Current()));
    Advance();
    return inner;
  }

  NodePtr ParseCall(const Token& name) {
    Nesting nesting(&depth_);
    if (nesting.too_deep()) return Fail("expression too deeply nested");
    Advance();  // '('
    std::vector<NodePtr> args;
    if (Current().kind != Tok::kRParen) {
      for (;;) {
        NodePtr arg = ParseOr();
        if (!arg) return nullptr;
        args.push_back(std::move(arg));
        if (Current().kind != Tok::kComma) break;
        Advance();
      }
    }
    if (Current().kind != Tok::kRParen) return Fail("expected ')' before " + Describe(Current()));
    Advance();
    NodePtr node;
    std::string error;
    if (!BindFunction(name.text, &args, &node, &error))
      return Fail(error + " at position " + std::to_string(name.pos + 1));
    return Finish(std::move(node));
  }

  NodePtr ParseAliasedField(const Token& alias) {
    const bool own = schema_.IsOwnAlias(alias.text);
    const auto another_area = [&] {
      return Fail("alias reference '" + std::string(alias.text) +
                  "->' names another work area (not supported)");
    };
    if (!own && aliases_ == AliasRule::kOwnOnly) return another_area();
    Advance();  // '->'
    const Token& name = Advance();
    if (name.kind != Tok::kIdent) return Fail("expected a field name after '->'");
    if (!own && schema_.FieldIndex(name.text) < 0) return another_area();
    return ParseField(name);
  }

  NodePtr ParseField(const Token& name) {
    const int index = schema_.FieldIndex(name.text);
    if (index < 0)
      return Fail("unknown field '" + std::string(name.text) + "' at position " +
                  std::to_string(name.pos + 1));
    const FieldInfo& field = schema_.Field(index);
    if (field.offset < 1 || field.width < 1 || field.offset + field.width > schema_.RecordSize())
      return Fail("field '" + field.name + "' lies outside the record");
    NodePtr node = FieldNode(field);
    if (!node)
      return Fail("field '" + field.name + "' has a type expressions cannot read ('" +
                  std::string(1, field.type) + "')");
    node->field = index;
    node->offset = field.offset;
    node->width = field.width;
    node->decimals = field.decimals;
    min_record_size_ = std::max(min_record_size_, field.offset + field.width);
    return node;
  }

  static NodePtr FieldNode(const FieldInfo& field) {
    switch (std::toupper(static_cast<unsigned char>(field.type))) {
      case 'C':
        return NewNode(Op::kFieldChar, kExprString);
      case 'N':
      case 'F':
        return NewNode(Op::kFieldNumeric, kExprNumeric);
      case 'L':
        return NewNode(Op::kFieldLogical, kExprLogical);
      case 'D':
        return field.width == 8 ? NewNode(Op::kFieldDate, kExprDate) : nullptr;
      case 'M':
        return NewNode(Op::kFieldMemo, kExprString);
      case 'I':
      case '+':
        if (field.width != 4) return nullptr;
        return NewNode(field.ordered ? Op::kFieldOrderedInt32 : Op::kFieldInt32, kExprNumeric);
      case 'B':
        return field.width == 8 ? NewNode(Op::kFieldDouble, kExprNumeric) : nullptr;
      case 'O':
        return field.width == 8 ? NewNode(Op::kFieldOrderedDouble, kExprNumeric) : nullptr;
      case 'Y':
        return field.width == 8 ? NewNode(Op::kFieldCurrency, kExprNumeric) : nullptr;
      case 'T':
        return field.width == 8 ? NewNode(Op::kFieldDateTime, kExprDate) : nullptr;
      case '@':
        return field.width == 8 ? NewNode(Op::kFieldStamp, kExprDate) : nullptr;
      default:
        return nullptr;
    }
  }

  std::string_view text_;
  const RecordView& schema_;
  const AliasRule aliases_;
  std::vector<Token> tokens_;
  size_t index_ = 0;
  int depth_ = 0;
  int min_record_size_ = 1;
  std::string error_;
};

// Text shown for a numeric result asked for as a string: STR() form for fields, else the
// shortest text that gives the number back.
void DisplayNumber(const Node& root, double value, std::string* out) {
  if (root.op == Op::kFieldNumeric) {
    FormatNumber(value, root.width, root.decimals, out);
    return;
  }
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  out->assign(buffer);
}

bool ReadsMemo(const Node& node) {
  if (node.op == Op::kFieldMemo) return true;
  for (const NodePtr& arg : node.args) {
    if (ReadsMemo(*arg)) return true;
  }
  return false;
}

// One record of a block as a view: the layout comes from the table's view, the record
// image and number from the block.
class BlockRecordView final : public RecordView {
 public:
  explicit BlockRecordView(const RecordView& layout) : layout_(layout) {}
  int FieldCount() const override { return layout_.FieldCount(); }
  int FieldIndex(std::string_view name) const override { return layout_.FieldIndex(name); }
  const FieldInfo& Field(int index) const override { return layout_.Field(index); }
  const uint8_t* Record() const override { return record_; }
  int RecordSize() const override { return layout_.RecordSize(); }
  uint32_t RecNo() const override { return recno_; }
  void MoveTo(const uint8_t* record, uint32_t recno) {
    record_ = record;
    recno_ = recno;
  }

 private:
  const RecordView& layout_;
  const uint8_t* record_ = nullptr;
  uint32_t recno_ = 0;
};

class Program final : public CompiledExpr {
 public:
  Program(std::string_view text, NodePtr root, int min_record_size)
      : CompiledExpr(text), root_(std::move(root)), min_record_size_(min_record_size) {
    if (root_->type == kExprLogical) conditions_ = std::make_unique<ConditionProgram>(*root_);
    reads_record_only_ = !ReadsMemo(*root_);
  }

  ExprType ResultType() const override { return root_->type; }
  const Node& root() const { return *root_; }

  bool EvalLogical(const RecordView& view, const ExprSettings& settings) override {
    if (!conditions_ || !Fits(view)) return false;
    const uint8_t* record = view.Record();
    if (conditions_->is_conjunction()) return conditions_->RunConjunction(record);
    return conditions_->Run(EvalContext{view, record, settings});
  }

  double EvalNumeric(const RecordView& view, const ExprSettings& settings) override {
    if (root_->type != kExprNumeric || !Fits(view)) return 0;
    return expr::EvalNumeric(*root_, EvalContext{view, view.Record(), settings});
  }

  bool ReadsRecordOnly() const override { return reads_record_only_; }

  void EvalLogicalBlock(const uint8_t* first, size_t count, size_t stride, uint32_t first_recno,
                        const RecordView& layout, const ExprSettings& settings,
                        uint8_t* matches) override {
    const int size = layout.RecordSize();
    if (!conditions_ || !reads_record_only_ || size < min_record_size_ ||
        stride < static_cast<size_t>(size)) {
      std::fill(matches, matches + count, 0);
      return;
    }
    if (conditions_->is_conjunction()) {
      for (size_t i = 0; i < count; ++i)
        matches[i] = conditions_->RunConjunction(first + i * stride);
      return;
    }
    BlockRecordView view(layout);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* record = first + i * stride;
      view.MoveTo(record, first_recno + static_cast<uint32_t>(i));
      matches[i] = conditions_->Run(EvalContext{view, record, settings});
    }
  }

  int64_t EvalDate(const RecordView& view, const ExprSettings& settings) override {
    if (root_->type != kExprDate || !Fits(view)) return 0;
    return expr::EvalDate(*root_, EvalContext{view, view.Record(), settings});
  }

  std::string EvalString(const RecordView& view, const ExprSettings& settings) override {
    if (!Fits(view)) return {};
    const EvalContext ctx{view, view.Record(), settings};
    std::string out;
    switch (root_->type) {
      case kExprString:
        out = expr::EvalString(*root_, ctx);
        break;
      case kExprNumeric:
        DisplayNumber(*root_, expr::EvalNumeric(*root_, ctx), &out);
        break;
      case kExprLogical:
        out = expr::EvalLogical(*root_, ctx) ? "T" : "F";
        break;
      case kExprDate:
        out = DtosFromJulian(expr::EvalDate(*root_, ctx));
        break;
      default:
        break;
    }
    return out;
  }

 private:
  // A view with a shorter record than the compiled fields need is never read.
  bool Fits(const RecordView& view) const { return view.RecordSize() >= min_record_size_; }

  NodePtr root_;
  std::unique_ptr<ConditionProgram> conditions_;  // logical expressions only
  int min_record_size_;
  bool reads_record_only_ = true;
};

}  // namespace

// Every CompiledExpr is a Program: its constructor is reached only through Compile.
const Node& TreeOf(const CompiledExpr& compiled) {
  return static_cast<const Program&>(compiled).root();
}

}  // namespace xb::expr

namespace xb {

bool CompiledExpr::Compile(std::string_view text, const RecordView& schema,
                           std::unique_ptr<CompiledExpr>* out, std::string* error,
                           AliasRule aliases) {
  out->reset();
  expr::Parser parser(text, schema, aliases);
  expr::NodePtr root = parser.Parse();
  if (!root) {
    if (error) *error = parser.error();
    return false;
  }
  *out = std::make_unique<expr::Program>(text, std::move(root), parser.min_record_size());
  return true;
}

ExprType CompiledExpr::TypeOf(std::string_view text, const RecordView& schema) {
  std::unique_ptr<CompiledExpr> compiled;
  return Compile(text, schema, &compiled, nullptr) ? compiled->ResultType() : kExprError;
}

}  // namespace xb
