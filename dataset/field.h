// TField: one named column of a dataset's active record, typed by TFieldType, read and
// written as text, integer, Boolean, float or date, with edit and display texts.
// A field never owns its value: it reads and writes it through its dataset's record buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dataset/db.h"

namespace velloria {

class TDataSet;

class TField {
 public:
  // `fieldNo` is the 1-based number of the column in the table, 0 for a calculated field.
  // `size` is the column's width in bytes in the table (character fields); it is 0 for
  // the other types. The dataset owns the field.
  TField(TDataSet* dataSet, std::string fieldName, TFieldType dataType, int size, int fieldNo,
         TFieldKind kind = TFieldKind::fkData);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  const std::string& FieldName() const { return m_fieldName; }
  TFieldType DataType() const { return m_dataType; }
  TFieldKind FieldKind() const { return m_kind; }
  int Size() const { return m_size; }
  int FieldNo() const { return m_fieldNo; }
  TDataSet* DataSet() const { return m_dataSet; }
  bool IsBlob() const;
  bool Calculated() const { return m_kind == TFieldKind::fkCalculated; }

  // Bytes of the value in a record buffer: text is UTF-8 (up to 3 bytes per table byte)
  // plus a zero; 2 for ftSmallint/ftWord/ftBoolean (ftBoolean: -1 true, 0 false);
  // 4 for ftInteger and ftDate (day number); 8 for ftFloat/ftCurrency; 0 for blobs.
  int DataSize() const;

  // Offset of a calculated field's value in the dataset's calculated-field area.
  int Offset() const { return m_offset; }
  void SetOffset(int offset) { m_offset = offset; }

  // Published settings.
  std::string DisplayFormat;  // "0", "0.00", "#,##0.0" ... for numbers
  int Precision = 15;         // significant digits of a float shown without DisplayFormat
  bool ReadOnly = false;
  bool Visible = true;
  bool Required = false;
  // Called with the field before a new value is stored; reading the field inside the
  // handler gives the new value. Throwing stops the assignment.
  std::function<void(TField&)> OnValidate;

  bool IsNull() const;
  std::string AsString() const;
  std::int32_t AsInteger() const;
  bool AsBoolean() const;
  double AsFloat() const;
  std::int32_t AsDate() const;  // day number, 0 when null

  // Setters store through the dataset, which must be in a write state (else it raises).
  // Text setters raise EDatabaseError on text that is not a value of the field's type;
  // an empty text stores null (except for ftString, which stores "").
  void SetAsString(const std::string& value);
  void SetAsInteger(std::int32_t value);
  void SetAsBoolean(bool value);
  void SetAsFloat(double value);
  void SetAsDate(std::int32_t day);
  void Clear();

  // The text a user edits and the text shown in a grid (DisplayFormat applied).
  std::string EditText() const;
  void SetEditText(const std::string& text) { SetAsString(text); }
  std::string DisplayText() const;

  // Raw access in the record-buffer format of DataSize(). GetData returns false for null.
  bool GetData(void* dest) const;
  void SetData(const void* source);  // nullptr stores null
  // Runs OnValidate with `newValue` (nullptr = null) as the value the field reads.
  void Validate(const void* newValue);

 private:
  [[noreturn]] void RaiseAccessError(const char* typeName) const;
  void CheckWritable() const;
  std::string FloatText(double value, bool display) const;
  void SetFloatChecked(double value);
  void SetIntegerChecked(std::int64_t value);

  TDataSet* m_dataSet;
  std::string m_fieldName;
  TFieldType m_dataType;
  int m_size;
  int m_fieldNo;
  TFieldKind m_kind;
  int m_offset = 0;
  const void* m_validating = nullptr;  // new value while OnValidate runs
  bool m_inValidate = false;
};

// `value` formatted by a number pattern: '0' digit always shown, '#' digit if needed,
// '.' decimal point (written as the process decimal separator), ',' thousands grouping.
std::string FormatFloatPattern(const std::string& pattern, double value);
// Locale-independent number text: `text` read as a decimal number with '.' as the point
// (no surrounding blanks); false when it is not one.
bool ParseDecimal(const std::string& text, double& value);
// `value` with exactly `decimals` decimals and '.' as the point, whatever the C locale.
std::string FormatFixed(double value, int decimals);

}  // namespace velloria
