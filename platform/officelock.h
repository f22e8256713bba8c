// The open-document guard: Linux lets a document be renamed or deleted while a word
// processor has it open, so we look for the lock files office programs leave beside it.
// Plain functions; thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace velloria::shell {

// True when `folder` holds a lock file for the document `name`: ".~lock.NAME#", or a
// Word owner file "~$" followed by NAME or by NAME less its first one or two characters.
bool IsDocumentOpen(const std::string& folder, std::string_view name);

// True when `name` is a Word owner file ("~$..."), which Windows shows hidden.
bool IsOwnerFileName(std::string_view name);

}  // namespace velloria::shell
