// Expression, query and locate entry points.
#include "engine/api_internal.h"
#include "engine/settings.h"

using namespace xb;
using namespace xb::api;

namespace {

// The view expressions see when no table is open: no fields, an empty record.
class NoTableView final : public RecordView {
 public:
  int FieldCount() const override { return 0; }
  int FieldIndex(std::string_view) const override { return -1; }
  const FieldInfo& Field(int) const override { return none_; }
  const uint8_t* Record() const override { return &blank_; }
  int RecordSize() const override { return 1; }
  uint32_t RecNo() const override { return 0; }

 private:
  FieldInfo none_;
  uint8_t blank_ = ' ';
};

const RecordView& CurrentView() {
  static NoTableView none;
  Table* t = S().tables[size_t(S().current)].get();
  return t != nullptr ? static_cast<const RecordView&>(*t) : none;
}

// Compiles text against the current view; nullptr with the error set on failure.
std::unique_ptr<CompiledExpr> CompileOrFail(const char* text) {
  std::unique_ptr<CompiledExpr> compiled;
  std::string error;
  if (text == nullptr || !CompiledExpr::Compile(text, CurrentView(), &compiled, &error)) {
    SetError(
        Status::Error(XB_ERR_EXPRESSION, "Invalid expression: " + (text ? error : "none given")));
    return nullptr;
  }
  return compiled;
}

bool IsEmptyText(const char* text) {
  if (text == nullptr) return true;
  while (*text == ' ') ++text;
  return *text == 0;
}

int32_t SetQuery(const char* expression) {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  if (!Check(t->SetQuery(IsEmptyText(expression) ? std::string_view() : expression))) return 0;
  return t->eof() ? 0 : 1;
}

}  // namespace

extern "C" {

XB_API int32_t xb_EvalTest(const char* expression) try {
  ClearError();
  if (expression == nullptr) return XB_EVAL_ERROR;
  Table* t = S().tables[size_t(S().current)].get();
  return t != nullptr ? t->TypeOf(expression) : CompiledExpr::TypeOf(expression, CurrentView());
}
XB_CATCH_ALL(0)

XB_API int32_t xb_EvalLogical(const char* expression) try {
  ClearError();
  auto e = CompileOrFail(expression);
  return e && e->EvalLogical(CurrentView(), GlobalSettings().ForExpressions()) ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API double xb_EvalNumeric(const char* expression) try {
  ClearError();
  auto e = CompileOrFail(expression);
  return e ? e->EvalNumeric(CurrentView(), GlobalSettings().ForExpressions()) : 0.0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_EvalString(const char* expression) try {
  ClearError();
  auto e = CompileOrFail(expression);
  return e ? Ret(e->EvalString(CurrentView(), GlobalSettings().ForExpressions())) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_Query(const char* expression) try { return SetQuery(expression); }
XB_CATCH_ALL(0)
XB_API int32_t xb_SetFilter(const char* expression) try { return SetQuery(expression); }
XB_CATCH_ALL(0)

XB_API int32_t xb_QueryTest(const char* expression) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr || expression == nullptr) return 0;
  return t->TypeOf(expression) == kExprLogical ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_QueryRecCount(void) try {
  ClearError();
  Table* t = CurrentTable();
  uint32_t count = 0;
  if (t == nullptr) return 0;
  Status s = t->query_text().empty() ? t->RecCount(&count) : t->CountVisible(&count);
  return Check(s) ? int32_t(count) : 0;
}
XB_CATCH_ALL(0)

XB_API const char* xb_DBFilter(void) try {
  ClearError();
  Table* t = CurrentTable();
  return t ? Ret(t->query_text()) : "";
}
XB_CATCH_ALL("")

XB_API int32_t xb_GetQueryBit(int32_t record) try {
  ClearError();
  Table* t = CurrentTable();
  bool match = false;
  return t && record > 0 && Check(t->MatchesQuery(uint32_t(record), &match)) && match ? 1 : 0;
}
XB_CATCH_ALL(0)

XB_API int32_t xb_Locate(const char* expression, int16_t direction,
                         int32_t continue_from_current) try {
  ClearError();
  Table* t = CurrentTable();
  if (t == nullptr) return 0;
  auto e = CompileOrFail(expression);
  if (!e) return 0;
  if (e->ResultType() != kExprLogical) {
    return Check(Status::Error(XB_ERR_EXPRESSION, "The locate condition is not logical")), 0;
  }
  bool found = false;
  return Check(t->Locate(e.get(), direction >= 0, continue_from_current != 0, &found)) && found ? 1
                                                                                                : 0;
}
XB_CATCH_ALL(0)

}  // extern "C"
