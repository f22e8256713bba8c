// Table navigation: the records shown (deleted setting and query), moving between them,
// counting them and locating a record by an expression.
#include <algorithm>

#include "engine/settings.h"
#include "engine/table.h"

namespace xb {

Status Table::Visible(uint32_t r, const uint8_t* bytes, bool* visible) {
  *visible = !(GlobalSettings().deleted && bytes[0] == '*');
  if (!*visible || !query_) return Status::Ok();
  if (plan_) {
    *visible = plan_->Matches(bytes);
    return Status::Ok();
  }
  *visible = EvalOn(query_.get(), r, bytes);
  return Status::Ok();
}

bool Table::EvalOn(CompiledExpr* expr, uint32_t r, const uint8_t* bytes) {
  view_ = bytes;
  view_recno_ = r;
  bool result = expr->EvalLogical(*this, GlobalSettings().ForExpressions());
  view_ = current_;
  view_recno_ = recno_;
  return result;
}

Status Table::Scan(uint32_t from, int step, uint32_t* found, const uint8_t** found_bytes) {
  *found = 0;
  uint32_t r = step > 0 ? std::max<uint32_t>(from, 1) : std::min(from, count_);
  for (; r >= 1 && r <= count_; r += uint32_t(step)) {
    const uint8_t* bytes = nullptr;
    bool visible = false;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    XB_RETURN_IF_ERROR(Visible(r, bytes, &visible));
    if (visible) {
      *found = r;
      if (found_bytes != nullptr) *found_bytes = bytes;
      return Status::Ok();
    }
  }
  return Status::Ok();
}

Status Table::MoveTo(uint32_t r) {
  XB_RETURN_IF_ERROR(FlushRecord());
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(r, &bytes, ReadKind::kFresh));
  MoveToBytes(r, bytes);
  fresh_ = bytes == probe_.data();
  // A record positioned to on its own is copied at once: no later read of it touches the
  // mapped window, which another program that ignores the lock could have cut short.
  KeepCurrent();
  return Status::Ok();
}

void Table::MoveToPhantom() {
  fresh_ = false;
  std::fill(record_.begin(), record_.end(), ' ');
  current_ = view_ = record_.data();
  recno_ = view_recno_ = count_ + 1;
  eof_ = true;
  bof_ = false;
}

Status Table::GoTop() { return GoToEnd(1); }

Status Table::GoBottom() { return GoToEnd(-1); }

Status Table::GoToEnd(int step) {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  uint32_t r = 0;
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Scan(step > 0 ? 1 : count_, step, &r, &bytes));
  if (r != 0) return MoveToBytes(r, bytes), Status::Ok();
  MoveToPhantom();
  bof_ = true;
  return Status::Ok();
}

Status Table::Skip(int64_t count) {
  if (count == 1 && SkipToNextInMemory()) return Status::Ok();
  XB_RETURN_IF_ERROR(FlushRecord());
  if (count == 0) {
    if (eof_) return Status::Ok();
    bool bof = bof_;
    XB_RETURN_IF_ERROR(MoveTo(recno_));
    bof_ = bof;
    return Status::Ok();
  }
  if (eof_ || recno_ > count_) XB_RETURN_IF_ERROR(RefreshCount());
  for (; count > 0; --count) {
    if (eof_) return Status::Ok();
    uint32_t r = 0;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(ScanForward(recno_ + 1, &r, &bytes));
    if (r == 0) {
      MoveToPhantom();
      return Status::Ok();
    }
    MoveToBytes(r, bytes);
  }
  for (; count < 0; ++count) {
    uint32_t r = 0;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(ScanBackward(recno_ - 1, &r, &bytes));
    if (r != 0) {
      MoveToBytes(r, bytes);
      continue;
    }
    bool was_eof = eof_;
    XB_RETURN_IF_ERROR(ScanForward(1, &r));
    if (r != 0) XB_RETURN_IF_ERROR(MoveTo(r));
    eof_ = r == 0 && was_eof;
    bof_ = true;
    return Status::Ok();
  }
  return Status::Ok();
}

Status Table::Go(int64_t record) {
  XB_RETURN_IF_ERROR(FlushRecord());
  // The current record is at hand when nobody can have changed it since it was read: read
  // fresh under this area's lock, or read or written by the one area of an exclusive open.
  if (record == recno_ && !eof_ && (fresh_ || file_->exclusive()) && HoldsRecord(recno_)) {
    bof_ = false;
    return Status::Ok();
  }
  if (record < 1 || record > count_) XB_RETURN_IF_ERROR(RefreshCount());
  if (map_ != nullptr && record >= 1 && record <= count_) {  // the window may outlive the bytes
    uint64_t size = 0;
    XB_RETURN_IF_ERROR(
        SizeReaching(layout_.header_length + uint64_t(record) * layout_.record_length, &size));
  }
  if (record >= 1 && record <= count_) return MoveTo(uint32_t(record));
  MoveToPhantom();
  bof_ = count_ == 0;
  return Status::Ok();
}

Status Table::RecCount(uint32_t* count) {
  XB_RETURN_IF_ERROR(RefreshCount());
  *count = count_;
  return Status::Ok();
}

Status Table::CountVisible(uint32_t* count) {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  *count = 0;
  for (uint32_t r = 1; r <= count_;) {
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    // Walk the rest of the mapped window or the block without peeking again.
    uint32_t in_block = BlockHolds(r) ? block_first_ + block_records_ - r : 1;
    if (map_ != nullptr) {
      uint64_t at = layout_.header_length + uint64_t(r - 1) * layout_.record_length;
      in_block = uint32_t((map_offset_ + map_length_ - at) / layout_.record_length);
    }
    in_block = std::min(in_block, count_ - r + 1);
    if (plan_ && !GlobalSettings().deleted) {  // the optimiser's plan alone decides
      *count += plan_->CountMatches(bytes, in_block, layout_.record_length);
      r += in_block;
      continue;
    }
    for (uint32_t i = 0; i < in_block; ++i, ++r, bytes += layout_.record_length) {
      bool visible = false;
      XB_RETURN_IF_ERROR(Visible(r, bytes, &visible));
      if (visible) ++*count;
    }
  }
  return Status::Ok();
}

Status Table::MatchesQuery(uint32_t record, bool* match) {
  *match = true;
  if (!query_ || record < 1 || record > count_) {
    *match = query_ == nullptr;
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(FlushRecord());
  const uint8_t* bytes = nullptr;
  XB_RETURN_IF_ERROR(Peek(record, &bytes));
  if (plan_) {
    *match = plan_->Matches(bytes);
    return Status::Ok();
  }
  *match = EvalOn(query_.get(), record, bytes);
  return Status::Ok();
}

Status Table::SetQuery(std::string_view text) {
  XB_RETURN_IF_ERROR(FlushRecord());
  size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) {
    if (query_) checked_ = std::move(query_);  // kept, should the query be set again
    plan_.reset();
    query_text_.clear();
    return GoTop();
  }
  // The same query set again is only gone through again: its compiled form depends on the
  // field layout alone, which stays while the table is open.
  if (query_ && text == query_text_) return GoTop();
  std::unique_ptr<CompiledExpr> compiled;
  if (checked_ && text == checked_->Text()) {
    compiled = std::move(checked_);
  } else {
    std::string error;
    if (!CompiledExpr::Compile(text, *this, &compiled, &error)) {
      return Status::Error(XB_ERR_EXPRESSION, "Invalid query expression: " + error);
    }
  }
  if (compiled->ResultType() != kExprLogical) {
    return Status::Error(XB_ERR_EXPRESSION, "The query expression is not logical");
  }
  // The query replaced is kept, should it be set again (as after a locate's own query).
  if (query_) checked_ = std::move(query_);
  query_ = std::move(compiled);
  plan_ = QueryPlan::Build(*query_);
  query_text_ = std::string(text);
  return GoTop();
}

ExprType Table::TypeOf(std::string_view text) {
  if (query_ && text == query_text_) return query_->ResultType();
  if (checked_ && text == checked_->Text()) return checked_->ResultType();
  checked_.reset();
  return CompiledExpr::Compile(text, *this, &checked_, nullptr) ? checked_->ResultType()
                                                                 : kExprError;
}

Status Table::Locate(CompiledExpr* expr, bool forward, bool from_current, bool* found) {
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(RefreshCount());
  DropBlock();
  *found = false;
  uint32_t r = from_current ? (forward ? recno_ + 1 : recno_ - 1) : (forward ? 1 : count_);
  while (r >= 1 && r <= count_) {
    XB_RETURN_IF_ERROR(forward ? ScanForward(r, &r) : ScanBackward(r, &r));
    if (r == 0) break;
    const uint8_t* bytes = nullptr;
    XB_RETURN_IF_ERROR(Peek(r, &bytes));
    if (EvalOn(expr, r, bytes)) {
      *found = true;
      return MoveTo(r);
    }
    r = forward ? r + 1 : r - 1;
  }
  if (forward) {
    MoveToPhantom();
    return Status::Ok();
  }
  XB_RETURN_IF_ERROR(GoTop());
  bof_ = true;
  return Status::Ok();
}

}  // namespace xb
