// TDataSource and TDataLink: notice forwarding and each link's window onto the buffers.
#include "dataset/data_source.h"

#include <algorithm>

#include "dataset/scope_guard.h"

namespace velloria {

// ---- TDataSource

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  std::vector<TDataLink*> links = m_links;
  for (TDataLink* link : links) link->SetDataSource(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == m_dataSet) return;
  TDataSet* old = m_dataSet;
  if (old != nullptr) old->DetachDataSource(this);
  m_dataSet = dataSet;
  if (m_dataSet != nullptr) m_dataSet->AttachDataSource(this);
  if (old != nullptr) old->UpdateBufferCount();
  if (m_dataSet != nullptr) m_dataSet->UpdateBufferCount();
  DataEvent(TDataEvent::deUpdateState, 0);
}

TDataSetState TDataSource::State() const {
  return m_dataSet == nullptr ? TDataSetState::dsInactive : m_dataSet->State();
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  std::vector<TDataLink*> links = m_links;
  for (TDataLink* link : links) link->DataEvent(event, info);
}

void TDataSource::AddDataLink(TDataLink* link) {
  m_links.push_back(link);
  if (m_dataSet != nullptr) m_dataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  std::erase(m_links, link);
  if (m_dataSet != nullptr) m_dataSet->UpdateBufferCount();
}

// ---- TDataLink

TDataLink::~TDataLink() {
  if (m_dataSource != nullptr) m_dataSource->RemoveDataLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == m_dataSource) return;
  if (m_dataSource != nullptr) {
    m_dataSource->RemoveDataLink(this);
    m_dataSource = nullptr;
    UpdateState();
  }
  m_dataSource = source;
  if (m_dataSource != nullptr) {
    m_dataSource->AddDataLink(this);
    UpdateState();
  }
}

TDataSet* TDataLink::DataSet() const {
  return m_dataSource == nullptr ? nullptr : m_dataSource->DataSet();
}

void TDataLink::SetBufferCount(int value) {
  value = std::max(1, value);
  if (value == m_bufferCount) return;
  m_bufferCount = value;
  if (!m_active) return;
  UpdateRange();
  DataSet()->UpdateBufferCount();
  UpdateRange();
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || dataSet->State() == TDataSetState::dsSetKey) return 0;
  return dataSet->ActiveRecordIndex() - m_firstRecord;
}

void TDataLink::SetActiveRecord(int value) {
  if (TDataSet* dataSet = DataSet()) dataSet->SetActiveRecordIndex(value + m_firstRecord);
}

int TDataLink::RecordCount() const {
  TDataSet* dataSet = DataSet();
  if (dataSet == nullptr || !m_active) return 0;
  return std::min(dataSet->RecordCountInBuffers(), m_bufferCount);
}

void TDataLink::SetActive(bool value) {
  if (value == m_active) return;
  m_active = value;
  if (value) {
    UpdateRange();
  } else {
    m_firstRecord = 0;
  }
  ActiveChanged();
}

void TDataLink::UpdateState() {
  TDataSetState state =
      m_dataSource == nullptr ? TDataSetState::dsInactive : m_dataSource->State();
  SetActive(state != TDataSetState::dsInactive);
  bool editing = state == TDataSetState::dsEdit || state == TDataSetState::dsInsert ||
                 state == TDataSetState::dsSetKey;
  if (editing != m_editing) {
    m_editing = editing;
    EditingChanged();
  }
}

void TDataLink::UpdateRange() {
  TDataSet* dataSet = DataSet();
  int active = dataSet->ActiveRecordIndex();
  int lowest = std::max(0, active - m_bufferCount + 1);
  int highest = std::max(0, dataSet->RecordCountInBuffers() - m_bufferCount);
  highest = std::min(highest, active);
  m_firstRecord = std::max(m_firstRecord, lowest);
  m_firstRecord = std::min(m_firstRecord, highest);
  if (m_firstRecord > 0 && active - m_firstRecord < m_bufferCount - 1) --m_firstRecord;
}

int TDataLink::ShiftWindow(std::intptr_t shift) {
  TDataSet* dataSet = DataSet();
  if (dataSet->State() == TDataSetState::dsSetKey) return 0;
  int active = dataSet->ActiveRecordIndex();
  int first = m_firstRecord + static_cast<int>(shift);
  int last = first + m_bufferCount - 1;
  int move = active > last ? active - last : (active < first ? active - first : 0);
  m_firstRecord = first + move;
  return move;
}

void TDataLink::DataSetScrolled(int distance) {
  (void)distance;
  DataSetChanged();
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == TDataEvent::deUpdateState) {
    UpdateState();
    return;
  }
  if (!m_active) return;
  switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (!m_updating) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case TDataEvent::deDataSetChange:
      ShiftWindow(info);
      DataSetChanged();
      break;
    case TDataEvent::deDataSetScroll:
      DataSetScrolled(ShiftWindow(info));
      break;
    case TDataEvent::deLayoutChange:
      ShiftWindow(info);
      LayoutChanged();
      break;
    case TDataEvent::deUpdateRecord: {
      m_updating = true;
      auto done = OnScopeExit([this] { m_updating = false; });
      UpdateData();
      break;
    }
    case TDataEvent::deCheckBrowseMode:
      CheckBrowseMode();
      break;
    default:
      break;
  }
}

}  // namespace velloria
