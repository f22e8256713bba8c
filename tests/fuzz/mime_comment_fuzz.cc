// libFuzzer target for the MIME type description reader: the input is taken as a type's
// file and read for a few language lists. Must never crash or hang, and a text it hands
// back holds no markup left undecoded: no '<', and no '&' unless the file spelled one out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/mime_comment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view xml(reinterpret_cast<const char*>(data), size);
  const QStringList lists[] = {{"it_IT", "it-Latn-IT", "it", "default"}, {"default"}, {"zh_TW", "zh-TW"}};
  for (const QStringList& languages : lists) {
    std::optional<QString> comment = velloria::shell::CommentFromMimeXml(xml, languages);
    if (!comment) continue;
    bool spelledOut = xml.find("&lt;") != std::string_view::npos || xml.find("&#") != std::string_view::npos;
    if (comment->contains(QLatin1Char('<')) && !spelledOut) std::abort();
  }
  return 0;
}
