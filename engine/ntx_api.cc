// Index entry points: create, open and close NTX orders of the current work area, choose the
// controlling order, describe it, seek in it and rebuild it.
#include <cctype>
#include <cmath>

#include "engine/api_internal.h"
#include "engine/area_orders.h"
#include "engine/settings.h"

using namespace xb;
using namespace xb::api;

namespace {

int Area() { return S().current; }

// The controlling order of the current area; nullptr (with the error set) when none.
NtxOrder* CurrentOrder(const char* what) {
  NtxOrder* order = ControllingOrder(Area());
  if (order == nullptr)
    SetError(Status::Error(XB_ERR_NO_INDEX, std::string(what) + ": no index order is current"));
  return order;
}

std::string IndexPath(const char* file) {
  std::string path = file;
  size_t slash = path.find_last_of('/');
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += ".ntx";
  return path;
}

int32_t AddOrder(std::unique_ptr<NtxOrder> order) {
  AreaOrders& a = OrdersOf(Area());
  a.orders.push_back(std::move(order));
  a.current = int(a.orders.size());
  return a.current;
}

int32_t CreateIndex(const char* file, const char* tag, const char* key, int16_t unique,
                    int16_t descending, const char* condition) {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (file == nullptr || *file == '\0' || key == nullptr || *key == '\0')
    return Check(Status::Error(XB_ERR_ARGUMENT, "An index needs a file name and a key")), 0;
  std::unique_ptr<NtxOrder> order;
  std::string cond = condition != nullptr ? condition : "";
  if (!Check(NtxOrder::Create(t, IndexPath(file), key, unique != 0, descending != 0, cond, &order)))
    return 0;
  (void)tag;  // an NTX file holds one order; its tag is the file's base name
  int32_t number = AddOrder(std::move(order));
  return Check(OrderedGoTop(Area(), t)) ? number : 0;
}

const char* FileBaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
  size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.resize(dot);
  for (char& c : base) c = char(std::toupper(static_cast<unsigned char>(c)));
  return Ret(base);
}

// Order `number` (0 = the controlling one) of the current area, nullptr when none.
NtxOrder* OrderNumber(int number) {
  AreaOrders& a = OrdersOf(Area());
  if (number == 0) return ControllingOrder(Area());
  return number > 0 && size_t(number) <= a.orders.size() ? a.orders[size_t(number - 1)].get()
                                                         : nullptr;
}

// The first name in a key expression that is a field of t, upper-cased ("" when none).
std::string FirstKeyField(const std::string& expr, const Table& t) {
  for (size_t i = 0; i < expr.size();) {
    if (!std::isalpha(static_cast<unsigned char>(expr[i])) && expr[i] != '_') {
      i += expr[i] == '"' || expr[i] == '\'' ? expr.find(expr[i], i + 1) - i + 1 : 1;
      if (i > expr.size()) break;
      continue;
    }
    size_t end = i;
    while (end < expr.size() &&
           (std::isalnum(static_cast<unsigned char>(expr[end])) || expr[end] == '_'))
      ++end;
    std::string name = expr.substr(i, end - i);
    size_t next = expr.find_first_not_of(' ', end);
    bool call = next != std::string::npos && expr[next] == '(';
    int index = t.FieldIndex(name);
    if (!call && index >= 0) return t.Field(index).name;
    i = end;
  }
  return "";
}

}  // namespace

extern "C" {

XB_API int32_t xb_Index(const char* file, const char* key, int16_t unique, int16_t descending,
                        const char* condition) try {
  return CreateIndex(file, nullptr, key, unique, descending, condition);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_IndexTag(const char* file, const char* tag, const char* key, int16_t unique,
                           int16_t descending, const char* condition) try {
  return CreateIndex(file, tag, key, unique, descending, condition);
}
XB_CATCH_ALL(0)

XB_API int32_t xb_IndexOpen(const char* file) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (file == nullptr || *file == '\0')
    return Check(Status::Error(XB_ERR_ARGUMENT, "No index file name")), 0;
  std::unique_ptr<NtxOrder> order;
  if (!Check(NtxOrder::Open(t, IndexPath(file), &order))) return 0;
  AreaOrders& a = OrdersOf(Area());
  bool first = a.orders.empty();
  a.orders.push_back(std::move(order));
  if (first) {
    a.current = 1;
    if (!Check(OrderedGoTop(Area(), t))) return 0;
  }
  return int32_t(a.orders.size());
}
XB_CATCH_ALL(0)

XB_API int32_t xb_IndexClose(void) try {
  ClearError();
  if (CurrentTable() == nullptr) return 0;
  AreaOrders& a = OrdersOf(Area());
  if (a.current == 0) return 1;
  if (!Check(ReleaseOrder(Area(), CurrentTable(), size_t(a.current - 1)))) return 0;
  a.orders.erase(a.orders.begin() + (a.current - 1));
  a.current = a.orders.empty() ? 0 : 1;
  return 1;
}
XB_CATCH_ALL(0)

XB_API void xb_CloseIndexes(void) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return;
  for (size_t i = 0; i < OrdersOf(Area()).orders.size(); ++i) Check(ReleaseOrder(Area(), t, i));
  CloseOrders(Area());
}
XB_CATCH_ALL()

XB_API int32_t xb_SetOrder(int16_t order) try {
  ClearError();
  if (CurrentTable() == nullptr) return 0;
  AreaOrders& a = OrdersOf(Area());
  int32_t previous = a.current;
  if (order < 0 || size_t(order) > a.orders.size()) {
    Check(Status::Error(XB_ERR_NO_INDEX, "xb_SetOrder: there is no order " + std::to_string(order)));
    return -1;
  }
  a.current = order;
  a.bof = false;
  return previous;
}
XB_CATCH_ALL(-1)

XB_API int32_t xb_IndexOrd(void) try {
  ClearError();
  return CurrentTable() != nullptr ? OrdersOf(Area()).current : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_IndexKey(void) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? ControllingOrder(Area()) : nullptr;
  return o ? Ret(o->header().key_expr) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_IndexKeyField(void) try {
  ClearError();
  Table* t = CurrentTable();
  NtxOrder* o = t ? ControllingOrder(Area()) : nullptr;
  return o ? Ret(FirstKeyField(o->header().key_expr, *t)) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_IndexCondition(void) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? ControllingOrder(Area()) : nullptr;
  return o ? Ret(o->header().for_expr) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_IndexName(int16_t order) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? OrderNumber(order) : nullptr;
  return o ? Ret(o->path()) : "";
}
XB_CATCH_ALL("")

XB_API const char* xb_TagName(int16_t order) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? OrderNumber(order) : nullptr;
  return o ? FileBaseName(o->path()) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_IndexType(void) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? ControllingOrder(Area()) : nullptr;
  return o ? XB_TYPE_NTX : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_KeyLength(void) try {
  ClearError();
  NtxOrder* o = CurrentTable() ? ControllingOrder(Area()) : nullptr;
  return o ? o->header().key_size : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_KeyData(const char*) try {
  ClearError();
  Table* t = CurrentTable();
  NtxOrder* o = t ? ControllingOrder(Area()) : nullptr;
  return o && !t->eof() ? Ret(o->KeyOf(*t)) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_Found(void) try {
  ClearError();
  return CurrentTable() != nullptr && OrdersOf(Area()).found ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Seek(const char* key) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  NtxOrder* order = CurrentOrder("xb_Seek");
  AreaOrders& a = OrdersOf(Area());
  a.found = false;
  a.bof = false;
  if (order == nullptr) return 0;
  if (key == nullptr) return Check(Status::Error(XB_ERR_ARGUMENT, "No seek key")), 0;
  const std::string wanted = order->SeekKey(key, GlobalSettings().exact);
  NtxEntry entry;
  if (!Check(order->file().SeekFirst(wanted, &entry))) return 0;
  // Walk to the first record shown at or after the entry.
  while (entry.valid()) {
    if (!Check(t->Go(entry.recno))) return 0;
    bool shown = !t->eof() && !(GlobalSettings().deleted && t->record()[0] == '*');
    if (shown && !Check(t->MatchesQuery(entry.recno, &shown))) return 0;
    if (shown) break;
    NtxEntry next;
    if (!Check(order->file().Next(entry, &next))) return 0;
    entry = next;
  }
  a.found = entry.valid() && order->file().ComparePrefix(entry.key, wanted) == 0;
  if (!a.found && (!GlobalSettings().soft_seek || !entry.valid())) {
    uint32_t count = 0;
    if (!Check(t->RecCount(&count)) || !Check(t->Go(int64_t(count) + 1))) return 0;
  }
  return a.found ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_SeekBin(const void* key, int16_t length) try {
  if (key == nullptr || length < 0) {
    ClearError();
    return Check(Status::Error(XB_ERR_ARGUMENT, "No seek key")), 0;
  }
  return xb_Seek(std::string(static_cast<const char*>(key), size_t(length)).c_str());
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Reindex(void) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (OrdersOf(Area()).orders.empty()) return CurrentOrder("xb_Reindex"), 0;
  if (!Check(RebuildOrders(Area(), t))) return 0;
  return ControllingOrder(Area()) ? (Check(OrderedGoTop(Area(), t)) ? 1 : 0) : 1;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_IndexCheck(int16_t order) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  NtxOrder* o = OrderNumber(order);
  if (o == nullptr)
    return Check(Status::Error(XB_ERR_NO_INDEX, "xb_IndexCheck: there is no order " +
                                                    std::to_string(order))), 0;
  return Check(o->Check(t)) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API double xb_OrderPosGet(void) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0.0;
  NtxOrder* order = ControllingOrder(Area());
  if (order == nullptr) {
    uint32_t count = 0;
    if (!Check(t->RecCount(&count)) || count == 0 || t->eof()) return t->eof() ? 1.0 : 0.0;
    return count == 1 ? 0.0 : double(t->recno() - 1) / double(count - 1);
  }
  if (t->eof()) return 1.0;
  double position = 0.0;
  Check(order->file().PositionOf(NtxEntry{order->KeyOf(*t), t->recno()}, &position));
  return position;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_OrderPosSet(double position) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (!(position >= 0.0 && position <= 1.0))
    return Check(Status::Error(XB_ERR_ARGUMENT, "Order position must lie between 0 and 1")), 0;
  NtxOrder* order = ControllingOrder(Area());
  if (order == nullptr) {
    uint32_t count = 0;
    if (!Check(t->RecCount(&count))) return 0;
    int64_t record = count == 0 ? 1 : 1 + std::llround(position * double(count - 1));
    return Check(t->Go(record)) && !t->eof() ? 1 : 0;
  }
  NtxEntry entry;
  if (!Check(order->file().EntryAt(position, &entry))) return 0;
  if (!entry.valid()) return Check(OrderedGoTop(Area(), t)), 0;
  return Check(t->Go(entry.recno)) && !t->eof() ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_OrderRecNo(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? int32_t(t->recno()) : 0;
}
XB_CATCH_ALL(0)

}  // extern "C"
