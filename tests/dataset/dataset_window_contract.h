// The dataset's record-buffer window as a contract every dataset kind keeps, run as typed
// tests over a `Kind` that makes the dataset and changes its record set: `Create(records)`
// gives records named R1..Rn in a DESCRIZIO field, TIPO = n % 3; `KeepOnlyTipo(tipo)`
// narrows the set. The checks look at what the data links see: the records in each row,
// the active row, the notices and their scroll distance, the end flags and the fetches made.
// Each kind's test file instantiates the suite with INSTANTIATE_TYPED_TEST_SUITE_P.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "tests/dataset/recording_link.h"

namespace velloria::testing {

inline std::string RecordName(int record) { return "R" + std::to_string(record); }
inline int TipoOf(int record) { return record % 3; }

template <class Kind>
class DataSetWindowTest : public ::testing::Test {
 protected:
  // Opens `records` records R1..Rn watched by the grid's link of `rows` rows.
  TDataSet& Open(int records, int rows) {
    TDataSet& data = m_kind.Create(records);
    m_source.SetDataSet(&data);
    m_grid.SetDataSource(&m_source);
    m_grid.SetBufferCount(rows);
    data.Open();
    m_grid.notices.clear();
    m_data = &data;
    return data;
  }

  std::string Active() const { return m_data->FieldByName("DESCRIZIO").AsString(); }
  int ActiveNumber() const { return std::stoi(Active().substr(1)); }

  // The record numbers a link shows, row by row.
  std::vector<int> Rows(TDataLink& link) const {
    std::vector<int> rows;
    const int active = link.ActiveRecord();
    for (int row = 0; row < link.RecordCount(); ++row) {
      link.SetActiveRecord(row);
      rows.push_back(ActiveNumber());
    }
    link.SetActiveRecord(active);
    return rows;
  }

  // The rows hold consecutive records of `visible` and the active record is one of them.
  void ExpectWindowOf(TDataLink& link, const std::vector<int>& visible) const {
    std::vector<int> rows = Rows(link);
    ASSERT_FALSE(rows.empty());
    auto first = std::find(visible.begin(), visible.end(), rows.front());
    ASSERT_NE(first, visible.end()) << "R" << rows.front() << " is not visible";
    ASSERT_LE(rows.size(), size_t(visible.end() - first));
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), first)) << ::testing::PrintToString(rows);
    EXPECT_EQ(rows.size(), std::min<size_t>(visible.size(), size_t(link.BufferCount())));
    ASSERT_GE(link.ActiveRecord(), 0);
    ASSERT_LT(link.ActiveRecord(), link.RecordCount());
    EXPECT_EQ(rows[size_t(link.ActiveRecord())], ActiveNumber());
  }

  static std::vector<int> Numbers(int from, int to) {
    std::vector<int> numbers;
    for (int i = from; i <= to; ++i) numbers.push_back(i);
    return numbers;
  }

  Kind m_kind;
  TDataSource m_source;
  RecordingLink m_grid;
  TDataSet* m_data = nullptr;
};

TYPED_TEST_SUITE_P(DataSetWindowTest);

TYPED_TEST_P(DataSetWindowTest, AnEmptySetHasNoRowsAndGoesNowhere) {
  TDataSet& data = this->Open(0, 5);
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_TRUE(data.Bof());
  EXPECT_TRUE(data.Eof());
  EXPECT_EQ(0, this->m_grid.RecordCount());
  EXPECT_EQ(0, data.MoveBy(3));
  EXPECT_EQ(0, data.MoveBy(-3));
  data.Last();
  data.First();
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_TRUE(data.Bof() && data.Eof());
  EXPECT_EQ(0, data.RecordCountInBuffers());
}

TYPED_TEST_P(DataSetWindowTest, AWindowLargerThanTheSetHoldsEveryRecordWithoutScrolling) {
  TDataSet& data = this->Open(3, 10);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), this->Rows(this->m_grid));
  EXPECT_EQ(2, data.MoveBy(5));
  EXPECT_TRUE(data.Eof());
  EXPECT_EQ("R3", this->Active());
  EXPECT_EQ(-2, data.MoveBy(-5));
  EXPECT_TRUE(data.Bof());
  EXPECT_EQ((std::vector<std::string>{"scrolled 0", "scrolled 0"}), this->m_grid.notices);
  data.Last();
  EXPECT_EQ(2, this->m_grid.ActiveRecord());
  EXPECT_EQ((std::vector<int>{1, 2, 3}), this->Rows(this->m_grid));
}

// Every move keeps each link's rows on consecutive records around the active one, and a
// scroll notice's distance is how far the rows moved: row i now shows what row i + d
// showed. Moves inside the buffers fetch nothing.
TYPED_TEST_P(DataSetWindowTest, RowsFollowEveryMoveByTheNoticedDistance) {
  constexpr int kRecords = 12;
  TDataSet& data = this->Open(kRecords, 4);
  RecordingLink small;  // a second control showing fewer rows than the grid
  small.SetDataSource(&this->m_source);
  small.SetBufferCount(2);
  const std::vector<int> all = this->Numbers(1, kRecords);
  int position = 1;
  for (int move : {1, 3, 1, 2, 5, 9, 1, -1, -4, -3, 2, -100, -1, 100}) {
    SCOPED_TRACE("MoveBy(" + std::to_string(move) + ") from R" + std::to_string(position));
    std::vector<int> gridBefore = this->Rows(this->m_grid);
    std::vector<int> smallBefore = this->Rows(small);
    const bool pastEnd = position + move > kRecords, pastStart = position + move < 1;
    const int target = std::clamp(position + move, 1, kRecords);
    const bool buffered =
        std::find(gridBefore.begin(), gridBefore.end(), target) != gridBefore.end();
    const std::uint64_t fetches = data.RecordFetches();
    this->m_grid.notices.clear();
    small.notices.clear();

    const int moved = data.MoveBy(move);

    EXPECT_EQ(target - position, moved);
    position = target;
    EXPECT_EQ(position, this->ActiveNumber());
    EXPECT_EQ(pastEnd, data.Eof());
    EXPECT_EQ(pastStart, data.Bof());
    if (buffered && moved == move) {
      EXPECT_EQ(fetches, data.RecordFetches());
    }
    const std::pair<RecordingLink*, const std::vector<int>*> links[] = {
        {&this->m_grid, &gridBefore}, {&small, &smallBefore}};
    for (auto [link, before] : links) {
      this->ExpectWindowOf(*link, all);
      if (moved == 0) {
        EXPECT_TRUE(link->notices.empty());
        continue;
      }
      ASSERT_EQ(1u, link->notices.size());
      ASSERT_EQ(0u, link->notices[0].rfind("scrolled ", 0)) << link->notices[0];
      const int distance = std::stoi(link->notices[0].substr(9));
      std::vector<int> after = this->Rows(*link);
      for (int row = 0; row < int(after.size()); ++row) {
        const int was = row + distance;
        if (was >= 0 && was < int(before->size())) {
          EXPECT_EQ((*before)[size_t(was)], after[size_t(row)]);
        }
      }
    }
  }
}

TYPED_TEST_P(DataSetWindowTest, ChangingTheBufferCountKeepsTheActiveRecord) {
  TDataSet& data = this->Open(12, 3);
  const std::vector<int> all = this->Numbers(1, 12);
  data.MoveBy(5);
  ASSERT_EQ("R6", this->Active());
  for (int rows : {6, 2, 20, 1, 4}) {
    this->m_grid.SetBufferCount(rows);
    SCOPED_TRACE(rows);
    EXPECT_EQ(rows, data.BufferCount());
    EXPECT_EQ("R6", this->Active());
    this->ExpectWindowOf(this->m_grid, all);
  }
  data.Last();
  this->m_grid.SetBufferCount(6);
  EXPECT_EQ(this->Numbers(7, 12), this->Rows(this->m_grid));
  EXPECT_EQ(5, this->m_grid.ActiveRecord());
  EXPECT_EQ("R12", this->Active());
}

// The grid's highlighted row stays where it was when its record is deleted.
TYPED_TEST_P(DataSetWindowTest, DeletingTheActiveRecordRereadsAroundTheNextOne) {
  TDataSet& data = this->Open(8, 4);
  data.MoveBy(4);
  ASSERT_EQ("R5", this->Active());
  ASSERT_EQ(3, this->m_grid.ActiveRecord());
  this->m_grid.notices.clear();
  data.Delete();
  EXPECT_EQ("R6", this->Active());
  EXPECT_EQ(3, this->m_grid.ActiveRecord());
  EXPECT_EQ((std::vector<std::string>{"changed"}), this->m_grid.notices);
  this->ExpectWindowOf(this->m_grid, {1, 2, 3, 4, 6, 7, 8});
  data.Last();
  data.Delete();  // the last record: the one before it becomes active
  EXPECT_EQ("R7", this->Active());
  EXPECT_FALSE(data.Eof());
  this->ExpectWindowOf(this->m_grid, {1, 2, 3, 4, 6, 7});
  EXPECT_EQ(0, data.MoveBy(1));
  EXPECT_TRUE(data.Eof());
  for (int left = 6; left > 0; --left) data.Delete();
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_TRUE(data.Bof() && data.Eof());
  EXPECT_EQ(0, this->m_grid.RecordCount());
}

TYPED_TEST_P(DataSetWindowTest, NarrowingTheRecordSetRereadsTheWindow) {
  TDataSet& data = this->Open(12, 3);
  data.MoveBy(4);
  ASSERT_EQ("R5", this->Active());  // TIPO 2: it leaves the set
  this->m_grid.notices.clear();
  this->m_kind.KeepOnlyTipo(1);
  this->ExpectWindowOf(this->m_grid, {1, 4, 7, 10});
  EXPECT_EQ("changed", this->m_grid.notices.back());
  data.Last();
  EXPECT_EQ("R10", this->Active());
  EXPECT_EQ((std::vector<int>{4, 7, 10}), this->Rows(this->m_grid));
  EXPECT_EQ(-3, data.MoveBy(-9));
  EXPECT_TRUE(data.Bof());
  this->m_kind.KeepOnlyTipo(9);
  EXPECT_TRUE(data.IsEmpty());
  EXPECT_TRUE(data.Bof() && data.Eof());
  EXPECT_EQ(0, this->m_grid.RecordCount());
}

REGISTER_TYPED_TEST_SUITE_P(DataSetWindowTest,
                            AnEmptySetHasNoRowsAndGoesNowhere,
                            AWindowLargerThanTheSetHoldsEveryRecordWithoutScrolling,
                            RowsFollowEveryMoveByTheNoticedDistance,
                            ChangingTheBufferCountKeepsTheActiveRecord,
                            DeletingTheActiveRecordRereadsAroundTheNextOne,
                            NarrowingTheRecordSetRereadsTheWindow);

}  // namespace velloria::testing
