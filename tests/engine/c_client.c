/* A client of the engine written in C: compiling this file as C11 with pedantic warnings
 * checks that the public header serves C as it is, that each of its declarations matches
 * the one list of entry points, and that its enums are usable constants. */
#include "tests/engine/c_client.h"

#include "engine/include/xbengine.h"

/* Every entry point of the list, taken by the type the list gives it: a declaration of the
 * header that differs is an incompatible pointer, an error with warnings as errors. */
struct CEntryPoints {
#define XB_ENTRY(ret, name, params, args) ret(*name) params;
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
};

static const struct CEntryPoints kEntryPoints = {
#define XB_ENTRY(ret, name, params, args) .name = name,
#include "engine/include/xb_entrypoints.def"
#undef XB_ENTRY
};

int c_client_entry_point_count(void) {
  return (int)(sizeof kEntryPoints / sizeof kEntryPoints.xb_Version);
}

int c_client_visit(const char* path, const char* field, const char* memo_text) {
  int16_t area = xb_UseEx(path, "", XB_OPEN_SHARED, XB_TYPE_NTX, XB_COMMIT_FULL);
  if (area < 1) return -1;
  int32_t answer = -1;
  if (xb_OpenMode() == XB_OPEN_SHARED && xb_GetCommitLevel() == XB_COMMIT_FULL &&
      xb_SysProp(XB_PROP_ORDER_COUNT, 0) == 0 && xb_GoTop() && xb_Rlock(xb_RecNo()) && xb_Replace(field, XB_REPLACE_MEMO, memo_text) &&
      xb_Commit()) {
    answer = xb_LanguageDriver();
  }
  xb_Close();
  return answer;
}
