// What a later start may send the running instance over the single-instance channel: one
// line, "raise\n". The reader takes the bytes as they arrive, never keeps more than a short
// line, and decides once. Plain C++; one reader per connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velloria {

class InstanceRequestReader {
 public:
  enum class Verdict {
    kIncomplete,  // no whole line yet: wait for more (within the idle time)
    kRaise,       // the request to bring the window forward
    kInvalid,     // anything else: drop the connection
  };
  // The longest line taken; a longer one is invalid without being read further.
  static constexpr size_t kMaxLineBytes = 64;

  // Adds bytes that arrived. Once the verdict is not kIncomplete, it stays as it is and
  // further bytes are ignored.
  Verdict Feed(std::string_view bytes);
  Verdict verdict() const { return m_verdict; }

 private:
  std::string m_line;
  Verdict m_verdict = Verdict::kIncomplete;
};

// The line a later start sends, and the answer that confirms it was taken.
inline constexpr std::string_view kRaiseRequest = "raise\n";
inline constexpr std::string_view kRaiseAnswer = "ok\n";

}  // namespace velloria
