// libFuzzer target for the expression language: compiles arbitrary text against a fixed
// record and evaluates whatever compiles under several settings. Must never crash or hang.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/dbf_field.h"
#include "engine/expr.h"

namespace dbf = velloria::dbf;

namespace {

class FixedRecord : public xb::RecordView {
 public:
  FixedRecord() {
    Add("NAME", dbf::type::kCharacter, 10, "ROSSI");
    Add("TIPO", dbf::type::kNumber, 1, "1");
    Add("VISUALIZZA", dbf::type::kLogical, 1, "T");
    Add("PRICE", dbf::type::kNumber, 8, "  -12.50", 2);
    Add("BORN", dbf::type::kDate, 8, "19450512");
    Add("AND", dbf::type::kCharacter, 3, "x");
    Add("MEMO", dbf::type::kMemo, 10, "         1");
    Add("COUNT", dbf::type::kInteger, 4, std::string("\x2a\0\0\0", 4));
  }
  int FieldCount() const override { return static_cast<int>(fields_.size()); }
  int FieldIndex(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (fields_[i].name.size() == name.size() &&
          strncasecmp(fields_[i].name.data(), name.data(), name.size()) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  const xb::FieldInfo& Field(int index) const override { return fields_[index]; }
  const uint8_t* Record() const override { return record_.data(); }
  int RecordSize() const override { return static_cast<int>(record_.size()); }
  uint32_t RecNo() const override { return 3; }
  bool ReadMemo(int, std::string* text) const override {
    text->assign("memo text");
    return true;
  }

 private:
  void Add(const char* name, char type, int width, const std::string& bytes, int decimals = 0) {
    fields_.push_back({name, type, static_cast<int>(record_.size()), width, decimals});
    std::string padded = bytes;
    padded.resize(width, ' ');
    record_.insert(record_.end(), padded.begin(), padded.end());
  }
  std::vector<xb::FieldInfo> fields_;
  std::vector<uint8_t> record_ = {' '};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FixedRecord record;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<xb::CompiledExpr> compiled;
  std::string error;
  if (!xb::CompiledExpr::Compile(text, record, &compiled, &error)) return 0;
  for (const int format : {xb::kDateAmerican, xb::kDateGerman, xb::kDateSystem}) {
    const xb::ExprSettings settings{format == xb::kDateGerman, 1910, format != 0, format};
    compiled->EvalLogical(record, settings);
    compiled->EvalNumeric(record, settings);
    compiled->EvalDate(record, settings);
    compiled->EvalString(record, settings);
    uint8_t match = 0;
    compiled->EvalLogicalBlock(record.Record(), 1, record.RecordSize(), 1, record, settings,
                               &match);
  }
  return 0;
}
