// table_holder: a second process on a table for the two-process tests. It opens the
// table through the engine library (exclusive, shared or read-only), optionally locks one
// record, says "ready" and keeps all of it until its standard input closes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/include/xbengine.h"

namespace {

constexpr int kUsageError = 64;
constexpr int kRefused = 2;

int OpenMode(const char* name) {
  if (std::strcmp(name, "exclusive") == 0) return XB_OPEN_EXCLUSIVE;
  if (std::strcmp(name, "shared") == 0) return XB_OPEN_SHARED;
  if (std::strcmp(name, "readonly") == 0) return XB_OPEN_READ_ONLY;
  return -1;
}

// Reads standard input to its end: the test closes it to let the holder go.
void WaitForRelease() {
  char buffer[256];
  while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4 || OpenMode(argv[2]) < 0) {
    std::fprintf(stderr, "usage: table_holder TABLE.DBF exclusive|shared|readonly [RECNO]\n");
    return kUsageError;
  }
  xb_SetLockTimeout(0);
  if (xb_UseEx(argv[1], "", static_cast<int16_t>(OpenMode(argv[2])), XB_TYPE_NTX,
               XB_COMMIT_NORMAL) < 1) {
    std::printf("refused: %s\n", xb_LastErrorText());
    return kRefused;
  }
  if (argc == 4) {
    char* end = nullptr;
    long record = std::strtol(argv[3], &end, 10);
    if (*end != '\0' || record < 1 || xb_Rlock(static_cast<int32_t>(record)) != 1) {
      std::printf("refused: record lock %s: %s\n", argv[3], xb_LastErrorText());
      return kRefused;
    }
  }
  std::printf("ready %d records\n", static_cast<int>(xb_RecCount()));
  std::fflush(stdout);
  WaitForRelease();
  xb_Close();
  return 0;
}
