// The single-instance request reader: at most one short line, then a verdict.
#include "platform/instance_request.h"

namespace velloria {

InstanceRequestReader::Verdict InstanceRequestReader::Feed(std::string_view bytes) {
  if (m_verdict != Verdict::kIncomplete) return m_verdict;
  const size_t end = bytes.find('\n');
  const std::string_view part = bytes.substr(0, end == std::string_view::npos ? end : end + 1);
  if (m_line.size() + part.size() > kMaxLineBytes) return m_verdict = Verdict::kInvalid;
  m_line.append(part);
  if (end == std::string_view::npos) return m_verdict;
  const bool onlyTheLine = end + 1 == bytes.size();
  m_verdict = m_line == kRaiseRequest && onlyTheLine ? Verdict::kRaise : Verdict::kInvalid;
  return m_verdict;
}

}  // namespace velloria
