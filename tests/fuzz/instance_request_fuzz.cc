// libFuzzer target for the single-instance request reader and the field encoding. The first
// byte sets the size of the pieces in which the rest arrives, as reads from a socket may cut
// it anywhere. The reader must raise only for a first line "raise\n", always for exactly
// that input, open only for a line that starts "open", refuse a line longer than its
// bound, and never change a verdict once given. Arguments and offices, taken from the input
// split at 0xFF bytes, must come back unchanged through their encoding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/instance_request.h"

using velloria::InstanceRequestReader;
using Verdict = InstanceRequestReader::Verdict;

namespace {

void CheckReader(std::string_view input, size_t piece) {
  InstanceRequestReader reader;
  Verdict first_decided = Verdict::kIncomplete;
  for (size_t at = 0; at < input.size(); at += piece) {
    Verdict verdict = reader.Feed(input.substr(at, piece));
    if (first_decided != Verdict::kIncomplete && verdict != first_decided) std::abort();
    first_decided = verdict;
  }
  const Verdict verdict = reader.verdict();
  const size_t newline = input.find('\n');
  if (verdict == Verdict::kRaise && !input.starts_with(velloria::kRaiseRequest)) std::abort();
  if (input == velloria::kRaiseRequest && verdict != Verdict::kRaise) std::abort();
  if (verdict == Verdict::kOpen && !input.starts_with("open")) std::abort();
  if (verdict != Verdict::kOpen && !reader.arguments().empty()) std::abort();
  const size_t line_end = newline == std::string_view::npos ? input.size() : newline + 1;
  if (line_end > InstanceRequestReader::kMaxLineBytes && verdict != Verdict::kInvalid) std::abort();
  if (newline == std::string_view::npos && input.size() <= InstanceRequestReader::kMaxLineBytes &&
      verdict != Verdict::kIncomplete)
    std::abort();
}

void CheckRoundTrip(std::string_view input) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; (end = input.find('\xff', start)) != std::string_view::npos; start = end + 1) {
    fields.emplace_back(input.substr(start, end - start));
  }
  fields.emplace_back(input.substr(start));
  if (fields.size() > velloria::kMaxRequestArguments) fields.resize(velloria::kMaxRequestArguments);
  const std::string line = velloria::EncodeOpenRequest(fields);
  InstanceRequestReader reader;
  const Verdict verdict = reader.Feed(line);
  if (line == velloria::kRaiseRequest) {
    if (line.size() + input.size() < InstanceRequestReader::kMaxLineBytes / 3) std::abort();
  } else if (verdict != Verdict::kOpen || reader.arguments() != fields) {
    std::abort();
  }
  if (velloria::DecodeOtherOfficeAnswer(velloria::EncodeOtherOfficeAnswer(input)) != std::string(input))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckReader(input, data[0] % 16 + 1);
  CheckRoundTrip(input);
  velloria::DecodeOtherOfficeAnswer(input);
  return 0;
}
