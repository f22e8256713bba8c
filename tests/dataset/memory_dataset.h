// A small dataset over rows held in memory, for the grid's and the dataset contract's tests:
// a DESCRIZIO text column and a TIPO integer column, read-only except for Delete. It runs
// the real dataset framework (record-buffer window, notices, fetch counter).
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/dataset.h"

namespace velloria::testing {

struct MemoryRow {
  std::string descrizio;
  int tipo = 0;
  int id = 0;
};

class MemoryDataSet : public TDataSet {
 public:
  explicit MemoryDataSet(int rowCount = 0) {
    for (int i = 1; i <= rowCount; ++i) AddRow("Row " + std::to_string(i), i % 3);
  }
  ~MemoryDataSet() override { Close(); }

  void AddRow(const std::string& text, int tipo) {
    m_rows.push_back({text, tipo, ++m_lastId});
  }
  // Removes the rows `drop` picks behind the dataset's back, as another program would;
  // the dataset sees the change at its next Refresh.
  template <class Predicate>
  void EraseRows(Predicate drop) {
    std::erase_if(m_rows, drop);
  }
  int RowsHeld() const { return static_cast<int>(m_rows.size()); }
  // The row the dataset's active record shows, -1 when none.
  int ActiveRow() const {
    if (IsEmpty()) return -1;
    return rowIndexOf(static_cast<const Buffer&>(ActiveBuffer()).id);
  }
  std::string ActiveText() const { return FieldByName("DESCRIZIO").AsString(); }

  bool GetFieldData(const TField& field, void* dest) const override {
    const Buffer& buffer = static_cast<const Buffer&>(ActiveBuffer());
    int row = rowIndexOf(buffer.id);
    if (row < 0) return false;
    if (dest == nullptr) return true;
    if (field.FieldName() == "DESCRIZIO") {
      const std::string& text = m_rows[row].descrizio;
      std::memcpy(dest, text.c_str(), text.size() + 1);
    } else {
      std::int32_t value = m_rows[row].tipo;
      std::memcpy(dest, &value, sizeof value);
    }
    return true;
  }
  void SetFieldData(TField&, const void*) override {
    throw EDatabaseError("read-only test dataset");
  }

 protected:
  struct Buffer : TRecordBuffer {
    int id = 0;
    TBookmarkFlag flag = TBookmarkFlag::bfCurrent;
  };

  void InternalOpen() override {
    AddDataField(std::make_unique<TField>(this, "DESCRIZIO", TFieldType::ftString, 40, 1));
    AddDataField(std::make_unique<TField>(this, "TIPO", TFieldType::ftInteger, 0, 2));
    m_cursor = -1;
  }
  void InternalClose() override { DropDataFields(); }
  std::unique_ptr<TRecordBuffer> AllocRecordBuffer() override {
    return std::make_unique<Buffer>();
  }
  void InternalInitRecord(TRecordBuffer& buffer) override { asBuffer(buffer).id = 0; }
  void ClearCalcFields(TRecordBuffer&) override {}
  TGetResult GetRecord(TRecordBuffer& buffer, TGetMode mode, bool) override {
    int count = RowsHeld();
    switch (mode) {
      case TGetMode::gmNext:
        if (m_cursor >= count - 1) {
          m_cursor = count;
          return TGetResult::grEOF;
        }
        ++m_cursor;
        break;
      case TGetMode::gmPrior:
        if (m_cursor <= 0) {
          m_cursor = -1;
          return TGetResult::grBOF;
        }
        --m_cursor;
        break;
      case TGetMode::gmCurrent:
        if (m_cursor < 0 || m_cursor >= count) return TGetResult::grEOF;
        break;
    }
    asBuffer(buffer).id = m_rows[m_cursor].id;
    asBuffer(buffer).flag = TBookmarkFlag::bfCurrent;
    return TGetResult::grOK;
  }
  void InternalFirst() override { m_cursor = -1; }
  void InternalLast() override { m_cursor = RowsHeld(); }
  void InternalSetToRecord(TRecordBuffer& buffer) override {
    m_cursor = rowIndexOf(asBuffer(buffer).id);
  }
  TBookmarkFlag GetBookmarkFlag(const TRecordBuffer& buffer) const override {
    return static_cast<const Buffer&>(buffer).flag;
  }
  void SetBookmarkFlag(TRecordBuffer& buffer, TBookmarkFlag flag) override {
    asBuffer(buffer).flag = flag;
  }
  TBookmark GetBookmarkData(const TRecordBuffer& buffer) const override {
    return std::to_string(static_cast<const Buffer&>(buffer).id);
  }
  void SetBookmarkData(TRecordBuffer& buffer, const TBookmark& bookmark) override {
    asBuffer(buffer).id = std::stoi(bookmark);
  }
  void InternalGotoBookmark(const TBookmark& bookmark) override {
    m_cursor = rowIndexOf(std::stoi(bookmark));
  }
  void InternalPost() override { throw EDatabaseError("read-only test dataset"); }
  void InternalDelete() override {
    if (m_cursor >= 0 && m_cursor < RowsHeld()) m_rows.erase(m_rows.begin() + m_cursor);
  }
  void InternalRefresh() override {}
  void InternalAddRecord(TRecordBuffer&, bool) override {
    throw EDatabaseError("read-only test dataset");
  }

 private:
  static Buffer& asBuffer(TRecordBuffer& buffer) { return static_cast<Buffer&>(buffer); }
  int rowIndexOf(int id) const {
    auto it = std::find_if(m_rows.begin(), m_rows.end(), [id](const MemoryRow& r) {
      return r.id == id;
    });
    return it == m_rows.end() ? -1 : static_cast<int>(it - m_rows.begin());
  }

  std::vector<MemoryRow> m_rows;
  int m_lastId = 0;
  int m_cursor = -1;
};

}  // namespace velloria::testing
