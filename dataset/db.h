// Common vocabulary of the dataset layer: field types, dataset states, data events,
// the framework's exceptions, bookmarks, day numbers and the process-wide format
// settings (short date format, separators) that field texts use. Single-threaded.
#pragma once

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace velloria {

enum class TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftDate,
  ftMemo,
  ftBlob
};

enum class TFieldKind { fkData, fkCalculated };

enum class TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue
};

// Notices a dataset sends to its data source and on to every data link.
enum class TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode
};

enum class TGetMode { gmCurrent, gmNext, gmPrior };
enum class TGetResult { grOK, grBOF, grEOF, grError };

// Where a record buffer stands: a real record, before the first or after the last.
enum class TBookmarkFlag : std::uint8_t { bfCurrent = 0, bfBOF = 1, bfEOF = 2, bfInserted = 3 };

// Bookmark bytes as the dataset defines them (empty = no bookmark).
using TBookmark = std::string;

// Errors of the dataset framework (field not found, wrong state, empty dataset ...).
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The silent abort: cancels the operation in progress; the application's failure display
// swallows it without showing anything.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Raises the silent abort.
[[noreturn]] void Abort();

// Day numbers count days from 1 January of year 1 (that day is 1), proleptic Gregorian.
struct TCivilDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// True when year/month/day names a real day with 1 <= year <= 9999.
bool IsValidCivilDate(int year, int month, int day);
// REQUIRES: IsValidCivilDate(year, month, day).
std::int32_t EncodeDayNumber(int year, int month, int day);
// REQUIRES: day >= 1.
TCivilDate DecodeDayNumber(std::int32_t day);

// Process-wide text formats used by fields and by the table's date rules. The xBase
// environment component rewrites the date format and separator; defaults are "m/d/yy", "/".
// The window caption's date does not use them: it follows the desktop locale's own format
// (platform/system_dates.h), which Century and DateFormat must not rewrite.
struct TFormatSettings {
  std::string shortDateFormat = "m/d/yy";
  char dateSeparator = '/';
  char decimalSeparator = '.';
  char thousandSeparator = ',';
  // Years by which text-to-date conversion places two-digit years (see ParseDateText).
  int shortYearWindow = 50;
};

TFormatSettings& DatasetFormatSettings();

// `day` written in `format` ("d", "dd", "m", "mm", "yy", "yyyy"; any other character
// stands for the date separator when it is "/", else is copied). Empty for day < 1.
std::string FormatDate(std::int32_t day, const std::string& format);
// Reads a date typed in the short date format's field order (day, month, year) with any
// non-digit separator. A two-digit year is placed in the hundred years that start
// shortYearWindow years before the current year. Returns 0 for an empty text.
// Throws EDatabaseError "'<text>' is not a valid date" on bad input.
std::int32_t ParseDateText(const std::string& text);

}  // namespace velloria
