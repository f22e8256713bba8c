// libFuzzer target for the single-instance request reader. The first byte sets the size of
// the pieces in which the rest arrives, as reads from a socket may cut it anywhere. The
// reader must raise only for a first line "raise\n", always for exactly that input, refuse
// a line longer than its bound, and never change a verdict once given.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/instance_request.h"

using velloria::InstanceRequestReader;
using Verdict = InstanceRequestReader::Verdict;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] % 16 + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
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
  const size_t line_end = newline == std::string_view::npos ? input.size() : newline + 1;
  if (line_end > InstanceRequestReader::kMaxLineBytes && verdict != Verdict::kInvalid) std::abort();
  if (newline == std::string_view::npos && input.size() <= InstanceRequestReader::kMaxLineBytes &&
      verdict != Verdict::kIncomplete)
    std::abort();
  return 0;
}
