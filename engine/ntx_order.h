// NtxOrder: one index order of a work area — its NTX file, the compiled key and FOR
// expressions, and key encoding (character, numeric, date, logical results). Creates an
// index from a table and gives each record's key. Single-threaded.
#ifndef VELLORIA_ENGINE_NTX_ORDER_H_
#define VELLORIA_ENGINE_NTX_ORDER_H_

#include <memory>
#include <string>

#include "engine/expr.h"
#include "engine/ntx_file.h"
#include "engine/table.h"

namespace xb {

// Key bytes of a number as NTX stores them: STR(value, width, decimals) with leading blanks
// as '0'; a negative number has its '-' as '0' and each digit d as '0' - d - 4, so that
// negatives sort below positives and among themselves by value.
std::string NtxNumberKey(double value, int width, int decimals);

class NtxOrder {
 public:
  // Writes a new index file at path over every record of t and opens it.
  static Status Create(Table* t, const std::string& path, const std::string& key_expr,
                       bool unique, bool descending, const std::string& for_expr,
                       std::unique_ptr<NtxOrder>* out);
  // Opens an existing index file for t (its key must compile against t's fields).
  static Status Open(Table* t, const std::string& path, std::unique_ptr<NtxOrder>* out);

  NtxFile& file() { return *file_; }
  const std::string& path() const { return file_->path(); }
  const NtxHeader& header() const { return file_->header(); }
  ExprType key_type() const { return key_type_; }

  // Whether the record current in view belongs in the index (its FOR condition holds).
  bool InScope(const RecordView& view);
  // The key of the record current in view, key_size() bytes.
  std::string KeyOf(const RecordView& view);
  // The key bytes a seek text stands for: numbers are parsed and encoded, other texts are
  // taken as given (a shorter text is a prefix). padded blank-fills a character key.
  std::string SeekKey(const std::string& text, bool padded) const;
  // Rebuilds the file from t's records (after a pack, zap or on request).
  Status Rebuild(Table* t);
  // Verifies the file against t: keys in order, every record in scope indexed once under
  // its current key, nothing else. Fails with XB_ERR_CORRUPT naming the first fault.
  Status Check(Table* t);

 private:
  NtxOrder() = default;
  // `aliases`: kOwnOnly when creating an index; kAnyForOwnFields for a file that exists, which
  // another program may have written with the table open under an alias of its choosing.
  Status Compile(Table* t, const std::string& key_expr, const std::string& for_expr,
                 AliasRule aliases);
  // For an index found pending: rebuilt when no live writer stands behind the mark (refused
  // on a read-only table), used as it is otherwise.
  Status RepairLeftPending(Table* t);
  static Status Collect(Table* t, NtxOrder* order, std::vector<char>* keys,
                        std::vector<uint32_t>* recnos);

  std::unique_ptr<NtxFile> file_;
  std::unique_ptr<CompiledExpr> key_;
  std::unique_ptr<CompiledExpr> for_;
  ExprType key_type_ = kExprString;
  int key_size_ = 0;
  int key_decimals_ = 0;
};

}  // namespace xb

#endif  // VELLORIA_ENGINE_NTX_ORDER_H_
