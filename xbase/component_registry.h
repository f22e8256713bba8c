// The components of the xBase layer that must find each other (a table looks for the
// environment whose settings it copies; the environment refreshes the open tables) register
// here in creation order; TXBaseSearchObject walks them. Single-threaded; no Qt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velloria::xbase {

// Base of the findable components: registered for its whole life.
class TXBaseComponent {
 public:
  TXBaseComponent();
  TXBaseComponent(const TXBaseComponent&) = delete;
  TXBaseComponent& operator=(const TXBaseComponent&) = delete;
  virtual ~TXBaseComponent();
};

// Finds components of class T (or a descendant) in creation order; each call continues
// where the last one stopped.
class TXBaseSearchObject {
 public:
  template <class T>
  T* FindFirst() {
    m_position = 0;
    return FindNext<T>();
  }
  template <class T>
  T* FindNext() {
    const std::vector<TXBaseComponent*>& all = Components();
    while (m_position < all.size()) {
      if (T* match = dynamic_cast<T*>(all[m_position++])) return match;
    }
    return nullptr;
  }

 private:
  static const std::vector<TXBaseComponent*>& Components();
  std::size_t m_position = 0;
};

}  // namespace velloria::xbase
