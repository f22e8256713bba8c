// Verbs of namespace items: the context-menu object behind "open" and "properties".
// Internal to the namespace layer; GUI thread.
#pragma once

#include <string>

#include "platform/namespace.h"

namespace velloria::shell {

class ItemContextMenu final : public ContextMenu {
 public:
  explicit ItemContextMenu(std::string path) : m_path(std::move(path)) {}
  bool InvokeCommand(std::string_view verb) override;

 private:
  std::string m_path;
};

}  // namespace velloria::shell
