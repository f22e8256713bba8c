// The "properties" verb's dialog: name, folder, size, type, modified and permissions of
// one file or folder. GUI thread only.
#pragma once

#include <string>

namespace velloria {

// Opens a non-modal properties dialog for `path` (it deletes itself when closed).
void ShowPropertiesDialog(const std::string& path);

}  // namespace velloria
