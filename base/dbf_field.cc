// The reading of number field text. The common case (at most 2^53 as digits, at most 22
// decimals, no exponent) is one exact division, which rounds as a full conversion does; the
// rest goes to std::from_chars, which also ignores the locale.
#include "base/dbf_field.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velloria::dbf {
namespace {

constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr unsigned long long kExactLimit = 1ULL << 53;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The number text from `begin` (after the sign) to `end`, with ',' as '.', converted exactly.
double ConvertLong(const char* begin, const char* end) {
  std::string copy(begin, end);
  for (char& c : copy) {
    if (c == ',') c = '.';
  }
  double value = 0;
  auto [ptr, ec] = std::from_chars(copy.data(), copy.data() + copy.size(), value);
  return ec == std::errc() && std::isfinite(value) ? value : 0;
}

}  // namespace

double ReadNumberText(const char* text, size_t size) {
  size_t i = 0;
  while (i < size && text[i] == ' ') ++i;
  bool negative = false;
  if (i < size && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t start = i;
  unsigned long long mantissa = 0;
  int digits = 0, decimals = 0;
  bool point = false, exact = true;
  for (; i < size; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      ++digits;
      if (mantissa >= kExactLimit / 10) {
        exact = false;  // the digits are still taken; ConvertLong reads them
      } else {
        mantissa = mantissa * 10 + unsigned(c - '0');
      }
      decimals += point;
    } else if ((c == '.' || c == ',') && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0;
  if (i + 1 < size && (text[i] == 'e' || text[i] == 'E')) {
    size_t e = i + 1;
    if (e < size && (text[e] == '+' || text[e] == '-')) ++e;
    if (e < size && IsDigit(text[e])) {
      while (e < size && IsDigit(text[e])) ++e;
      i = e;
      exact = false;
    }
  }
  double value = exact && decimals < int(std::size(kPowersOfTen))
                     ? double(mantissa) / kPowersOfTen[decimals]
                     : ConvertLong(text + start, text + i);
  return negative ? -value : value;
}

}  // namespace velloria::dbf
