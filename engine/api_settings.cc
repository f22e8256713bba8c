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

XB_API int32_t xb_SetDeleted(int32_t on) { return SwapFlag(&GlobalSettings().deleted, on); }
XB_API int32_t xb_SetExact(int32_t on) { return SwapFlag(&GlobalSettings().exact, on); }
XB_API int32_t xb_QuerySetExact(int32_t on) { return SwapFlag(&GlobalSettings().exact, on); }
XB_API int32_t xb_SetCentury(int32_t on) { return SwapFlag(&GlobalSettings().century, on); }
XB_API int32_t xb_SetSoftSeek(int32_t on) { return SwapFlag(&GlobalSettings().soft_seek, on); }
XB_API int32_t xb_SetTranslate(int32_t on) { return SwapFlag(&GlobalSettings().translate, on); }
XB_API int32_t xb_SetTurboRead(int32_t on) { return SwapFlag(&GlobalSettings().turbo_read, on); }

XB_API int32_t xb_SetEpoch(int16_t year) {
  ClearError();
  int previous = GlobalSettings().epoch;
  GlobalSettings().epoch = year < 100 ? 100 : year > 2999 ? 2999 : year;
  return previous;
}

XB_API int32_t xb_SetDateFormat(int16_t code) {
  ClearError();
  if ((code < kDateAmerican || code > kDateSpanish) && code != kDateSystem) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Unknown date format code " + std::to_string(code)));
    return -1;
  }
  int previous = GlobalSettings().date_format;
  GlobalSettings().date_format = code;
  return previous;
}

XB_API const char* xb_GetDateFormat(void) {
  ClearError();
  return Ret(DatePicture(GlobalSettings()));
}

XB_API int32_t xb_SetMemoBlockSize(int16_t size) {
  ClearError();
  int previous = GlobalSettings().memo_block_size;
  if (size < 1) {
    Check(Status::Error(XB_ERR_ARGUMENT, "Memo block size must be positive"));
    return -1;
  }
  GlobalSettings().memo_block_size = size;
  return previous;
}

XB_API int32_t xb_SetLockTimeout(int16_t seconds) {
  ClearError();
  int previous = GlobalSettings().lock_timeout_seconds;
  GlobalSettings().lock_timeout_seconds = seconds < 0 ? 0 : seconds;
  return previous;
}

XB_API int32_t xb_SysProp(int16_t code, int32_t value) {
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

XB_API int32_t xb_SetUDFPath(const char* path) {
  ClearError();
  GlobalSettings().udf_path = path ? path : "";
  return 1;
}

XB_API const char* xb_GetUDFPath(void) {
  ClearError();
  return Ret(GlobalSettings().udf_path);
}

XB_API int32_t xb_SetUserDelimiter(const char* delimiter) {
  ClearError();
  GlobalSettings().delimiter = delimiter && *delimiter ? *delimiter : ',';
  return 1;
}

XB_API const char* xb_GetSystemLocale(void) {
  ClearError();
  const char* name = std::setlocale(LC_COLLATE, nullptr);
  return Ret(name ? name : "C");
}

XB_API int32_t xb_AddDudenCollation(void) { return NotSupported("xb_AddDudenCollation"); }
XB_API int32_t xb_AddEtecCollation(void) { return NotSupported("xb_AddEtecCollation"); }
XB_API int32_t xb_SetCollationRule(int16_t) { return NotSupported("xb_SetCollationRule"); }
XB_API int32_t xb_SetMachineCollation(void) { return NotSupported("xb_SetMachineCollation"); }
XB_API int32_t xb_GetSystemCharOrder(void) { return NotSupported("xb_GetSystemCharOrder"); }
XB_API int32_t xb_SetSystemCollation(int16_t) { return NotSupported("xb_SetSystemCollation"); }
XB_API int32_t xb_SetErrorFunc(void*) { return NotSupported("xb_SetErrorFunc"); }
XB_API int32_t xb_SetGaugeFunc(void*) { return NotSupported("xb_SetGaugeFunc"); }
XB_API int32_t xb_SetGaugeHook(void*) { return NotSupported("xb_SetGaugeHook"); }
XB_API int32_t xb_DbfDecrypt(void) { return NotSupported("xb_DbfDecrypt"); }
XB_API int32_t xb_DbfEncrypt(void) { return NotSupported("xb_DbfEncrypt"); }
XB_API int32_t xb_Decrypt(void*, int32_t, const char*) { return NotSupported("xb_Decrypt"); }
XB_API int32_t xb_Encrypt(void*, int32_t, const char*) { return NotSupported("xb_Encrypt"); }
XB_API int32_t xb_FilterDlg(void*, const char*) { return NotSupported("xb_FilterDlg"); }
XB_API int32_t xb_FilterAlias(int16_t, const char*) { return NotSupported("xb_FilterAlias"); }
XB_API int32_t xb_SetRelation(int16_t, const char*) { return NotSupported("xb_SetRelation"); }
XB_API int32_t xb_SetQueryBit(int32_t, int32_t) { return NotSupported("xb_SetQueryBit"); }
XB_API int32_t xb_RYOFilterActivate(int16_t, int16_t) {
  return NotSupported("xb_RYOFilterActivate");
}
XB_API int32_t xb_RYOFilterCopy(void) { return NotSupported("xb_RYOFilterCopy"); }
XB_API int32_t xb_RYOFilterCreate(void) { return NotSupported("xb_RYOFilterCreate"); }
XB_API int32_t xb_RYOFilterDestroy(int16_t) { return NotSupported("xb_RYOFilterDestroy"); }
XB_API int32_t xb_RYOFilterGetBit(int16_t, int32_t) { return NotSupported("xb_RYOFilterGetBit"); }
XB_API int32_t xb_RYOFilterRestore(const char*) { return NotSupported("xb_RYOFilterRestore"); }
XB_API int32_t xb_RYOFilterSave(int16_t, const char*) { return NotSupported("xb_RYOFilterSave"); }
XB_API int32_t xb_RYOFilterSetBit(int16_t, int32_t, int16_t) {
  return NotSupported("xb_RYOFilterSetBit");
}
XB_API int32_t xb_RYOKeyAdd(const char*, const char*) { return NotSupported("xb_RYOKeyAdd"); }
XB_API int32_t xb_RYOKeyDrop(const char*) { return NotSupported("xb_RYOKeyDrop"); }

// Index operations beyond NTX orders (ntx_api.cc) are not supported.
XB_API const char* xb_GetScope(int16_t) {
  NotSupported("xb_GetScope");
  return "";
}
XB_API int32_t xb_IndexFlip(void) { return NotSupported("xb_IndexFlip"); }
XB_API int32_t xb_KeyAdd(const char*) { return NotSupported("xb_KeyAdd"); }
XB_API int32_t xb_KeyDrop(const char*) { return NotSupported("xb_KeyDrop"); }
XB_API int32_t xb_TagArea(const char*) { return NotSupported("xb_TagArea"); }
XB_API int32_t xb_TagDelete(const char*) { return NotSupported("xb_TagDelete"); }
XB_API int32_t xb_SetScope(const char*, const char*) { return NotSupported("xb_SetScope"); }

}  // extern "C"
