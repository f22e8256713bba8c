// TXBaseTable, query side: Filter and Filtered through the engine's query, the refresh
// step, Locate with its index and query routes, IndexSeek and Lookup.
#include <cmath>

#include "xbase/xb_engine.h"
#include "xbase/xbase_table_internal.h"

namespace velloria::xbase {
namespace {


// `text` between a delimiter it does not contain; none when it holds all three.
std::optional<std::string> QuoteLiteral(const std::string& text) {
  if (text.find('"') == std::string::npos) return "\"" + text + "\"";
  if (text.find('\'') == std::string::npos) return "'" + text + "'";
  if (text.find(']') == std::string::npos) return "[" + text + "]";
  return std::nullopt;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The digits of a numeric key (or of a text of digits) for a date prefix match.
std::optional<std::string> DigitsOf(const TVariant& value) {
  if (std::holds_alternative<std::int32_t>(value) || std::holds_alternative<double>(value)) {
    return std::to_string(std::llround(VariantToFloat(value)));
  }
  if (auto* text = std::get_if<std::string>(&value); text != nullptr && AllDigits(*text)) {
    return *text;
  }
  return std::nullopt;
}

// A key value as a day number: a date, "yyyymmdd" digits, or a date typed as text.
std::optional<std::int32_t> DayOf(const TVariant& value) {
  if (auto* date = std::get_if<TDateValue>(&value)) return date->day;
  std::optional<std::string> digits = DigitsOf(value);
  if (digits && digits->size() == 8) {
    int year = std::stoi(digits->substr(0, 4)), month = std::stoi(digits->substr(4, 2)),
        day = std::stoi(digits->substr(6, 2));
    if (!IsValidCivilDate(year, month, day)) return std::nullopt;
    return EncodeDayNumber(year, month, day);
  }
  if (auto* text = std::get_if<std::string>(&value)) {
    std::int32_t day = ParseDateText(*text);
    if (day > 0) return day;
  }
  return std::nullopt;
}

// Makes `order` current again when the scope is left by an exception (a key value that
// does not convert, for instance), so a failed seek never leaves another order current.
auto OrderRestoredOnFailure(std::int16_t workArea, int order) {
  return OnScopeFailure([workArea, order] {
    Xb().xb_Select(workArea);
    Xb().xb_SetOrder(static_cast<std::int16_t>(order));
  });
}

}  // namespace

// ---- Filter

// The text and the flag are the dataset's; a text the engine refuses leaves the one before.
void TXBaseTable::SetFilter(const std::string& text) {
  RefreshFilter(text);
  TDataSet::SetFilter(text);
}

void TXBaseTable::SetFiltered(bool value) {
  TDataSet::SetFiltered(value);
  RefreshFilter(Filter());
}

void TXBaseTable::RefreshFilter(const std::string& text) {
  if (m_workArea > 0) ApplyQuery(Filtered() ? text : std::string());
}

void TXBaseTable::BeginScroll() {
  CheckBrowseMode();
  if (!ControlsDisabled()) DoBeforeScroll();
}

void TXBaseTable::CountAfterQuery(const std::string& engineText) {
  const TXbEntryPoints& xb = Xb();
  m_recordCount = xb.xb_QueryTest(engineText.c_str()) < 1 ? Checked(xb.xb_RecCount())
                                                          : Checked(xb.xb_QueryRecCount());
}

std::optional<std::string> TXBaseTable::ToEngineTextExactly(const std::string& text) const {
  std::string out, bad;
  if (!FromUtf8Exactly(text, m_codePage, out, bad)) return std::nullopt;
  return out;
}

std::string TXBaseTable::EngineQueryText(const std::string& text) const {
  return ToEngineTextExactly(text).value_or(".F.");
}

std::optional<std::string> TXBaseTable::EngineUpper(const std::string& engineText) const {
  std::optional<std::string> literal = QuoteLiteral(engineText);
  if (!literal) return std::nullopt;
  return Copy(Xb().xb_EvalString(("UPPER(" + *literal + ")").c_str()));
}

std::int32_t TXBaseTable::ApplyQuery(const std::string& text) {
  if (m_workArea < 1) return 0;
  std::string query = text.size() == 1 && text[0] == '\0' ? std::string() : text;
  std::string engineText = EngineQueryText(query);
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  if (!query.empty() && xb.xb_EvalTest(ToEngineText(query).c_str()) != XB_EVAL_LOGICAL) {
    RaiseTableError("Invalid Query Expression");
  }
  BeginScroll();
  xb.xb_Select(m_workArea);
  std::int32_t result = Checked(xb.xb_Query(engineText.c_str()));
  CountAfterQuery(engineText);
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.flag = xb.xb_Eof() != 0 ? TBookmarkFlag::bfEOF : TBookmarkFlag::bfCurrent;
  buffer.recNo = xb.xb_RecNo();
  m_countStale = true;
  Resync(false, false);
  EndScroll();
  return result;
}

void TXBaseTable::InternalRefresh() {
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  std::string query = Copy(xb.xb_DBFilter());
  if (query.empty()) return;  // the framework re-reads the window next
  std::int32_t recNo = xb.xb_RecNo();
  if (xb.xb_QueryTest(query.c_str()) > 0) {
    ApplyQuery(ToUtf8(query, m_codePage));
    xb.xb_Select(m_workArea);
    Checked(xb.xb_Go(recNo));
  }
}

// ---- Locate

bool TXBaseTable::Locate(const std::string& keyFields, const TVariant& keyValue,
                         TLocateOptions options) {
  return Locate(keyFields, std::vector<TVariant>{keyValue}, options);
}

bool TXBaseTable::Locate(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                         TLocateOptions options) {
  if (m_workArea == 0) return false;
  BeginScroll();
  std::vector<TField*> fields = GetFieldList(UpperAscii(keyFields));
  if (fields.size() != keyValues.size()) {
    RaiseTableError("Locate needs one key value for each key field");
  }
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  std::int32_t savedRecNo = IsEmpty() ? 0 : ActiveRecordBuffer().recNo;
  int savedOrder = xb.xb_IndexOrd();
  auto orderGuard = OrderRestoredOnFailure(m_workArea, savedOrder);
  int orders = std::max(0, xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0));
  bool found = false;
  if (fields.size() == 1 && orders > 0) {
    ChooseIndexOrder(keyFields, savedOrder, orders, options);
    if (UpperAscii(Copy(xb.xb_IndexKeyField())) == UpperAscii(keyFields)) {
      if (VariantIsNull(keyValues[0])) {
        xb.xb_SetOrder(static_cast<std::int16_t>(savedOrder));
        return false;
      }
      found = IndexSeek(fields, keyValues[0], savedOrder, options);
    }
  }
  if (!found) found = QueryFirstMatch(fields, keyValues, options);
  CursorPosChanged();
  if (!found) {
    if (savedRecNo > 0) Checked(xb.xb_Go(savedRecNo));
    return false;
  }
  TXbRecordBuffer& buffer = ActiveRecordBuffer();
  buffer.flag = TBookmarkFlag::bfCurrent;
  buffer.recNo = xb.xb_RecNo();
  Resync(true, true);
  EndScroll();
  return true;
}

bool TXBaseTable::QueryFirstMatch(const std::vector<TField*>& fields,
                                  const std::vector<TVariant>& values, TLocateOptions options) {
  std::optional<std::string> expression = LocateExpression(fields, values, options);
  if (!expression) return false;
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  std::string engineFilter = Copy(xb.xb_DBFilter());
  std::string engineText = *expression;
  if (!engineFilter.empty()) engineText = "(" + engineText + ") .and. (" + engineFilter + ")";
  // A partial key matches as a prefix, which needs exact comparison off meanwhile.
  bool exact = options.partialKey && xb.xb_SysProp(XB_PROP_GET_EXACT, 0) != 0;
  if (exact) xb.xb_SysProp(XB_PROP_SET_EXACT, 0);
  bool found = false;
  std::int32_t recNo = 0;
  {
    // The exact setting and the table's own query come back on every path.
    auto restore = OnScopeExit([&] {
      if (exact) xb.xb_SysProp(XB_PROP_SET_EXACT, 1);
      Checked(xb.xb_Query(engineFilter.c_str()));
      CountAfterQuery(engineFilter);
    });
    found = Checked(xb.xb_Query(engineText.c_str())) != 0;
    recNo = xb.xb_RecNo();
    CountAfterQuery(engineText);
  }
  if (found) Checked(xb.xb_Go(recNo));
  return found;
}

void TXBaseTable::ChooseIndexOrder(const std::string& keyField, int savedOrder, int orders,
                                   TLocateOptions options) {
  const TXbEntryPoints& xb = Xb();
  std::string upperName = UpperAscii(keyField);
  auto keyFieldIs = [&](const std::string& name) { return Copy(xb.xb_IndexKeyField()) == name; };
  auto upperKey = [&] {
    return UpperAscii(Copy(xb.xb_IndexKey())).find("UPPER(") != std::string::npos;
  };
  auto tryOrders = [&](auto qualifies) {
    for (int order = 1; order <= orders; ++order) {
      xb.xb_SetOrder(static_cast<std::int16_t>(order));
      if (qualifies()) return true;
    }
    return false;
  };
  auto upperOrder = [&] { return keyFieldIs(upperName) && upperKey(); };
  bool chosen = false;
  if (keyFieldIs(upperName)) {
    chosen = !options.caseInsensitive || upperKey() || tryOrders(upperOrder);
  } else if (options.caseInsensitive) {
    chosen = tryOrders(upperOrder);
  } else {
    chosen = tryOrders([&] { return keyFieldIs(keyField); });
  }
  if (!chosen) xb.xb_SetOrder(static_cast<std::int16_t>(savedOrder));
}

bool TXBaseTable::IndexSeek(const std::vector<TField*>& fields, const TVariant& keyValue,
                            int restoreOrder, TLocateOptions options) {
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  std::optional<std::string> key = std::string();
  switch (fields.at(0)->DataType()) {
    case TFieldType::ftString:
      key = ToEngineTextExactly(VariantToString(keyValue));
      if (key && UpperAscii(Copy(xb.xb_IndexKey())).find("UPPER(") != std::string::npos) {
        key = EngineUpper(*key);
      }
      break;
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
      key = std::to_string(std::llround(VariantToFloat(keyValue)));
      break;
    case TFieldType::ftBoolean:
      key = VariantToBoolean(keyValue) ? ".T." : ".F.";
      break;
    case TFieldType::ftDate:
      if (std::optional<std::int32_t> day = DayOf(keyValue)) key = FormatDate(*day, "yyyymmdd");
      break;
    default:
      break;
  }
  if (!key) {  // text the code page cannot hold: no record holds it
    xb.xb_SetOrder(static_cast<std::int16_t>(restoreOrder));
    return false;
  }
  bool exact = xb.xb_SysProp(XB_PROP_GET_EXACT, 0) != 0;
  auto restore = OnScopeExit([&] {
    xb.xb_SysProp(XB_PROP_SET_EXACT, exact ? 1 : 0);
    xb.xb_SetOrder(static_cast<std::int16_t>(restoreOrder));
  });
  xb.xb_SysProp(XB_PROP_SET_EXACT, options.partialKey ? 0 : 1);
  bool found = Checked(xb.xb_Seek(key->c_str())) != 0;
  if (!options.partialKey) found = xb.xb_Found() != 0;
  return found;
}

std::optional<std::string> TXBaseTable::LocateExpression(const std::vector<TField*>& fields,
                                                         const std::vector<TVariant>& values,
                                                         TLocateOptions options) const {
  std::string expression;
  for (size_t i = 0; i < fields.size(); ++i) {
    std::optional<std::string> clause =
        LocateClause(*fields[i], values[i], fields.size() == 1, options);
    if (!clause) return std::nullopt;
    if (clause->empty()) continue;
    if (!expression.empty()) expression += " .and. ";
    expression += *clause;
  }
  if (expression.empty()) return std::nullopt;
  return expression;
}

// The condition for one key field in the table's code page; none when no record can match
// (a Null non-text key, a text the code page cannot hold or holding all three delimiters);
// empty for a field type that takes no condition.
std::optional<std::string> TXBaseTable::LocateClause(const TField& field, const TVariant& value,
                                                     bool single,
                                                     TLocateOptions options) const {
  const std::string& name = field.FieldName();
  bool null = VariantIsNull(value);
  switch (field.DataType()) {
    case TFieldType::ftBoolean:
      if (null) return std::nullopt;
      return name + (VariantToBoolean(value) ? "= .T." : "= .F.");
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftFloat:
      if (null) return std::nullopt;
      return name + "=" + std::to_string(std::llround(VariantToFloat(value)));
    case TFieldType::ftDate: {
      if (null) return std::nullopt;
      std::optional<std::string> digits = DigitsOf(value);
      if (single && digits && digits->size() < 8) {
        return "LEFT( DTOS(" + name + "), " + std::to_string(digits->size()) + ") = \"" +
               *digits + "\"";
      }
      std::optional<std::int32_t> day = DayOf(value);
      if (!day) return std::nullopt;
      return "DTOS(" + name + ") = \"" + FormatDate(*day, "yyyymmdd") + "\"";
    }
    case TFieldType::ftString: {
      std::optional<std::string> text = ToEngineTextExactly(null ? "" : VariantToString(value));
      if (!text) return std::nullopt;  // a character the code page lacks: no record holds it
      int length = static_cast<int>(text->size());
      if (!options.partialKey && length < field.Size()) {
        *text += std::string(field.Size() - length, ' ');
      }
      if (options.caseInsensitive) text = EngineUpper(*text);
      std::optional<std::string> literal = text ? QuoteLiteral(*text) : std::nullopt;
      if (!literal) return std::nullopt;
      return (options.caseInsensitive ? "UPPER(" + name + ")" : name) + "=" + *literal;
    }
    default:
      return std::string();
  }
}

// ---- Lookup

TVariant TXBaseTable::Lookup(const std::string& keyFields, const TVariant& keyValue,
                             const std::string& resultField) {
  return Lookup(keyFields, std::vector<TVariant>{keyValue}, resultField);
}

TVariant TXBaseTable::Lookup(const std::string& keyFields, const std::vector<TVariant>& keyValues,
                             const std::string& resultField) {
  const TField& result = FieldByName(resultField);
  if (m_workArea == 0 || (keyValues.size() == 1 && VariantIsNull(keyValues[0]))) return {};
  std::vector<TField*> fields = GetFieldList(UpperAscii(keyFields));
  if (fields.size() != keyValues.size()) {
    RaiseTableError("Lookup needs one key value for each key field");
  }
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(m_workArea);
  // The engine goes back to the record it was on, on every path.
  auto backToRecord = OnScopeExit([this, recNo = xb.xb_RecNo()] {
    Xb().xb_Select(m_workArea);
    Checked(Xb().xb_Go(recNo));
  });
  int savedOrder = xb.xb_IndexOrd();
  auto orderGuard = OrderRestoredOnFailure(m_workArea, savedOrder);
  int orders = std::max(0, xb.xb_SysProp(XB_PROP_ORDER_COUNT, 0));
  bool found = false;
  if (fields.size() == 1 && orders > 0 &&
      ChooseLookupOrder(fields[0]->FieldName(), savedOrder, orders)) {
    found = IndexSeek(fields, keyValues[0], savedOrder, TLocateOptions{});
  } else {
    found = QueryFirstMatch(fields, keyValues, TLocateOptions{});
  }
  return found ? CurrentEngineValue(result) : TVariant();
}

// An order Lookup can seek in: its key is the field itself, UPPER( or DTOS( of it, and it
// holds every record (no FOR condition), so a missed seek means no record matches.
bool TXBaseTable::OrderSuitsLookup(const std::string& upperName) const {
  const TXbEntryPoints& xb = Xb();
  if (xb.xb_IndexOrd() < 1 || !Copy(xb.xb_IndexCondition()).empty()) return false;
  std::string key = UpperAscii(Copy(xb.xb_IndexKey()));
  std::erase(key, ' ');
  return key == upperName || key == "UPPER(" + upperName + ")" ||
         key == "DTOS(" + upperName + ")";
}

bool TXBaseTable::ChooseLookupOrder(const std::string& keyField, int savedOrder, int orders) {
  std::string upperName = UpperAscii(keyField);
  if (OrderSuitsLookup(upperName)) return true;
  const TXbEntryPoints& xb = Xb();
  for (int order = 1; order <= orders; ++order) {
    xb.xb_SetOrder(static_cast<std::int16_t>(order));
    if (OrderSuitsLookup(upperName)) return true;
  }
  xb.xb_SetOrder(static_cast<std::int16_t>(savedOrder));
  return false;
}

TVariant TXBaseTable::CurrentEngineValue(const TField& field) {
  const TXbEntryPoints& xb = Xb();
  std::unique_ptr<TRecordBuffer> scratch = AllocRecordBuffer();
  auto& buffer = static_cast<TXbRecordBuffer&>(*scratch);
  Checked(xb.xb_GetRecord(m_rawRecord.data()));
  buffer.recNo = xb.xb_RecNo();
  TVariant value;
  ReadThroughBuffer(buffer, [&] {
    DecodeRecord(buffer);
    GetCalcFields(buffer);
    value = FieldValue(field);
  });
  return value;
}

TVariant TXBaseTable::FieldValue(const TField& field) const {
  if (field.IsNull()) return {};
  switch (field.DataType()) {
    case TFieldType::ftBoolean:
      return field.AsBoolean();
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftInteger:
      return field.AsInteger();
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return field.AsFloat();
    case TFieldType::ftDate:
      return TDateValue{field.AsDate()};
    default:
      return field.AsString();
  }
}

}  // namespace velloria::xbase
