// Private parts of the expression language shared by its lexer, parser and evaluator (and
// the query optimiser, which reads the compiled tree): the node tree, the evaluation context
// and the helpers for dates and numbers.
// Not thread-safe: nodes keep scratch buffers that evaluation reuses.
#ifndef VELLORIA_ENGINE_EXPR_INTERNAL_H_
#define VELLORIA_ENGINE_EXPR_INTERNAL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/expr.h"

namespace xb::expr {

// Case-insensitive ASCII comparison of names and keywords.
bool EqualsNoCase(std::string_view a, std::string_view b);
// "character", "numeric", "logical", "date" (or "any" for kExprError) for messages.
const char* TypeName(ExprType type);

// ---- Tokens ----------------------------------------------------------------------------

enum class Tok {
  kEnd,
  kNumber,
  kString,
  kIdent,   // a name; bare AND/OR/NOT/TRUE/FALSE are decided by the parser
  kTrue,    // .T. .Y.
  kFalse,   // .F. .N.
  kDotAnd,  // .AND.
  kDotOr,   // .OR.
  kDotNot,  // .NOT.
  kBang,    // !
  kLParen,
  kRParen,
  kComma,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kPercent,
  kPower,  // ^ or **
  kEq,     // =
  kEqEq,   // ==
  kNe,     // <> != #
  kLt,
  kGt,
  kLe,
  kGe,
  kDollar,
  kArrow,  // -> after an alias
  kError,  // a character or literal the language does not have
};

struct Token {
  Tok kind = Tok::kEnd;
  std::string_view text;  // the token as written (string literals: without the quotes)
  size_t pos = 0;         // 0-based offset in the expression
  double number = 0;
};

// Splits the whole text into tokens; the last one is kEnd or kError.
std::vector<Token> Tokenize(std::string_view text);

// ---- Compiled nodes ---------------------------------------------------------------------

enum class Op {
  // Leaves
  kConstLogical,
  kConstNumeric,
  kConstString,
  kFieldChar,
  kFieldNumeric,
  kFieldLogical,
  kFieldDate,
  kFieldMemo,
  kFieldInt32,
  kFieldDouble,
  kFieldCurrency,
  kFieldDateTime,
  kFieldOrderedInt32,   // dBase 7 I and +
  kFieldOrderedDouble,  // dBase 7 O
  kFieldStamp,          // dBase 7 @
  // Logical
  kNot,
  kAnd,
  kOr,
  kLogicalFieldIs,       // L field compared with a constant: one byte test
  kNumericFieldCompare,  // N/F field compared with a numeric constant, parsed in place
  // Comparisons (cmp holds the operator)
  kCompareNumeric,
  kCompareString,
  kCompareDate,
  kCompareLogical,
  kContains,
  // Arithmetic
  kNegate,
  kAdd,
  kSubtract,
  kMultiply,
  kDivide,
  kModulo,
  kPower,
  kConcat,
  kConcatTrim,
  kDatePlusDays,
  kDateMinusDays,
  kDateDiff,
  // Functions
  kDtos,
  kStod,
  kCtod,
  kDtoc,
  kLeft,
  kRight,
  kSubstr,
  kUpper,
  kLower,
  kRtrim,
  kLtrim,
  kAlltrim,
  kStr,
  kVal,
  kLen,
  kEmpty,
  kDeleted,
  kRecno,
  kIif,
  kYear,
  kMonth,
  kDay,
  kDate,
  kAt,
};

enum class Cmp { kEq, kExactEq, kNe, kLt, kGt, kLe, kGe };

inline bool ApplyCompare(int three_way, Cmp cmp) {
  switch (cmp) {
    case Cmp::kEq:
    case Cmp::kExactEq:
      return three_way == 0;
    case Cmp::kNe:
      return three_way != 0;
    case Cmp::kLt:
      return three_way < 0;
    case Cmp::kGt:
      return three_way > 0;
    case Cmp::kLe:
      return three_way <= 0;
    case Cmp::kGe:
      return three_way >= 0;
  }
  return false;
}

template <typename T>
int ThreeWay(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

struct Node {
  Op op;
  ExprType type;
  Cmp cmp = Cmp::kEq;
  std::vector<std::unique_ptr<Node>> args;
  int height = 1;  // longest path to a leaf; bounds evaluation recursion
  int cost = -1;   // evaluation cost estimate, filled in when first asked for

  // Fields: position in the record image and layout.
  int field = -1;
  int offset = 0;
  int width = 0;
  int decimals = 0;

  // Constants (also the constant side of the fast comparisons).
  bool logical = false;
  double number = 0;
  std::string text;

  // Result buffer for string operations; reused from record to record.
  std::string scratch;
};

// ---- Evaluation ------------------------------------------------------------------------

struct EvalContext {
  const RecordView& view;
  const uint8_t* record;
  const ExprSettings& settings;
};

bool EvalLogical(Node& node, const EvalContext& ctx);
double EvalNumeric(Node& node, const EvalContext& ctx);
int64_t EvalDate(Node& node, const EvalContext& ctx);
// The view stays valid until the node (or a node below it) is evaluated again.
std::string_view EvalString(Node& node, const EvalContext& ctx);

// Whether `node` depends on nothing but one byte of the record: a logical field test or a
// comparison of a one-character numeric field with a constant.
bool IsOneByteTest(const Node& node);
// Evaluates a one-byte test on every byte value; accepts[v] tells whether v passes
// (inverted when `negate`).
void TabulateOneByteTest(const Node& node, bool negate, bool accepts[256]);

// A one-byte test tabulated: by the byte's value, whether the record passes.
struct ByteTest {
  int offset;
  bool accepts[256];
};
// Tabulates a one-byte test, or the NOT of one, into *test; false for any other node.
bool TabulateByteTest(const Node& node, ByteTest* test);

// Calls term(node) on each term of an AND tree (on the node itself when it is no AND);
// false as soon as term refuses one.
template <typename Term>
bool ForEachAndTerm(const Node& node, const Term& term) {
  if (node.op == Op::kAnd)
    return ForEachAndTerm(*node.args[0], term) && ForEachAndTerm(*node.args[1], term);
  return term(node);
}

// Short-circuit form of a logical tree for per-record tests: AND, OR and NOT become jumps
// between leaf conditions, and the comparisons queries use most run inline on the record
// bytes. Other leaves are evaluated as trees.
class ConditionProgram {
 public:
  // `root` (logical) must outlive the program.
  explicit ConditionProgram(Node& root);
  bool Run(const EvalContext& ctx) const;
  // True when the expression is an AND of one-byte table tests (the usual query);
  // RunConjunction then needs only the record image and is the fastest path.
  bool is_conjunction() const { return !conjunction_.empty(); }
  // Every test runs (no early exit): a few table lookups cost less than the mispredicted
  // branches that data-dependent exits cause.
  bool RunConjunction(const uint8_t* record) const {
    bool pass = true;
    for (const ByteTest& test : conjunction_) pass &= test.accepts[record[test.offset]];
    return pass;
  }

 private:
  enum class Kind { kByteSet, kInteger, kNumeric, kTree };
  struct Condition {
    Kind kind;
    Cmp cmp;
    int offset;
    int width;
    int64_t integer;    // kInteger: the constant
    double number;      // kNumeric: the constant
    Node* node;         // kInteger (fallback), kTree
    bool accepts[256];  // kByteSet: by byte value, whether it passes
    int on_true;        // next condition, or kPass / kFail
    int on_false;
  };
  static constexpr int kPass = -1;
  static constexpr int kFail = -2;

  int Emit(Node& node, int on_true, int on_false);
  int Leaf(Node& node, int on_true, int on_false);

  std::vector<Condition> conditions_;
  int entry_ = kFail;
  std::vector<ByteTest> conjunction_;  // empty unless the whole tree is such an AND
};

// The tree `compiled` was compiled to, for the query optimiser (expr_parser.cc).
const Node& TreeOf(const CompiledExpr& compiled);

// Function calls: compile-time lookup and evaluation (expr_functions.cc).
// Resolves `name` with its argument nodes; false with *error when the name or the
// argument types are wrong.
bool BindFunction(std::string_view name, std::vector<std::unique_ptr<Node>>* args,
                  std::unique_ptr<Node>* out, std::string* error);
bool EvalFunctionLogical(Node& node, const EvalContext& ctx);
double EvalFunctionNumeric(Node& node, const EvalContext& ctx);
int64_t EvalFunctionDate(Node& node, const EvalContext& ctx);
std::string_view EvalFunctionString(Node& node, const EvalContext& ctx);

// ---- Values -----------------------------------------------------------------------------

// VAL()'s reading of text: leading blanks, sign, digits, '.', digits; the rest is ignored and
// text without digits is 0. Its own rule, kept as xBase programs expect of the function: ','
// and an exponent end the number (VAL("1,5") is 1). A field's text reads as the engine's
// other readers read it (velloria::dbf::ReadNumberText), where ',' is a decimal point.
double ParseValNumber(const char* bytes, size_t size);
// STR(): right-aligned in `width`, rounded half away from zero to `decimals`;
// `width` asterisks when the number does not fit.
void FormatNumber(double value, int width, int decimals, std::string* out);
// Three-way string comparison under the exact setting (prefix rule when off).
int CompareStrings(std::string_view a, std::string_view b, bool exact);
inline bool IsLogicalTrue(uint8_t byte) {
  const uint8_t lower = byte | 0x20;
  return lower == 't' || lower == 'y';
}

// ---- Dates ------------------------------------------------------------------------------

// Year of a two-digit year under the epoch window.
int ApplyEpoch(int two_digit_year, int epoch);
// Text to date by the date format (day, month, year order and separator); bad text → 0.
int64_t CtodJulian(std::string_view text, const ExprSettings& settings);
// Date to text by the date format and century setting; blanks in the same shape for 0.
void DtocText(int64_t julian, const ExprSettings& settings, std::string* out);
// Today as a Julian day number, from the Os calendar (local time).
int64_t TodayJulian();

}  // namespace xb::expr

#endif  // VELLORIA_ENGINE_EXPR_INTERNAL_H_
