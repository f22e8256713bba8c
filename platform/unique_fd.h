// A file descriptor closed when it leaves scope, for the file helpers that work on
// descriptors (copies, the Trash). Movable, not copyable.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace velloria {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : m_fd(fd) {}
  ~UniqueFd() {
    if (m_fd >= 0) close(m_fd);
  }
  UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(m_fd, other.m_fd);
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return m_fd; }
  bool valid() const { return m_fd >= 0; }
  // Closes now and reports the error of close (write-back errors surface here).
  int Close() {
    int rc = close(m_fd);
    m_fd = -1;
    return rc == 0 ? 0 : errno;
  }

 private:
  int m_fd;
};

}  // namespace velloria
