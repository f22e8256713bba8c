// libFuzzer target for the mountinfo reader: the input is taken as the file's text and the
// mount of a few paths is looked up, judged and described. Must never crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/mount_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* path : {"/", "/mnt/share/Stampe/STAMPE.DBF", "/srv/uffici centrali/x"}) {
    xb::MountEntry mount;
    if (xb::FindMount(text, path, &mount)) {
      std::string described = xb::DescribeMountRisks(mount, xb::MountRisks(mount));
      (void)described;
    }
  }
  xb::MountEntry line;
  (void)xb::ParseMountInfoLine(text, &line);
  return 0;
}
