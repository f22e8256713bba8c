// Makes one of a dataset's buffered records its active one for a scope, so that its
// fields read that record (a grid row being drawn, read aloud or dropped on), and puts
// the active record back on every path. GUI thread only.
#pragma once

#include "dataset/dataset.h"

namespace velloria {

class ActiveRecordSwap {
 public:
  ActiveRecordSwap(TDataSet* dataSet, int index)
      : m_dataSet(dataSet), m_saved(dataSet->ActiveRecordIndex()) {
    m_dataSet->SetActiveRecordIndex(index);
  }
  ~ActiveRecordSwap() { m_dataSet->SetActiveRecordIndex(m_saved); }
  ActiveRecordSwap(const ActiveRecordSwap&) = delete;
  ActiveRecordSwap& operator=(const ActiveRecordSwap&) = delete;

 private:
  TDataSet* m_dataSet;
  int m_saved;
};

}  // namespace velloria
