// The text of file names, which are bytes on disk: UTF-8 when the bytes are valid UTF-8,
// else Windows code page 1252, as file managers show names from Windows shares and zip
// files. Plain functions; thread-safe.
#pragma once

#include <QString>
#include <string_view>

namespace velloria::shell {

// The text shown for the file-name bytes `bytes`.
QString DecodeFileName(std::string_view bytes);

}  // namespace velloria::shell
