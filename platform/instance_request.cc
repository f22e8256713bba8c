// The single-instance request reader (at most one bounded line, then a verdict) and the
// encoding of the fields of open requests and answers.
#include "platform/instance_request.h"

namespace velloria {
namespace {

constexpr std::string_view kOpenHead = "open";
constexpr std::string_view kOtherOfficeHead = "other";
constexpr char kHex[] = "0123456789ABCDEF";

bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7f || byte == '%'; }

void AppendField(std::string& line, std::string_view field) {
  line += '\t';
  for (char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) {
      line += '%';
      line += kHex[byte >> 4];
      line += kHex[byte & 0xf];
    } else {
      line += c;
    }
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// One field as written by AppendField; nothing when it holds a bare control byte or a
// broken escape.
std::optional<std::string> DecodeField(std::string_view text) {
  std::string field;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte != '%') {
      if (NeedsEscape(byte)) return std::nullopt;
      field += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    field += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return field;
}

// The tab-separated fields after `head` in `line` (its "\n" removed); nothing when the
// line has another head or a field does not decode.
std::optional<std::vector<std::string>> DecodeFields(std::string_view line, std::string_view head) {
  if (line.substr(0, head.size()) != head) return std::nullopt;
  line.remove_prefix(head.size());
  std::vector<std::string> fields;
  while (!line.empty()) {
    if (line[0] != '\t') return std::nullopt;
    line.remove_prefix(1);
    const size_t end = line.find('\t');
    std::optional<std::string> field = DecodeField(line.substr(0, end));
    if (!field) return std::nullopt;
    fields.push_back(std::move(*field));
    line.remove_prefix(end == std::string_view::npos ? line.size() : end);
  }
  return fields;
}

}  // namespace

InstanceRequestReader::Verdict InstanceRequestReader::Feed(std::string_view bytes) {
  if (m_verdict != Verdict::kIncomplete) return m_verdict;
  const size_t end = bytes.find('\n');
  const std::string_view part = bytes.substr(0, end == std::string_view::npos ? end : end + 1);
  if (m_line.size() + part.size() > kMaxLineBytes) return m_verdict = Verdict::kInvalid;
  m_line.append(part);
  if (end == std::string_view::npos) return m_verdict;
  return m_verdict = decide(end + 1 == bytes.size());
}

InstanceRequestReader::Verdict InstanceRequestReader::decide(bool onlyTheLine) {
  if (!onlyTheLine) return Verdict::kInvalid;
  if (m_line == kRaiseRequest) return Verdict::kRaise;
  const std::string_view line = std::string_view(m_line).substr(0, m_line.size() - 1);
  std::optional<std::vector<std::string>> fields = DecodeFields(line, kOpenHead);
  if (!fields || fields->size() > kMaxRequestArguments) return Verdict::kInvalid;
  m_arguments = std::move(*fields);
  return Verdict::kOpen;
}

std::string EncodeOpenRequest(const std::vector<std::string>& arguments) {
  std::string line(kOpenHead);
  for (size_t i = 0; i < arguments.size() && i < kMaxRequestArguments; ++i) {
    AppendField(line, arguments[i]);
  }
  line += '\n';
  return line.size() <= InstanceRequestReader::kMaxLineBytes ? line : std::string(kRaiseRequest);
}

std::string EncodeOtherOfficeAnswer(std::string_view runningOffice) {
  std::string line(kOtherOfficeHead);
  AppendField(line, runningOffice);
  return line + '\n';
}

std::optional<std::string> DecodeOtherOfficeAnswer(std::string_view answer) {
  if (answer.empty() || answer.back() != '\n') return std::nullopt;
  answer.remove_suffix(1);
  std::optional<std::vector<std::string>> fields = DecodeFields(answer, kOtherOfficeHead);
  if (!fields || fields->size() != 1) return std::nullopt;
  return std::move(fields->front());
}

}  // namespace velloria
