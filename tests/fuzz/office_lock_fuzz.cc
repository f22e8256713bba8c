// libFuzzer target for the texts read from office lock files and file names: the input as
// a lock file's fields, as a Word owner file's head and as file-name bytes. Fields and the
// owner's name never hold more bytes than went in; a name decodes to text that gives back
// UTF-8 input exactly, and one character per byte otherwise. Nothing may crash.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/file_name_text.h"
#include "platform/officelock.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t bytes = 0;
  std::vector<std::string> fields = velloria::shell::OfficeLockFields(text);
  for (const std::string& field : fields) bytes += field.size();
  Require(!fields.empty() && bytes + fields.size() - 1 <= size);
  std::string owner = velloria::shell::OwnerFileUserName(text);
  Require(owner.size() <= 53 && (owner.empty() || owner.size() < size));

  QString name = velloria::shell::DecodeFileName(text);
  QByteArray utf8 = name.toUtf8();
  bool roundTrip = std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())) == text;
  Require(roundTrip || name.size() == static_cast<qsizetype>(size));
  return 0;
}
