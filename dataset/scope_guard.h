// Scope guards: a step that puts state back when a scope is left, on every path
// (OnScopeExit) or only when an exception leaves it (OnScopeFailure). No Qt.
#pragma once

#include <exception>
#include <utility>

namespace velloria {

template <typename Step>
class TScopeGuard {
 public:
  TScopeGuard(Step step, bool onSuccessToo)
      : m_step(std::move(step)), m_onSuccessToo(onSuccessToo),
        m_exceptions(std::uncaught_exceptions()) {}
  // A step that fails while an exception already leaves the scope is dropped: the failure
  // under way is the one the caller hears of. On the normal path its failure goes on.
  ~TScopeGuard() noexcept(false) {
    if (std::uncaught_exceptions() == m_exceptions) {
      if (m_onSuccessToo) m_step();
      return;
    }
    try {
      m_step();
    } catch (...) {
    }
  }
  TScopeGuard(const TScopeGuard&) = delete;
  TScopeGuard& operator=(const TScopeGuard&) = delete;

 private:
  Step m_step;
  bool m_onSuccessToo;
  int m_exceptions;
};

template <typename Step>
[[nodiscard]] TScopeGuard<Step> OnScopeExit(Step step) {
  return TScopeGuard<Step>(std::move(step), true);
}

template <typename Step>
[[nodiscard]] TScopeGuard<Step> OnScopeFailure(Step step) {
  return TScopeGuard<Step>(std::move(step), false);
}

}  // namespace velloria
