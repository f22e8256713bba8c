// Lexer of the expression language: splits a text into numbers, quoted strings, names,
// dotted words (.T. .AND. …) and operators. Bare words are left to the parser, because a
// field named AND or TRUE takes precedence over the keyword.
#include <cctype>
#include <charconv>

#include "engine/expr_internal.h"

namespace xb::expr {
namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || std::isdigit(static_cast<unsigned char>(c)); }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    for (;;) {
      SkipBlanks();
      Token token = Next();
      tokens.push_back(token);
      if (token.kind == Tok::kEnd || token.kind == Tok::kError) return tokens;
    }
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n')) {
      ++pos_;
    }
  }

  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  Token Make(Tok kind, size_t start, size_t length) {
    pos_ = start + length;
    return Token{kind, text_.substr(start, length), start, 0};
  }

  Token Next() {
    const size_t start = pos_;
    if (pos_ >= text_.size()) return Make(Tok::kEnd, start, 0);
    const char c = text_[pos_];
    if (IsDigit(c) || (c == '.' && IsDigit(Peek(1)))) return Number(start);
    if (c == '.') return DottedWord(start);
    if (c == '"' || c == '\'') return Quoted(start, c);
    if (c == '[') return Quoted(start, ']');
    if (IsIdentStart(c)) {
      size_t end = start + 1;
      while (end < text_.size() && IsIdentChar(text_[end])) ++end;
      return Make(Tok::kIdent, start, end - start);
    }
    return Symbol(start, c);
  }

  Token Number(size_t start) {
    size_t end = start;
    while (end < text_.size() && IsDigit(text_[end])) ++end;
    if (end < text_.size() && text_[end] == '.') {
      const char after = end + 1 < text_.size() ? text_[end + 1] : '\0';
      if (IsDigit(after)) {
        ++end;
        while (end < text_.size() && IsDigit(text_[end])) ++end;
      } else if (!std::isalpha(static_cast<unsigned char>(after))) {
        ++end;  // "1." is a number; "1.AND." is 1 followed by .AND.
      }
    }
    Token token = Make(Tok::kNumber, start, end - start);
    const char* first = text_.data() + start;
    const auto result = std::from_chars(first, text_.data() + end, token.number);
    if (result.ec != std::errc()) token.kind = Tok::kError;
    return token;
  }

  Token DottedWord(size_t start) {
    size_t end = start + 1;
    while (end < text_.size() && std::isalpha(static_cast<unsigned char>(text_[end]))) ++end;
    if (end >= text_.size() || text_[end] != '.') return Make(Tok::kError, start, 1);
    const std::string_view word = text_.substr(start + 1, end - start - 1);
    Tok kind = Tok::kError;
    if (EqualsNoCase(word, "T") || EqualsNoCase(word, "Y")) kind = Tok::kTrue;
    if (EqualsNoCase(word, "F") || EqualsNoCase(word, "N")) kind = Tok::kFalse;
    if (EqualsNoCase(word, "AND")) kind = Tok::kDotAnd;
    if (EqualsNoCase(word, "OR")) kind = Tok::kDotOr;
    if (EqualsNoCase(word, "NOT")) kind = Tok::kDotNot;
    return Make(kind, start, end - start + 1);
  }

  Token Quoted(size_t start, char close) {
    const size_t end = text_.find(close, start + 1);
    if (end == std::string_view::npos) return Make(Tok::kError, start, text_.size() - start);
    pos_ = end + 1;
    return Token{Tok::kString, text_.substr(start + 1, end - start - 1), start, 0};
  }

  Token Symbol(size_t start, char c) {
    const char next = Peek(1);
    switch (c) {
      case '(':
        return Make(Tok::kLParen, start, 1);
      case ')':
        return Make(Tok::kRParen, start, 1);
      case ',':
        return Make(Tok::kComma, start, 1);
      case '+':
        return Make(Tok::kPlus, start, 1);
      case '-':
        return next == '>' ? Make(Tok::kArrow, start, 2) : Make(Tok::kMinus, start, 1);
      case '*':
        return next == '*' ? Make(Tok::kPower, start, 2) : Make(Tok::kStar, start, 1);
      case '/':
        return Make(Tok::kSlash, start, 1);
      case '%':
        return Make(Tok::kPercent, start, 1);
      case '^':
        return Make(Tok::kPower, start, 1);
      case '$':
        return Make(Tok::kDollar, start, 1);
      case '#':
        return Make(Tok::kNe, start, 1);
      case '=':
        return next == '=' ? Make(Tok::kEqEq, start, 2) : Make(Tok::kEq, start, 1);
      case '!':
        return next == '=' ? Make(Tok::kNe, start, 2) : Make(Tok::kBang, start, 1);
      case '<':
        if (next == '>') return Make(Tok::kNe, start, 2);
        return next == '=' ? Make(Tok::kLe, start, 2) : Make(Tok::kLt, start, 1);
      case '>':
        return next == '=' ? Make(Tok::kGe, start, 2) : Make(Tok::kGt, start, 1);
      default:
        return Make(Tok::kError, start, 1);
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<Token> Tokenize(std::string_view text) { return Lexer(text).Run(); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

const char* TypeName(ExprType type) {
  switch (type) {
    case kExprString:
      return "character";
    case kExprNumeric:
      return "numeric";
    case kExprLogical:
      return "logical";
    case kExprDate:
      return "date";
    default:
      return "any";
  }
}

}  // namespace xb::expr
