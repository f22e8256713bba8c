// NtxOrder: key and FOR expressions of an index order, key encoding, and the keys for a bulk
// build, read from the table file sequentially (NtxFile::Build sorts them and writes the tree).
#include "engine/ntx_order.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/dbf_field.h"
#include "engine/os.h"
#include "engine/settings.h"

namespace xb {
namespace {

// A record image of a table that is not its current record, for evaluating keys.
class ImageView final : public RecordView {
 public:
  explicit ImageView(const Table& t) : t_(t) {}
  void Set(const uint8_t* record, uint32_t recno) {
    record_ = record;
    recno_ = recno;
  }
  int FieldCount() const override { return t_.FieldCount(); }
  int FieldIndex(std::string_view name) const override { return t_.FieldIndex(name); }
  const FieldInfo& Field(int index) const override { return t_.Field(index); }
  const uint8_t* Record() const override { return record_; }
  int RecordSize() const override { return t_.RecordSize(); }
  uint32_t RecNo() const override { return recno_; }

 private:
  const Table& t_;
  const uint8_t* record_ = nullptr;
  uint32_t recno_ = 0;
};

}  // namespace

std::string NtxNumberKey(double value, int width, int decimals) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, "%*.*f", width, decimals, value);
  std::string s = n > width || n < 0 ? std::string(size_t(width), '*') : std::string(buffer);
  const bool negative = s.find('-') != std::string::npos;
  for (char& c : s) {
    if (c == ' ' || c == '-') c = '0';
    else if (negative && c >= '0' && c <= '9') c = char('0' - (c - '0') - 4);
  }
  return s;
}

Status NtxOrder::Compile(Table* t, const std::string& key_expr, const std::string& for_expr,
                         AliasRule aliases) {
  std::string error;
  if (!CompiledExpr::Compile(key_expr, *t, &key_, &error, aliases))
    return Status::Error(XB_ERR_EXPRESSION, "Index key " + key_expr + ": " + error);
  key_type_ = key_->ResultType();
  if (!for_expr.empty()) {
    if (!CompiledExpr::Compile(for_expr, *t, &for_, &error, aliases))
      return Status::Error(XB_ERR_EXPRESSION, "Index condition " + for_expr + ": " + error);
    if (for_->ResultType() != kExprLogical)
      return Status::Error(XB_ERR_EXPRESSION, "Index condition " + for_expr + " is not logical");
  }
  return Status::Ok();
}

bool NtxOrder::InScope(const RecordView& view) {
  return for_ == nullptr || for_->EvalLogical(view, GlobalSettings().ForExpressions());
}

std::string NtxOrder::KeyOf(const RecordView& view) {
  const ExprSettings settings = GlobalSettings().ForExpressions();
  std::string key = key_type_ == kExprNumeric
                        ? NtxNumberKey(key_->EvalNumeric(view, settings), key_size_, key_decimals_)
                        : key_->EvalString(view, settings);
  key.resize(size_t(key_size_), ' ');
  return key;
}

std::string NtxOrder::SeekKey(const std::string& text, bool padded) const {
  std::string key;
  if (key_type_ == kExprNumeric) {
    key = NtxNumberKey(velloria::dbf::ReadNumberText(text), key_size_, key_decimals_);
  } else if (key_type_ == kExprLogical) {
    // "T", "Y", ".T." and the like, in any case; anything else is false.
    size_t at = text.find_first_not_of(". ");
    char c = at == std::string::npos ? 'F' : char(std::toupper(static_cast<unsigned char>(text[at])));
    key = (c == 'T' || c == 'Y') ? "T" : "F";
  } else {
    key = text.substr(0, size_t(key_size_));
    if (padded) key.resize(size_t(key_size_), ' ');
  }
  return key;
}

Status NtxOrder::Create(Table* t, const std::string& path, const std::string& key_expr,
                        bool unique, bool descending, const std::string& for_expr,
                        std::unique_ptr<NtxOrder>* out) {
  if (key_expr.size() >= 256 || for_expr.size() >= 256)
    return Status::Error(XB_ERR_ARGUMENT, "Index expressions are limited to 255 characters");
  std::unique_ptr<NtxOrder> order(new NtxOrder());
  XB_RETURN_IF_ERROR(order->Compile(t, key_expr, for_expr, AliasRule::kOwnOnly));
  switch (order->key_type_) {
    case kExprDate: order->key_size_ = 8; break;
    case kExprLogical: order->key_size_ = 1; break;
    case kExprNumeric: {
      // A plain numeric field keeps its width and decimals; other numbers STR's 10 places.
      int field = t->FieldIndex(key_expr);
      order->key_size_ = field >= 0 ? t->Field(field).width : 10;
      order->key_decimals_ = field >= 0 ? t->Field(field).decimals : 0;
      break;
    }
    default: {
      std::vector<uint8_t> blank(size_t(t->RecordSize()), ' ');
      ImageView view(*t);
      view.Set(blank.data(), 0);
      order->key_size_ = int(order->key_->EvalString(view, GlobalSettings().ForExpressions()).size());
      if (order->key_size_ == 0)
        return Status::Error(XB_ERR_EXPRESSION,
                             "Index key " + key_expr + " gives an empty key for a blank record");
    }
  }
  if (order->key_size_ > kNtxMaxKeySize)
    return Status::Error(XB_ERR_EXPRESSION, "Index key " + key_expr + " is longer than " +
                                                std::to_string(kNtxMaxKeySize) + " bytes");
  NtxHeader header;
  header.key_size = uint16_t(order->key_size_);
  header.key_decimals = uint16_t(order->key_decimals_);
  header.key_expr = key_expr;
  header.for_expr = for_expr;
  header.unique = unique;
  header.descending = descending;
  std::vector<char> keys;
  std::vector<uint32_t> recnos;
  XB_RETURN_IF_ERROR(Collect(t, order.get(), &keys, &recnos));
  XB_RETURN_IF_ERROR(NtxFile::Build(path, header, keys, recnos));
  XB_RETURN_IF_ERROR(NtxFile::Open(path, t->read_only(), t->mode() == XB_OPEN_EXCLUSIVE, &order->file_));
  *out = std::move(order);
  return Status::Ok();
}

Status NtxOrder::Open(Table* t, const std::string& path, std::unique_ptr<NtxOrder>* out) {
  std::unique_ptr<NtxOrder> order(new NtxOrder());
  const bool exclusive = t->mode() == XB_OPEN_EXCLUSIVE;
  XB_RETURN_IF_ERROR(NtxFile::Open(path, t->read_only(), exclusive, &order->file_));
  const NtxHeader& h = order->file_->header();
  XB_RETURN_IF_ERROR(order->Compile(t, h.key_expr, h.for_expr, AliasRule::kAnyForOwnFields));
  order->key_size_ = h.key_size;
  order->key_decimals_ = h.key_decimals;
  if (h.pending) XB_RETURN_IF_ERROR(order->RepairLeftPending(t));
  *out = std::move(order);
  return Status::Ok();
}

Status NtxOrder::RepairLeftPending(Table* t) {
  bool alive = false;
  XB_RETURN_IF_ERROR(file_->WriterAlive(&alive));
  if (alive) return Status::Ok();
  if (t->read_only()) return Status::Error(XB_ERR_CORRUPT, "index needs rebuilding: " + path());
  return Rebuild(t);
}

Status NtxOrder::Rebuild(Table* t) {
  std::vector<char> keys;
  std::vector<uint32_t> recnos;
  XB_RETURN_IF_ERROR(Collect(t, this, &keys, &recnos));
  return file_->Rebuild(keys, recnos);
}

Status NtxOrder::Check(Table* t) {
  std::vector<NtxEntry> entries;
  XB_RETURN_IF_ERROR(file_->Walk(&entries));
  std::vector<char> keys;
  std::vector<uint32_t> recnos;
  XB_RETURN_IF_ERROR(Collect(t, this, &keys, &recnos));
  const size_t ks = size_t(key_size_);
  std::vector<const NtxEntry*> by_record(recnos.empty() ? 1 : recnos.back() + 1, nullptr);
  auto fault = [&](uint32_t recno, const std::string& what) {
    return Status::Error(XB_ERR_CORRUPT, "Index " + path() + ": record " + std::to_string(recno) +
                                             " " + what);
  };
  uint32_t count = 0;
  XB_RETURN_IF_ERROR(t->RecCount(&count));
  for (const NtxEntry& e : entries) {
    if (e.recno == 0 || e.recno > count) return fault(e.recno, "is indexed but not in the table");
    if (e.recno >= by_record.size()) by_record.resize(e.recno + 1, nullptr);
    if (by_record[e.recno] != nullptr) return fault(e.recno, "is indexed twice");
    by_record[e.recno] = &e;
  }
  size_t expected_present = 0;
  for (size_t i = 0; i < recnos.size(); ++i) {
    const NtxEntry* e = recnos[i] < by_record.size() ? by_record[recnos[i]] : nullptr;
    if (e == nullptr) {
      if (header().unique) continue;  // a unique order keeps only the first of equal keys
      return fault(recnos[i], "is missing from the index");
    }
    if (e->key.compare(0, ks, &keys[i * ks], ks) != 0)
      return fault(recnos[i], "is indexed under \"" + e->key + "\" but its key is \"" +
                                  std::string(&keys[i * ks], ks) + "\"");
    ++expected_present;
  }
  if (expected_present != entries.size())
    return Status::Error(XB_ERR_CORRUPT,
                         "Index " + path() + " holds records outside its condition");
  return Status::Ok();
}

Status NtxOrder::Collect(Table* t, NtxOrder* order, std::vector<char>* keys,
                         std::vector<uint32_t>* recnos) {
  XB_RETURN_IF_ERROR(t->Commit());  // the buffered record reaches the file first
  uint32_t count = 0;
  XB_RETURN_IF_ERROR(t->RecCount(&count));
  Os* os = CurrentOs();
  int fd = -1;
  XB_RETURN_IF_ERROR(os->Open(t->path(), true, false, &fd));
  const size_t length = t->layout().record_length;
  const size_t per_block = std::max<size_t>(1, (1 << 20) / length);
  std::vector<uint8_t> block(per_block * length);
  ImageView view(*t);
  const int field = t->FieldIndex(order->key_->Text());
  const FieldInfo* plain = field >= 0 && order->for_ == nullptr && t->Field(field).type == 'C' &&
                                   t->Field(field).width == order->key_size_
                               ? &t->Field(field)
                               : nullptr;
  const size_t ks = size_t(order->key_size_);
  keys->resize(size_t(count) * ks);
  recnos->resize(count);
  size_t filled = 0;
  Status s;
  for (uint32_t first = 1; first <= count && s.ok(); first += uint32_t(per_block)) {
    const size_t want = std::min<size_t>(per_block, count - first + 1);
    size_t done = 0;
    s = os->Read(fd, block.data(), want * length,
                 t->layout().header_length + uint64_t(first - 1) * length, &done);
    for (size_t i = 0; s.ok() && i < done / length; ++i) {
      const uint8_t* record = &block[i * length];
      if (plain != nullptr) {  // a character field as the key: its bytes are the key
        std::memcpy(&(*keys)[filled * ks], record + plain->offset, ks);
      } else {
        view.Set(record, first + uint32_t(i));
        if (!order->InScope(view)) continue;
        std::memcpy(&(*keys)[filled * ks], order->KeyOf(view).data(), ks);
      }
      (*recnos)[filled++] = first + uint32_t(i);
    }
  }
  os->Close(fd);
  keys->resize(filled * ks);
  recnos->resize(filled);
  return s;
}

}  // namespace xb
