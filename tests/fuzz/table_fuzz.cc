// libFuzzer target for opening and walking a table: the input is written as a .DBF (and as
// its .DBT), opened read-only and walked with every reader (FoxPro, dBase 7 and wide Clipper
// fields included), opened shared (block reads, a lock that reads the record afresh), then
// opened exclusively and edited. Must never crash, hang or write to a table that failed its
// checks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/include/xbengine.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

std::string TempBase() {
  static const std::string base = fuzzfiles::TempBase("table_fuzz");
  return base;
}

using fuzzfiles::WriteBytes;

void ReadEveryField() {
  int fields = xb_FieldCount();
  std::vector<char> image(static_cast<size_t>(xb_RecSize() > 0 ? xb_RecSize() : 1));
  xb_GetRecord(image.data());
  for (int i = 1; i <= fields; ++i) {
    std::string name = xb_FieldName(i);
    xb_GetString(name.c_str());
    xb_GetTrimString(name.c_str());
    xb_GetDouble(name.c_str());
    xb_GetLogical(name.c_str());
    xb_GetDateString(name.c_str());
    xb_GetMemo(name.c_str());
    uint32_t length = 0;
    xb_GetMemoBytes(name.c_str(), &length);
    xb_GetDateJulian(name.c_str());
    xb_GetLong(name.c_str());
    xb_Empty(name.c_str());
    xb_EvalTest(name.c_str());
  }
}

void Walk() {
  int steps = 0;
  for (xb_GoTop(); !xb_Eof() && steps < 200; xb_Skip(1), ++steps) ReadEveryField();
  xb_GoBottom();
  xb_Skip(-3);
  xb_Go(2);
  xb_Count();
  xb_Query("DELETED() .OR. RECNO() > 1");
  xb_QueryRecCount();
  xb_Query("");
  xb_MemoCheck();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string dbf = TempBase() + ".dbf";
  std::string dbt = TempBase() + ".dbt";
  WriteBytes(dbf, data, size);
  WriteBytes(dbt, data, size);
  xb_SetLockTimeout(0);
  if (xb_UseEx(dbf.c_str(), "F", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NONE) > 0) {
    Walk();
    xb_CloseAll();
  }
  if (xb_UseEx(dbf.c_str(), "F", XB_OPEN_SHARED, 1, XB_COMMIT_NONE) > 0) {
    Walk();
    xb_Go(1);
    if (xb_Rlock(0)) ReadEveryField();
    xb_CloseAll();
  }
  if (xb_UseEx(dbf.c_str(), "F", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NONE) > 0) {
    if (xb_AppendBlank() && xb_FieldCount() > 0) {
      xb_Replace(xb_FieldName(1), XB_REPLACE_TEXT, "fuzz");
      xb_Delete();
    }
    xb_Pack();
    Walk();
    xb_CloseAll();
  }
  xb_FinalizeSession();
  std::remove(dbf.c_str());
  std::remove(dbt.c_str());
  return 0;
}
