// What a later start may send the running instance over the single-instance channel, and
// what it answers. A request is one line: "raise\n" (bring the window forward), or "open"
// followed by the later start's arguments, each after a tab and with tab, line feed, '%'
// and the other control bytes written as %XX, then "\n". The reader takes the bytes as
// they arrive, never keeps more than one bounded line, and decides once. Plain C++; one
// reader per connection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velloria {

class InstanceRequestReader {
 public:
  enum class Verdict {
    kIncomplete,  // no whole line yet: wait for more (within the idle time)
    kRaise,       // the request to bring the window forward
    kOpen,        // a later start's arguments: arguments() holds them
    kInvalid,     // anything else: drop the connection
  };
  // The longest line taken; a longer one is invalid without being read further.
  static constexpr size_t kMaxLineBytes = 16384;

  // Adds bytes that arrived. Once the verdict is not kIncomplete, it stays as it is and
  // further bytes are ignored.
  Verdict Feed(std::string_view bytes);
  Verdict verdict() const { return m_verdict; }
  // The arguments of an open request (the later start's argv without the program).
  const std::vector<std::string>& arguments() const { return m_arguments; }

 private:
  Verdict decide(bool onlyTheLine);

  std::string m_line;
  std::vector<std::string> m_arguments;
  Verdict m_verdict = Verdict::kIncomplete;
};

// The line a later start sends when it has nothing else to say, and the answer that
// confirms a request was taken.
inline constexpr std::string_view kRaiseRequest = "raise\n";
inline constexpr std::string_view kRaiseAnswer = "ok\n";
// How many arguments an open request carries at most; later ones are not sent.
inline constexpr size_t kMaxRequestArguments = 8;

// The open request for `arguments` (argv without the program), or kRaiseRequest when the
// line would be longer than the reader takes.
std::string EncodeOpenRequest(const std::vector<std::string>& arguments);

// The answer to an open request whose arguments name another office than the one shown:
// the running instance's office follows, encoded as an argument.
std::string EncodeOtherOfficeAnswer(std::string_view runningOffice);
// The running instance's office from such an answer; nothing for any other line.
std::optional<std::string> DecodeOtherOfficeAnswer(std::string_view answer);

}  // namespace velloria
