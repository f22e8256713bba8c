// TXBaseEnv: the engine's process-wide settings (deleted records, century window, exact
// comparison, date format ...), each pushed to the engine when set, and copied by every
// table at open. Single-threaded; no Qt.
#pragma once

#include <cstdint>

#include "xbase/component_registry.h"

namespace velloria::xbase {

struct TXBaseApplyTo {
  bool atLocal = true;
  bool atServer = false;
  bool Empty() const { return !atLocal && !atServer; }
  bool OnlyLocal() const { return atLocal && !atServer; }
};

enum class TXBaseDateFrmt {
  dfAmerican,
  dfAnsi,
  dfBritish,
  dfFrench,
  dfGerman,
  dfItalian,
  dfSpanish,
  dfWinDefault
};

// The engine's code for a date format: the ordinal, 99 for dfWinDefault.
std::int16_t EngineDateFormatCode(TXBaseDateFrmt format);

class TXBaseEnv : public TXBaseComponent {
 public:
  // Setters follow one shape: with ApplyTo empty nothing happens (the value is not
  // stored); with atLocal the engine is loaded on demand and the value pushed. atServer
  // has no connection in this program and pushes nothing. Setters raise nothing.
  TXBaseApplyTo ApplyTo() const { return m_applyTo; }
  void SetApplyTo(TXBaseApplyTo value) { m_applyTo = value; }
  bool AutoRefresh() const { return m_autoRefresh; }
  void SetAutoRefresh(bool value) { m_autoRefresh = value; }

  bool Century() const { return m_century; }
  // Also rewrites the process short date format ("yy" <-> "yyyy"), then refreshes tables.
  void SetCentury(bool value);
  TXBaseDateFrmt DateFormat() const { return m_dateFormat; }
  // Also sets the process short date format and separator, then refreshes tables.
  void SetDateFormat(TXBaseDateFrmt value);
  bool Deleted() const { return m_deleted; }
  void SetDeleted(bool value);  // then refreshes tables
  int Epoch() const { return m_epoch; }
  // 0 becomes 1900, below 100 becomes 100, above 2999 becomes 2999; always pushed.
  void SetEpoch(int value);
  bool Exact() const { return m_exact; }
  void SetExact(bool value);  // an unchanged value does nothing
  bool SoftSeek() const { return m_softSeek; }
  void SetSoftSeek(bool value);
  int LockTimeOut() const { return m_lockTimeOut; }
  void SetLockTimeOut(int value);
  int MemoBlockSize() const { return m_memoBlockSize; }
  void SetMemoBlockSize(int value);
  bool OptimisticBuffer() const { return m_applyTo.atLocal && m_optimisticBuffer; }
  void SetOptimisticBuffer(bool value);
  int ErrorFunc() const { return -1; }  // no error callback: failures raise exceptions
  bool CountNeedsRefresh() const { return false; }
  int ErrorLevel() const { return 0; }

  // End of loading: loads the engine when ApplyTo is exactly [atLocal].
  void Loaded();
  // With AutoRefresh, refreshes every open table.
  void RefreshActiveTables();

 private:
  // True when the value should be pushed to the local engine (loads it on demand).
  bool PushLocally() const;
  void ApplyCenturyToShortDateFormat();

  TXBaseApplyTo m_applyTo;
  bool m_autoRefresh = true;
  bool m_century = true;
  TXBaseDateFrmt m_dateFormat = TXBaseDateFrmt::dfWinDefault;
  bool m_deleted = false;
  int m_epoch = 1980;
  bool m_exact = false;
  int m_lockTimeOut = 1;
  int m_memoBlockSize = 64;
  bool m_optimisticBuffer = false;
  bool m_softSeek = false;
};

}  // namespace velloria::xbase
