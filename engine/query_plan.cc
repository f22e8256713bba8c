// The query optimiser's plans: parse "FIELD = constant [AND ...]" and test records by bytes.
#include "engine/query_plan.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "engine/field_codec.h"

namespace xb {
namespace {

struct Token {
  enum Kind { kName, kNumber, kDotted, kEquals, kEnd, kOther } kind = kEnd;
  std::string text;
};

// Splits text into the few tokens a plan needs; anything else is kOther.
std::vector<Token> Tokenize(std::string_view text) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    size_t start = i;
    Token t;
    if (std::isalpha(c) || c == '_') {
      while (i < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
        ++i;
      t.kind = Token::kName;
    } else if (std::isdigit(c)) {
      while (i < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '.'))
        ++i;
      t.kind = Token::kNumber;
    } else if (c == '.') {
      size_t close = text.find('.', i + 1);
      if (close == std::string_view::npos) return {{Token::kOther, ""}};
      i = close + 1;
      t.kind = Token::kDotted;
    } else if (c == '=') {
      i += (i + 1 < text.size() && text[i + 1] == '=') ? 2 : 1;
      t.kind = Token::kEquals;
    } else {
      return {{Token::kOther, ""}};
    }
    t.text = std::string(text.substr(start, i - start));
    for (char& ch : t.text) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    tokens.push_back(t);
  }
  tokens.push_back({Token::kEnd, ""});
  return tokens;
}

bool IsKeyword(const std::string& upper) {
  return upper == "AND" || upper == "OR" || upper == "NOT" || upper == "TRUE" || upper == "FALSE";
}

// Logical constant: 1 true, 0 false, -1 not one.
int LogicalConstant(const Token& t) {
  if (t.text == "TRUE" || t.text == ".T." || t.text == ".Y.") return 1;
  if (t.text == "FALSE" || t.text == ".F." || t.text == ".N.") return 0;
  return -1;
}

// Value of a plain N field text ([-]digits[.digits], blanks around); false for other forms.
bool PlainNumber(const uint8_t* p, int width, double* value) {
  if (width == 1 && p[0] >= '0' && p[0] <= '9') {
    *value = p[0] - '0';
    return true;
  }
  int i = 0;
  while (i < width && p[i] == ' ') ++i;
  bool negative = i < width && p[i] == '-';
  if (negative) ++i;
  double v = 0;
  int digits = 0;
  for (; i < width && p[i] >= '0' && p[i] <= '9'; ++i, ++digits) v = v * 10 + (p[i] - '0');
  if (i < width && p[i] == '.') {
    double scale = 0.1;
    for (++i; i < width && p[i] >= '0' && p[i] <= '9'; ++i, ++digits, scale /= 10)
      v += (p[i] - '0') * scale;
  }
  while (i < width && p[i] == ' ') ++i;
  if (i != width || digits == 0) return false;
  *value = negative ? -v : v;
  return true;
}

}  // namespace

std::unique_ptr<QueryPlan> QueryPlan::Build(std::string_view text, const TableLayout& layout) {
  for (const FieldInfo& f : layout.fields) {
    if (IsKeyword(f.name)) return nullptr;  // a field named like a keyword changes the parse
  }
  std::vector<Token> tokens = Tokenize(text);
  auto plan = std::make_unique<QueryPlan>();
  size_t i = 0;
  for (;;) {
    if (tokens.size() < i + 4 || tokens[i].kind != Token::kName ||
        tokens[i + 1].kind != Token::kEquals)
      return nullptr;
    int index = layout.FieldIndex(tokens[i].text);
    if (index < 0) return nullptr;
    const FieldInfo& f = layout.fields[size_t(index)];
    const Token& constant = tokens[i + 2];
    Term term;
    term.offset = f.offset;
    term.width = f.width;
    if (f.type == 'L') {
      int logical = LogicalConstant(constant);
      if (logical < 0) return nullptr;
      term.logical = true;
      term.want_true = logical == 1;
    } else if (f.type == 'N' || f.type == 'F') {
      if (constant.kind != Token::kNumber) return nullptr;
      char* end = nullptr;
      term.value = std::strtod(constant.text.c_str(), &end);
      if (*end != 0) return nullptr;
    } else {
      return nullptr;
    }
    plan->terms_.push_back(term);
    const Token& next = tokens[i + 3];
    if (next.kind == Token::kEnd) {
      // Logical terms are the cheapest test: try them first.
      std::stable_partition(plan->terms_.begin(), plan->terms_.end(),
                            [](const Term& t) { return t.logical; });
      return plan;
    }
    if (!(next.text == "AND" || next.text == ".AND.")) return nullptr;
    i += 4;
  }
}

bool QueryPlan::Matches(const uint8_t* record) const {
  for (const Term& t : terms_) {
    const uint8_t* p = record + t.offset;
    if (t.logical) {
      bool value = *p == 'T' || *p == 't' || *p == 'Y' || *p == 'y';
      if (value != t.want_true) return false;
      continue;
    }
    double value = 0;
    if (!PlainNumber(p, t.width, &value)) {
      value =
          DecodeNumber(std::string_view(reinterpret_cast<const char*>(p), size_t(t.width)), 'N');
    }
    if (value != t.value) return false;
  }
  return true;
}

}  // namespace xb
