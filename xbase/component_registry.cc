// The registry of findable xBase components.
#include "xbase/component_registry.h"

#include <algorithm>

namespace velloria::xbase {
namespace {

std::vector<TXBaseComponent*>& Registry() {
  static std::vector<TXBaseComponent*> registry;
  return registry;
}

}  // namespace

TXBaseComponent::TXBaseComponent() { Registry().push_back(this); }

TXBaseComponent::~TXBaseComponent() { std::erase(Registry(), this); }

const std::vector<TXBaseComponent*>& TXBaseSearchObject::Components() { return Registry(); }

}  // namespace velloria::xbase
