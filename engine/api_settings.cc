// Settings entry points, xb_SysProp, and the entry points answered as "not supported" or,
// for index operations beyond NTX orders, as needing an index.
#include <clocale>

#include "engine/api_internal.h"
#include "engine/area_orders.h"
#include "engine/field_codec.h"
#include "engine/settings.h"

using namespace xb;
using namespace xb::api;

namespace {

int32_t SwapFlag(bool* setting, int32_t on) {
  ClearError();
  int32_t previous = *setting ? 1 : 0;
  *setting = on != 0;
  return previous;
}

}  // namespace

extern "C" {

XB_API int32_t xb_SetDeleted(int32_t on) try { return SwapFlag(&GlobalSettings().deleted, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetExact(int32_t on) try { return SwapFlag(&GlobalSettings().exact, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_QuerySetExact(int32_t on) try { return SwapFlag(&GlobalSettings().exact, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetCentury(int32_t on) try { return SwapFlag(&GlobalSettings().century, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetSoftSeek(int32_t on) try { return SwapFlag(&GlobalSettings().soft_seek, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetTranslate(int32_t on) try { return SwapFlag(&GlobalSettings().translate, on); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetTurboRead(int32_t on) try {
  return SwapFlag(&GlobalSettings().turbo_read, on);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SetEpoch(int16_t year) try {
  ClearError();
  int previous = GlobalSettings().epoch;
  GlobalSettings().epoch = year < 100 ? 100 : year > 2999 ? 2999 : year;
  return previous;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SetDateFormat(int16_t code) try {
  ClearError();
  if ((code < kDateAmerican || code > kDateSpanish) && code != kDateSystem) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Unknown date format code " + std::to_string(code)));
    return -1;
  }
  int previous = GlobalSettings().date_format;
  GlobalSettings().date_format = code;
  return previous;
}
XB_CATCH_ALL(-1)

XB_API const char* xb_GetDateFormat(void) try {
  ClearError();
  return Ret(DatePicture(GlobalSettings()));
}
XB_CATCH_ALL("")

XB_API int32_t xb_SetMemoBlockSize(int16_t size) try {
  ClearError();
  int previous = GlobalSettings().memo_block_size;
  if (size < 1) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Memo block size must be positive"));
    return -1;
  }
  GlobalSettings().memo_block_size = size;
  return previous;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_SetLockTimeout(int16_t seconds) try {
  ClearError();
  int previous = GlobalSettings().lock_timeout_seconds;
  GlobalSettings().lock_timeout_seconds = seconds < 0 ? 0 : seconds;
  return previous;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SetLocalLocksAccepted(int32_t on) try {
  ClearError();
  bool previous = GlobalSettings().local_locks_accepted;
  GlobalSettings().local_locks_accepted = on != 0;
  return previous;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SysProp(int16_t code, int32_t value) try {
  ClearError();
  Settings& s = GlobalSettings();
  switch (code) {
    case XB_PROP_GET_EXACT:
      return s.exact ? 1 : 0;
    case XB_PROP_SET_EXACT:
      return SwapFlag(&s.exact, value);
    case XB_PROP_GET_DELETED:
      return s.deleted ? 1 : 0;
    case XB_PROP_GET_OPTIMISTIC:
      return s.optimistic ? 1 : 0;
    case XB_PROP_SET_OPTIMISTIC:
      return SwapFlag(&s.optimistic, value);
    case XB_PROP_ORDER_COUNT:
      return xb::api::CurrentTable() != nullptr ? int32_t(OrdersOf(S().current).orders.size()) : 0;
    default:
      return NotSupported(("xb_SysProp " + std::to_string(code)).c_str());
  }
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_SetUDFPath(const char* path) try {
  ClearError();
  GlobalSettings().udf_path = path ? path : "";
  return 1;
}
XB_CATCH_ALL(0)

XB_API const char* xb_GetUDFPath(void) try {
  ClearError();
  return Ret(GlobalSettings().udf_path);
}
XB_CATCH_ALL("")

XB_API int32_t xb_SetUserDelimiter(const char* delimiter) try {
  ClearError();
  GlobalSettings().delimiter = delimiter && *delimiter ? *delimiter : ',';
  return 1;
}
XB_CATCH_ALL(0)

XB_API const char* xb_GetSystemLocale(void) try {
  ClearError();
  const char* name = std::setlocale(LC_COLLATE, nullptr);
  return Ret(name ? name : "C");
}
XB_CATCH_ALL("")

XB_NOT_SUPPORTED(xb_AddDudenCollation, (void))
XB_NOT_SUPPORTED(xb_AddEtecCollation, (void))
XB_NOT_SUPPORTED(xb_SetCollationRule, (int16_t))
XB_NOT_SUPPORTED(xb_SetMachineCollation, (void))
XB_NOT_SUPPORTED(xb_GetSystemCharOrder, (void))
XB_NOT_SUPPORTED(xb_SetSystemCollation, (int16_t))
XB_NOT_SUPPORTED(xb_SetErrorFunc, (void*))
XB_NOT_SUPPORTED(xb_SetGaugeFunc, (void*))
XB_NOT_SUPPORTED(xb_SetGaugeHook, (void*))
XB_NOT_SUPPORTED(xb_DbfDecrypt, (void))
XB_NOT_SUPPORTED(xb_DbfEncrypt, (void))
XB_NOT_SUPPORTED(xb_Decrypt, (void*, int32_t, const char*))
XB_NOT_SUPPORTED(xb_Encrypt, (void*, int32_t, const char*))
XB_NOT_SUPPORTED(xb_FilterDlg, (void*, const char*))
XB_NOT_SUPPORTED(xb_FilterAlias, (int16_t, const char*))
XB_NOT_SUPPORTED(xb_SetRelation, (int16_t, const char*))
XB_NOT_SUPPORTED(xb_SetQueryBit, (int32_t, int32_t))
XB_NOT_SUPPORTED(xb_RYOFilterActivate, (int16_t, int16_t))
XB_NOT_SUPPORTED(xb_RYOFilterCopy, (void))
XB_NOT_SUPPORTED(xb_RYOFilterCreate, (void))
XB_NOT_SUPPORTED(xb_RYOFilterDestroy, (int16_t))
XB_NOT_SUPPORTED(xb_RYOFilterGetBit, (int16_t, int32_t))
XB_NOT_SUPPORTED(xb_RYOFilterRestore, (const char*))
XB_NOT_SUPPORTED(xb_RYOFilterSave, (int16_t, const char*))
XB_NOT_SUPPORTED(xb_RYOFilterSetBit, (int16_t, int32_t, int16_t))
XB_NOT_SUPPORTED(xb_RYOKeyAdd, (const char*, const char*))
XB_NOT_SUPPORTED(xb_RYOKeyDrop, (const char*))

// Index operations beyond NTX orders (ntx_api.cc) are not supported.
XB_API const char* xb_GetScope(int16_t) try {
  NotSupported("xb_GetScope");
  return "";
}
XB_CATCH_ALL("")
XB_NOT_SUPPORTED(xb_IndexFlip, (void))
XB_NOT_SUPPORTED(xb_KeyAdd, (const char*))
XB_NOT_SUPPORTED(xb_KeyDrop, (const char*))
XB_NOT_SUPPORTED(xb_TagArea, (const char*))
XB_NOT_SUPPORTED(xb_TagDelete, (const char*))
XB_NOT_SUPPORTED(xb_SetScope, (const char*, const char*))

}  // extern "C"
