// The engine's xBase expression language: compile a text once against a table's fields,
// then evaluate it on each current record without allocating. Internal to the engine.
// Thread safety: a CompiledExpr keeps scratch buffers; evaluate it from one thread at a time.
#ifndef VELLORIA_ENGINE_EXPR_H_
#define VELLORIA_ENGINE_EXPR_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/include/xbengine.h"

namespace xb {

// The language, loosest binding last:
//   unary + -;  ** ^;  * / %;  + - (numbers, strings: "-" moves trailing blanks to the end,
//   date +/- days, date - date = days);  < > <= >= $;  = == <> != #;  .NOT. NOT !;
//   .AND. AND;  .OR. OR.  Operands of one operator must have the same type.
// Literals: numbers (no exponent), "text" 'text' [text], .T. .F. .Y. .N. TRUE FALSE.
// Names are fields (any case); bare AND OR NOT TRUE FALSE are keywords unless the table
// has a field of that name. Functions: DTOS STOD CTOD DTOC LEFT RIGHT SUBSTR UPPER LOWER
// TRIM RTRIM LTRIM ALLTRIM STR VAL LEN EMPTY DELETED RECNO IIF (IF) YEAR MONTH DAY DATE AT.
// ALIAS->FIELD is the field itself when ALIAS names the table's own work area (its alias or
// the file's base name, any case), as Clipper writes index keys. Not supported (a compile
// error says so): references to other work areas, user functions, macros.
// String "=" with exact off: true when the right side is empty or a prefix of the left;
// exact on: trailing blanks ignored; "==" compares every byte. UPPER/LOWER map ASCII and
// the CP1252 letters. Division or modulo by zero gives 0.

// Value type of an expression: what xb_EvalTest answers.
enum ExprType : int {
  kExprError = XB_EVAL_ERROR,       // syntax or type error
  kExprString = XB_EVAL_CHARACTER,  // character
  kExprNumeric = XB_EVAL_NUMERIC,   // numeric
  kExprLogical = XB_EVAL_LOGICAL,   // logical
  kExprDate = XB_EVAL_DATE,         // date
};

// Date format codes (xb_SetDateFormat); each gives the CTOD/DTOC field order and separator.
enum DateFormatCode : int {
  kDateAmerican = XB_DATE_AMERICAN,
  kDateAnsi = XB_DATE_ANSI,
  kDateBritish = XB_DATE_BRITISH,
  kDateFrench = XB_DATE_FRENCH,
  kDateGerman = XB_DATE_GERMAN,
  kDateItalian = XB_DATE_ITALIAN,
  kDateSpanish = XB_DATE_SPANISH,
  kDateSystem = XB_DATE_SYSTEM,
};

// One field of a table, as the record image holds it.
struct FieldInfo {
  std::string name;  // up to 10 characters (31 in dBase 7), upper case as stored
  char type = 'C';   // letter as stored: C N F L D M, FoxPro I B Y T G P V W Q 0, dBase 7 + O @
  int offset = 0;    // 0-based in the record image; byte 0 is the deletion flag
  int width = 0;
  int decimals = 0;
  bool ordered = false;  // dBase 7: I + O @ big-endian with the sign bit flipped
};

// The table as an expression sees it: its fields and the current record.
// The engine's work area implements it. A view used for evaluation must have the same
// field layout as the one the expression was compiled against.
class RecordView {
 public:
  virtual ~RecordView() = default;
  virtual int FieldCount() const = 0;
  // Case-insensitive lookup; -1 when the table has no such field.
  virtual int FieldIndex(std::string_view name) const = 0;
  virtual const FieldInfo& Field(int index) const = 0;
  // Current record image (RecordSize() bytes); never null.
  virtual const uint8_t* Record() const = 0;
  virtual int RecordSize() const = 0;
  // 1-based current record number (RecCount + 1 on the phantom record).
  virtual uint32_t RecNo() const = 0;
  virtual bool RecordDeleted() const { return Record()[0] == '*'; }
  // Whether `alias` (as in ALIAS->FIELD) names this table's own work area.
  virtual bool IsOwnAlias(std::string_view alias) const {
    (void)alias;
    return false;
  }
  // Text of memo field `index` for the current record; false (empty text) when unreadable.
  virtual bool ReadMemo(int index, std::string* text) const {
    (void)index;
    text->clear();
    return false;
  }
};

// Settings that change evaluation; owned by the engine and passed at each evaluation.
struct ExprSettings {
  bool exact = false;    // string "=": false = prefix rule, true = trailing blanks ignored
  int epoch = 1900;      // first year of the 100-year window for two-digit years
  bool century = false;  // DTOC writes four-digit years
  int date_format = kDateAmerican;  // a DateFormatCode
};

// Which ALIAS->FIELD references an expression takes. kOwnOnly: only the table's own alias
// (IsOwnAlias). kAnyForOwnFields: also any other alias naming one of the table's own fields,
// as an index key written by a program that opened the table under an alias of its own
// choosing holds (ALIAS->FIELD with a field the table lacks still names another work area).
enum class AliasRule { kOwnOnly, kAnyForOwnFields };

// An expression compiled against a table's field layout.
class CompiledExpr {
 public:
  // Compiles `text`. On failure returns false, leaves *out empty and puts the reason in
  // *error (may be null). Never throws; nesting is limited so no text exhausts the stack.
  static bool Compile(std::string_view text, const RecordView& schema,
                      std::unique_ptr<CompiledExpr>* out, std::string* error,
                      AliasRule aliases = AliasRule::kOwnOnly);

  // Type code of `text` against `schema` (kExprError for a syntax or type error).
  static ExprType TypeOf(std::string_view text, const RecordView& schema);

  virtual ~CompiledExpr() = default;
  virtual ExprType ResultType() const = 0;
  const std::string& Text() const { return text_; }

  // Evaluate on the record current in `view`. Each returns its type's empty value when the
  // expression has another type (false, 0, "", the empty date 0). Run-time faults such as
  // a division by zero give 0 rather than failing.
  virtual bool EvalLogical(const RecordView& view, const ExprSettings& settings) = 0;
  virtual double EvalNumeric(const RecordView& view, const ExprSettings& settings) = 0;
  // Character result; a numeric, logical or date result is given as its display text
  // (STR form, "T"/"F", DTOS form) so callers can show any expression.
  virtual std::string EvalString(const RecordView& view, const ExprSettings& settings) = 0;
  // Julian day number; 0 is the empty date.
  virtual int64_t EvalDate(const RecordView& view, const ExprSettings& settings) = 0;

  // True when the expression needs nothing but a record image and its number (it reads
  // no memo field), so EvalLogicalBlock can test records that are not current in a view.
  virtual bool ReadsRecordOnly() const = 0;
  // Tests `count` record images laid out `stride` bytes apart from `first`, numbered from
  // `first_recno`: matches[i] := 1 when record i satisfies the expression, else 0. The
  // fastest way to scan a block of records read ahead. `layout` is a view with the compiled
  // field layout (its current record is not read). REQUIRES: a logical expression,
  // ReadsRecordOnly(), stride >= layout.RecordSize(); otherwise every entry is 0.
  virtual void EvalLogicalBlock(const uint8_t* first, size_t count, size_t stride,
                                uint32_t first_recno, const RecordView& layout,
                                const ExprSettings& settings, uint8_t* matches) = 0;

 protected:
  explicit CompiledExpr(std::string_view text) : text_(text) {}

 private:
  std::string text_;
};

// Date helpers shared with the engine's typed readers.
// Julian day number of a calendar date; 0 when the date is not valid.
int64_t JulianFromYmd(int year, int month, int day);
// Calendar date of a Julian day number; false (all 0) for 0 or out of range.
bool YmdFromJulian(int64_t julian, int* year, int* month, int* day);
// "YYYYMMDD" bytes (8) to a Julian day; blanks, zeros or a bad date give 0.
int64_t JulianFromDtos(const char* bytes8);
// Julian day to "YYYYMMDD"; 8 blanks for the empty date.
std::string DtosFromJulian(int64_t julian);

}  // namespace xb

#endif  // VELLORIA_ENGINE_EXPR_H_
