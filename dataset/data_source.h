// TDataSource forwards a dataset's notices to every attached TDataLink; TDataLink is the
// base of data-aware controls' links: it keeps its window onto the dataset's record
// buffers (first record, buffer count) and turns notices into virtual hooks.
// Single-threaded.
#pragma once

#include <cstdint>
#include <vector>

#include "dataset/dataset.h"

namespace velloria {

class TDataLink;

class TDataSource {
 public:
  TDataSource() = default;
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;
  ~TDataSource();

  TDataSet* DataSet() const { return m_dataSet; }
  // Attaches to `dataSet` (nullptr detaches); the links see active changed.
  void SetDataSet(TDataSet* dataSet);
  // The dataset's state, dsInactive without a dataset.
  TDataSetState State() const;
  const std::vector<TDataLink*>& DataLinks() const { return m_links; }

  // Called by the dataset for every notice.
  void DataEvent(TDataEvent event, std::intptr_t info);

  // Link registration (done by TDataLink::SetDataSource).
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

 private:
  TDataSet* m_dataSet = nullptr;
  std::vector<TDataLink*> m_links;
};

// Notices arrive as virtual calls, all only while the link is active (ActiveChanged and
// EditingChanged also on the way in and out):
//   ActiveChanged       the dataset opened or closed
//   DataSetChanged      the record set was re-read (first, last, refresh, filter ...)
//   DataSetScrolled(d)  the current record moved by stepping; d is the move of this
//                       link's window, already applied to FirstRecord(): the base has
//                       added the dataset's buffer shift to FirstRecord() and moved the
//                       window just enough to keep the active record inside it
//   RecordChanged(f)    field f (or, for nullptr, the whole record) changed
//   LayoutChanged       the field list changed
//   EditingChanged      the dataset entered or left an editing state
//   UpdateData          the dataset is about to post: write pending control text
// Before DataSetChanged and LayoutChanged the window is adjusted the same way.
class TDataLink {
 public:
  TDataLink() = default;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;
  virtual ~TDataLink();

  TDataSource* DataSource() const { return m_dataSource; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  bool Active() const { return m_active; }
  bool Editing() const { return m_editing; }

  // Records this link wants buffered; the dataset keeps the largest count of its links.
  int BufferCount() const { return m_bufferCount; }
  void SetBufferCount(int value);
  // Index among the dataset's buffers of the record shown first by this link.
  int FirstRecord() const { return m_firstRecord; }
  // Row of the active record within this link's window (dataset's index - FirstRecord).
  int ActiveRecord() const;
  // Makes the record of row `value` the dataset's active one (for painting a row).
  void SetActiveRecord(int value);
  // Records available to this link: the smaller of its buffer count and the
  // dataset's valid buffers.
  int RecordCount() const;

  // Called by the data source.
  void DataEvent(TDataEvent event, std::intptr_t info);

 protected:
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int distance);
  virtual void RecordChanged(TField* field) { (void)field; }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void EditingChanged() {}
  virtual void UpdateData() {}
  virtual void CheckBrowseMode() {}

 private:
  void SetActive(bool value);
  void UpdateState();
  void UpdateRange();
  int ShiftWindow(std::intptr_t shift);

  TDataSource* m_dataSource = nullptr;
  bool m_active = false;
  bool m_editing = false;
  bool m_updating = false;
  int m_bufferCount = 1;
  int m_firstRecord = 0;
};

}  // namespace velloria
