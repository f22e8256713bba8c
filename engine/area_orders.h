// The index orders open in each work area: the controlling order, navigation in key order
// (deleted setting and query still applied), seek state, and the hooks through which every
// record write keeps every open order right. Single-threaded, like the work areas.
#ifndef VELLORIA_ENGINE_AREA_ORDERS_H_
#define VELLORIA_ENGINE_AREA_ORDERS_H_

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/api_internal.h"
#include "engine/ntx_order.h"

namespace xb::api {

struct AreaOrders {
  std::vector<std::unique_ptr<NtxOrder>> orders;
  int current = 0;          // controlling order, 1-based; 0 = natural order
  bool found = false;       // result of the last seek
  bool bof = false;         // navigation in key order stopped before the first record
  uint32_t bof_recno = 0;   // ... standing on this record
  std::vector<std::string> old_keys;  // keys captured before a record write ("" = not indexed)
};

extern std::array<AreaOrders, kMaxAreas + 1> g_orders;
inline AreaOrders& OrdersOf(int area) { return g_orders[size_t(area)]; }
// The controlling order of the area, nullptr in natural order (asked at every step of a scan).
inline NtxOrder* ControllingOrder(int area) {
  AreaOrders& a = OrdersOf(area);
  return a.current > 0 && size_t(a.current) <= a.orders.size() ? a.orders[size_t(a.current - 1)].get()
                                                              : nullptr;
}
void CloseOrders(int area);

// Navigation in the controlling order. REQUIRES: ControllingOrder(area) != nullptr.
Status OrderedGoTop(int area, Table* t);
Status OrderedGoBottom(int area, Table* t);
Status OrderedSkip(int area, Table* t, int64_t count);
bool OrderedBof(int area, Table* t);

// Key maintenance around a write of the current record: capture before, apply after.
// Every order is marked pending before the area's first table change (MarkPending) and
// unmarked once the table is committed and closed (ClearPending), so that an index left by
// a stopped writer is known and rebuilt.
Status MarkPending(int area);
Status ClearPending(int area);
// Before an order is closed with its table still open: the table is committed and the
// order's mark cleared (kept when the commit fails).
Status ReleaseOrder(int area, Table* t, size_t index);
Status CaptureKeys(int area, Table* t);
Status ApplyKeys(int area, Table* t);
// After an append (the new record is current).
Status AddKeys(int area, Table* t);
// After a pack or zap: every open order is rebuilt; on failure every order is left broken.
Status RebuildOrders(int area, Table* t);
// Returns s; when it is the failure of a table write that may have reached the file in part
// (an I/O fault), every open order of the area is left broken (see NtxFile::broken).
Status SettleWrite(int area, Status s);

}  // namespace xb::api

#endif  // VELLORIA_ENGINE_AREA_ORDERS_H_
