// The process-wide icon cache (the "system image list"): one icon per MIME icon name,
// taken from the freedesktop icon theme; items refer to icons by index. GUI thread only.
#pragma once

#include <QIcon>
#include <string>

namespace velloria::shell {

// Index of the icon for the item at `path` (a folder when `folder`); `open` asks for the
// open-folder icon. Every size of an icon shares one index.
int IconIndexForPath(const std::string& path, bool folder, bool open);

// The icon at `index`, looked up in the theme on the first call for it; a null icon for an
// index the cache never handed out.
QIcon IconAt(int index);

}  // namespace velloria::shell
