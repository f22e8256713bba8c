// A data link that records the notices its dataset sends, for the tests of every dataset
// kind.
#pragma once

#include <string>
#include <vector>

#include "dataset/data_source.h"

namespace velloria::testing {

// Records its notices as text ("changed", "scrolled 1", "record TIPO").
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> notices;

 protected:
  void ActiveChanged() override { notices.push_back("active"); }
  void DataSetChanged() override { notices.push_back("changed"); }
  void DataSetScrolled(int distance) override {
    notices.push_back("scrolled " + std::to_string(distance));
  }
  void RecordChanged(TField* field) override {
    notices.push_back("record " + (field ? field->FieldName() : std::string("*")));
  }
  void EditingChanged() override { notices.push_back("editing"); }
  void UpdateData() override { notices.push_back("update"); }
};

}  // namespace velloria::testing
