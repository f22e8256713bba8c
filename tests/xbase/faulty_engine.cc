// The engine built whole with its Os wrapped: a stand-in for libxbengine.so that the binding
// loads by name in the component's fault tests. Beside the entry points it exports
// xbfault_Refuse, which makes the file system refuse the engine's writes or reads, and
// xbfault_MountInfo, which gives the engine a mount table of the test's own.
#include <cerrno>
#include <cstring>
#include <string>

#include "engine/mount_info.h"
#include "engine/os.h"
#include "engine/os_forwarding.h"

namespace {

enum Refused { kNothing = 0, kWrites = 1, kReads = 2 };

// Refuses every call of one kind after a number of them went through, with an errno's
// text, as the POSIX Os words its failures.
class RefusingOs final : public xb::ForwardingOs {
 public:
  RefusingOs() : ForwardingOs(xb::PosixOs()) {}
  void Refuse(int kind, int error, int allowed) {
    m_kind = kind;
    m_error = error;
    m_allowed = allowed;
  }

 private:
  xb::Status Before(xb::OsCall call) override {
    bool write = call == xb::OsCall::kWrite || call == xb::OsCall::kSync ||
                 call == xb::OsCall::kTruncate;
    bool read = call == xb::OsCall::kRead || call == xb::OsCall::kMap;
    if (!((m_kind == kWrites && write) || (m_kind == kReads && read))) return xb::Status::Ok();
    if (m_allowed > 0) {
      --m_allowed;
      return xb::Status::Ok();
    }
    std::string what = write ? "Write error: " : "Read error: ";
    return xb::Status::Error(XB_ERR_IO, what + std::strerror(m_error));
  }

  int m_kind = kNothing;
  int m_error = 0;
  int m_allowed = 0;
};

RefusingOs& Refusing() {
  static RefusingOs os;
  return os;
}

}  // namespace

// kind: 0 refuses nothing again, 1 the writes (write, sync, truncate), 2 the reads (read,
// map); error: the errno whose text the failure carries; allowed: calls of that kind that
// still go through first.
extern "C" __attribute__((visibility("default"))) void xbfault_Refuse(int kind, int error,
                                                                      int allowed) {
  Refusing().Refuse(kind, error, allowed);
  xb::SetOsForTesting(kind == kNothing ? nullptr : &Refusing());
}

// mountinfo: read by the engine in place of the process's own ("" for its own again), so
// that a table can stand on a network client the test cannot mount.
extern "C" __attribute__((visibility("default"))) void xbfault_MountInfo(const char* mountinfo) {
  xb::SetMountInfoForTesting(mountinfo);
}
