// Work-area orders: navigation in key order and key maintenance around record writes.
// Navigation positions the table with Go and skips records the deleted setting or the
// query hides; an index entry beyond the end of the table (left by a crash) is skipped too.
#include "engine/area_orders.h"

#include <array>

#include "engine/api_internal.h"
#include "engine/settings.h"

namespace xb::api {

std::array<AreaOrders, kMaxAreas + 1> g_orders;

namespace {

Status Visible(Table* t, uint32_t recno, bool* visible) {
  *visible = false;
  XB_RETURN_IF_ERROR(t->Go(recno));
  if (t->eof() || t->recno() != recno) return Status::Ok();
  if (GlobalSettings().deleted && t->record()[0] == '*') return Status::Ok();
  return t->MatchesQuery(recno, visible);
}

// From entry, the first entry (in the direction) whose record is shown; the table stands on
// it. *landed false when none is left.
Status WalkToVisible(Table* t, NtxFile& file, NtxEntry entry, bool forward, NtxEntry* at,
                     bool* landed) {
  *landed = false;
  while (entry.valid()) {
    XB_RETURN_IF_ERROR(Visible(t, entry.recno, landed));
    if (*landed) {
      *at = entry;
      return Status::Ok();
    }
    NtxEntry next;
    XB_RETURN_IF_ERROR(forward ? file.Next(entry, &next) : file.Prev(entry, &next));
    entry = next;
  }
  return Status::Ok();
}

Status GoPhantom(Table* t) {
  uint32_t count = 0;
  XB_RETURN_IF_ERROR(t->RecCount(&count));
  return t->Go(int64_t(count) + 1);
}

// Whether the area's table syncs its commits: its index marks are then synced as well.
bool SyncsCommits(int area) {
  const Table* t = S().tables[size_t(area)].get();
  return t != nullptr && t->commit_level() == XB_COMMIT_FULL;
}

NtxEntry CurrentEntry(NtxOrder* order, Table* t) {
  return NtxEntry{order->KeyOf(*t), t->recno()};
}

}  // namespace

void CloseOrders(int area) { OrdersOf(area) = AreaOrders(); }

namespace {

// The first (last false) or last visible record in the controlling order, or the phantom.
Status OrderedGoEdge(int area, Table* t, bool last) {
  OrdersOf(area).bof = false;
  NtxFile& file = ControllingOrder(area)->file();
  NtxEntry edge, at;
  XB_RETURN_IF_ERROR(last ? file.Last(&edge) : file.First(&edge));
  bool landed = false;
  XB_RETURN_IF_ERROR(WalkToVisible(t, file, edge, /*forward=*/!last, &at, &landed));
  return landed ? Status::Ok() : GoPhantom(t);
}

}  // namespace

Status OrderedGoTop(int area, Table* t) { return OrderedGoEdge(area, t, /*last=*/false); }

Status OrderedGoBottom(int area, Table* t) { return OrderedGoEdge(area, t, /*last=*/true); }

Status OrderedSkip(int area, Table* t, int64_t count) {
  AreaOrders& a = OrdersOf(area);
  a.bof = false;
  NtxOrder* order = ControllingOrder(area);
  if (count == 0) return t->Go(t->recno());
  NtxFile& file = order->file();
  NtxEntry cur;
  bool landed = true;
  if (t->eof()) {
    if (count > 0) return Status::Ok();
    XB_RETURN_IF_ERROR(OrderedGoBottom(area, t));
    if (t->eof()) return Status::Ok();
    cur = CurrentEntry(order, t);
    ++count;
  } else {
    cur = CurrentEntry(order, t);
  }
  for (; count != 0 && landed; count += count > 0 ? -1 : 1) {
    NtxEntry next;
    XB_RETURN_IF_ERROR(count > 0 ? file.Next(cur, &next) : file.Prev(cur, &next));
    XB_RETURN_IF_ERROR(WalkToVisible(t, file, next, count > 0, &cur, &landed));
  }
  if (landed) return Status::Ok();
  if (count >= 0) return GoPhantom(t);
  // Before the first record: stand on the first shown one with Bof set.
  XB_RETURN_IF_ERROR(OrderedGoTop(area, t));
  a.bof = true;
  a.bof_recno = t->recno();
  return Status::Ok();
}

bool OrderedBof(int area, Table* t) {
  const AreaOrders& a = OrdersOf(area);
  return t->bof() || (a.bof && t->recno() == a.bof_recno);
}

Status MarkPending(int area) {
  const bool sync = SyncsCommits(area);
  for (auto& order : OrdersOf(area).orders) XB_RETURN_IF_ERROR(order->file().MarkPending(sync));
  return Status::Ok();
}

Status ClearPending(int area) {
  const bool sync = SyncsCommits(area);
  Status first;
  for (auto& order : OrdersOf(area).orders) {
    Status s = order->file().ClearPending(sync);
    if (first.ok()) first = s;
  }
  return first;
}

Status ReleaseOrder(int area, Table* t, size_t index) {
  XB_RETURN_IF_ERROR(t->Commit());
  return OrdersOf(area).orders[index]->file().ClearPending(SyncsCommits(area));
}

Status CaptureKeys(int area, Table* t) {
  XB_RETURN_IF_ERROR(MarkPending(area));
  AreaOrders& a = OrdersOf(area);
  a.old_keys.assign(a.orders.size(), std::string());
  if (t->eof()) return Status::Ok();
  for (size_t i = 0; i < a.orders.size(); ++i)
    if (a.orders[i]->InScope(*t)) a.old_keys[i] = a.orders[i]->KeyOf(*t);
  return Status::Ok();
}

Status ApplyKeys(int area, Table* t) {
  AreaOrders& a = OrdersOf(area);
  if (t->eof() || a.old_keys.size() != a.orders.size()) return Status::Ok();
  for (size_t i = 0; i < a.orders.size(); ++i) {
    NtxOrder& order = *a.orders[i];
    if (order.file().broken()) continue;  // stays marked until rebuilt
    std::string now = order.InScope(*t) ? order.KeyOf(*t) : std::string();
    if (now == a.old_keys[i]) continue;
    if (!a.old_keys[i].empty()) XB_RETURN_IF_ERROR(order.file().Remove(a.old_keys[i], t->recno()));
    if (!now.empty()) XB_RETURN_IF_ERROR(order.file().Insert(now, t->recno()));
  }
  return Status::Ok();
}

Status AddKeys(int area, Table* t) {
  AreaOrders& a = OrdersOf(area);
  for (auto& order : a.orders)
    if (!order->file().broken() && order->InScope(*t)) XB_RETURN_IF_ERROR(order->file().Insert(order->KeyOf(*t), t->recno()));
  return Status::Ok();
}

Status RebuildOrders(int area, Table* t) {
  Status s;
  for (auto& order : OrdersOf(area).orders)
    if (s.ok()) s = order->Rebuild(t);
  if (!s.ok())
    for (auto& order : OrdersOf(area).orders) order->file().Invalidate();
  return s;
}

Status SettleWrite(int area, Status s) {
  const bool partial = s.code() == XB_ERR_IO || s.code() == XB_ERR_OPEN || s.code() == XB_ERR_CORRUPT;
  if (partial)
    for (auto& order : OrdersOf(area).orders) order->file().Invalidate();
  return s;
}

}  // namespace xb::api
