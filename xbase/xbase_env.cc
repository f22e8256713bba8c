// TXBaseEnv: the setters' rules and the refresh of the open tables.
#include "xbase/xbase_env.h"

#include <algorithm>
#include <string>

#include "dataset/db.h"
#include "xbase/xb_engine.h"
#include "xbase/xbase_table.h"

namespace velloria::xbase {
namespace {

// The system's short date format and separator as this program takes them.
constexpr const char* kSystemShortDateFormat = "m/d/yy";
constexpr char kSystemDateSeparator = '/';

struct DateFormatText {
  const char* format;
  char separator;
};

DateFormatText TextOf(TXBaseDateFrmt format) {
  switch (format) {
    case TXBaseDateFrmt::dfAmerican:
      return {"mm/dd/yy", '/'};
    case TXBaseDateFrmt::dfAnsi:
      return {"yy.mm.dd", '.'};
    case TXBaseDateFrmt::dfGerman:
      return {"dd.mm.yy", '.'};
    case TXBaseDateFrmt::dfItalian:
    case TXBaseDateFrmt::dfSpanish:
      return {"dd-mm-yy", '-'};
    case TXBaseDateFrmt::dfBritish:
    case TXBaseDateFrmt::dfFrench:
      return {"dd/mm/yy", '/'};
    default:
      return {kSystemShortDateFormat, kSystemDateSeparator};
  }
}

}  // namespace

std::int16_t EngineDateFormatCode(TXBaseDateFrmt format) {
  // In the order of TXBaseDateFrmt.
  constexpr std::int16_t kCodes[] = {XB_DATE_AMERICAN, XB_DATE_ANSI,    XB_DATE_BRITISH,
                                     XB_DATE_FRENCH,   XB_DATE_GERMAN,  XB_DATE_ITALIAN,
                                     XB_DATE_SPANISH,  XB_DATE_SYSTEM};
  return kCodes[static_cast<int>(format)];
}

bool TXBaseEnv::PushLocally() const { return m_applyTo.atLocal && EnsureEngineLoaded(); }

void TXBaseEnv::SetDeleted(bool value) {
  if (m_applyTo.Empty()) return;
  m_deleted = value;
  if (PushLocally()) Xb().xb_SetDeleted(value ? 1 : 0);
  RefreshActiveTables();
}

void TXBaseEnv::SetEpoch(int value) {
  if (m_applyTo.Empty()) return;
  if (value == 0) value = 1900;
  m_epoch = std::clamp(value, 100, 2999);
  if (PushLocally()) Xb().xb_SetEpoch(static_cast<std::int16_t>(m_epoch));
}

void TXBaseEnv::SetExact(bool value) {
  if (m_applyTo.Empty() || value == m_exact) return;
  m_exact = value;
  if (PushLocally()) Xb().xb_SetExact(value ? 1 : 0);
}

void TXBaseEnv::SetSoftSeek(bool value) {
  if (m_applyTo.Empty() || value == m_softSeek) return;
  m_softSeek = value;
  if (PushLocally()) Xb().xb_SetSoftSeek(value ? 1 : 0);
}

void TXBaseEnv::SetLockTimeOut(int value) {
  if (m_applyTo.Empty() || value == m_lockTimeOut) return;
  if (PushLocally()) Xb().xb_SetLockTimeout(static_cast<std::int16_t>(value));
  m_lockTimeOut = value;
}

void TXBaseEnv::SetMemoBlockSize(int value) {
  if (m_applyTo.Empty() || value == m_memoBlockSize) return;
  if (PushLocally()) Xb().xb_SetMemoBlockSize(static_cast<std::int16_t>(value));
  m_memoBlockSize = value;
}

void TXBaseEnv::SetOptimisticBuffer(bool value) {
  if (!m_applyTo.atLocal || !EnsureEngineLoaded()) return;
  Xb().xb_SysProp(XB_PROP_SET_OPTIMISTIC, value ? 1 : 0);
  m_optimisticBuffer = Xb().xb_SysProp(XB_PROP_GET_OPTIMISTIC, 0) != 0;
}

void TXBaseEnv::SetCentury(bool value) {
  if (m_applyTo.Empty()) return;
  if (PushLocally()) Xb().xb_SetCentury(value ? 1 : 0);
  m_century = value;
  ApplyCenturyToShortDateFormat();
  RefreshActiveTables();
}

void TXBaseEnv::ApplyCenturyToShortDateFormat() {
  std::string& format = DatasetFormatSettings().shortDateFormat;
  size_t full = format.find("yyyy");
  if (m_century && full == std::string::npos) {
    size_t twoDigits = format.find("yy");
    if (twoDigits != std::string::npos) format.replace(twoDigits, 2, "yyyy");
  } else if (!m_century && full != std::string::npos) {
    format.replace(full, 4, "yy");
  }
}

void TXBaseEnv::SetDateFormat(TXBaseDateFrmt value) {
  if (m_applyTo.Empty()) return;
  if (PushLocally()) Xb().xb_SetDateFormat(EngineDateFormatCode(value));
  m_dateFormat = value;
  DateFormatText text = TextOf(value);
  DatasetFormatSettings().shortDateFormat = text.format;
  DatasetFormatSettings().dateSeparator = text.separator;
  if (m_century) {
    SetCentury(true);
  } else {
    RefreshActiveTables();
  }
}

void TXBaseEnv::Loaded() {
  if (m_applyTo.OnlyLocal()) EnsureEngineLoaded();
}

void TXBaseEnv::RefreshActiveTables() {
  if (!m_autoRefresh) return;
  TXBaseSearchObject search;
  for (auto* table = search.FindFirst<TXBaseTable>(); table != nullptr;
       table = search.FindNext<TXBaseTable>()) {
    if (table->Active()) table->Refresh();
  }
}

}  // namespace velloria::xbase
