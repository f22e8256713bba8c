// Table creation, packing and zapping. Pack writes the live records to a new file beside
// the table (made anew, never through a link) and renames it over the old one, so a crash
// leaves either table whole.
#include <cstring>

#include "engine/settings.h"
#include "engine/table.h"

namespace xb {
namespace {

Status NeedsExclusive(const char* what) {
  return Status::Error(XB_ERR_LOCKED, std::string(what) + " needs the table opened exclusively");
}

}  // namespace

Status Table::Create(const std::string& path, TableLayout layout) {
  for (const FieldInfo& f : layout.fields) XB_RETURN_IF_ERROR(CheckFieldDefinition(f));
  XB_RETURN_IF_ERROR(FinishNewLayout(&layout));
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (layout.fields[i].name == layout.fields[j].name) {
        return Status::Error(XB_ERR_ARGUMENT, "Field " + layout.fields[i].name + " appears twice");
      }
    }
  }
  CurrentOs()->Today(&layout.year, &layout.month, &layout.day);
  std::shared_ptr<SharedFile> file;
  XB_RETURN_IF_ERROR(SharedFile::Create(path, &file));
  std::vector<uint8_t> header = BuildHeader(layout, 0);
  header.push_back(kEndOfFile);
  Status s = file->Write(header.data(), header.size(), 0);
  if (s.ok() && layout.HasMemoFields()) s = MemoFile::Create(path);
  if (s.ok()) s = CurrentOs()->Sync(file->fd());
  if (!s.ok()) CurrentOs()->Remove(path);  // no table is left without its memo file
  return s;
}

Status Table::Zap() {
  XB_RETURN_IF_ERROR(CheckWritable());
  if (!file_->exclusive()) return NeedsExclusive("Zap");
  XB_RETURN_IF_ERROR(SettleJournal());
  dirty_ = false;
  Unmap();
  int y = 0, m = 0, d = 0;
  CurrentOs()->Today(&y, &m, &d);
  uint8_t head[7];
  EncodeDateAndCount(y, m, d, 0, head);
  XB_RETURN_IF_ERROR(file_->Write(head, sizeof head, 1));
  uint8_t eof = kEndOfFile;
  XB_RETURN_IF_ERROR(CurrentOs()->Truncate(file_->fd(), layout_.header_length));
  XB_RETURN_IF_ERROR(file_->Write(&eof, 1, layout_.header_length));
  count_ = layout_.header_count = 0;
  return GoTop();
}

Status Table::Pack() {
  XB_RETURN_IF_ERROR(CheckWritable());
  if (!file_->exclusive()) return NeedsExclusive("Pack");
  XB_RETURN_IF_ERROR(FlushRecord());
  XB_RETURN_IF_ERROR(SettleJournal());
  XB_RETURN_IF_ERROR(RewritePacked());
  return GoTop();
}

// The packed copy replaces the file itself: a table reached through a symbolic link is
// packed where the link leads, and the link stays.
Status Table::RewritePacked() {
  Os* os = CurrentOs();
  std::string target = path_;
  if (os->IsLink(path_)) XB_RETURN_IF_ERROR(os->RealPath(path_, &target));
  std::string temp = target + ".packing";
  int fd = -1;
  os->Remove(temp);  // a leftover of a pack cut short, or a link someone put there
  XB_RETURN_IF_ERROR(os->OpenSide(temp, SideOpen::kNew, &fd));
  auto fail = [&](Status s) {
    os->Close(fd);
    os->Remove(temp);
    return s;
  };
  std::vector<uint8_t> header(layout_.header_length);
  size_t done = 0;
  Status s = file_->Read(header.data(), header.size(), 0, &done);
  if (!s.ok()) return fail(s);
  uint64_t at = layout_.header_length;
  uint32_t kept = 0;
  std::vector<uint8_t> out;
  out.reserve(64 * 1024);
  auto flush = [&]() {
    Status w = os->Write(fd, out.data(), out.size(), at);
    at += out.size();
    out.clear();
    return w;
  };
  for (uint32_t r = 1; r <= count_ && s.ok(); ++r) {
    const uint8_t* bytes = nullptr;
    s = Peek(r, &bytes);
    if (!s.ok() || bytes[0] == '*') continue;
    out.insert(out.end(), bytes, bytes + layout_.record_length);
    ++kept;
    if (out.size() >= 60 * 1024) s = flush();
  }
  out.push_back(kEndOfFile);
  if (s.ok()) s = flush();
  int y = 0, m = 0, d = 0;
  os->Today(&y, &m, &d);
  EncodeDateAndCount(y, m, d, kept, &header[1]);
  if (s.ok()) s = os->Write(fd, header.data(), header.size(), 0);
  if (s.ok()) s = os->Sync(fd);
  bool granted = false;
  if (s.ok()) s = os->LockFile(fd, true, &granted);  // hold the new file before it is visible
  if (s.ok() && !granted) s = Status::Error(XB_ERR_LOCKED, "Cannot lock the packed table");
  if (s.ok()) s = os->Rename(temp, target);
  if (!s.ok()) return fail(s);
  Unmap();
  file_->ReplaceDescriptor(fd);
  count_ = layout_.header_count = kept;
  block_generation_ = ~0ULL;
  return Status::Ok();
}

}  // namespace xb
