// Case-insensitive path resolution through the engine's Os, so that fault injection reaches
// the folder reads and existence checks it makes.
#include "base/paths.h"
#include "engine/os.h"

namespace xb {
namespace {

class OsFileSystem final : public velloria::paths::FileSystemView {
 public:
  explicit OsFileSystem(Os* os) : os_(os) {}
  bool Exists(const std::string& path) override { return os_->Exists(path); }
  bool ReadFolder(const std::string& folder, std::vector<std::string>* names) override {
    return os_->ReadFolder(folder, names).ok();
  }

 private:
  Os* os_;
};

}  // namespace

std::string ResolvePath(const std::string& path) {
  OsFileSystem fs(CurrentOs());
  return velloria::paths::ResolveCaseInsensitive(path, fs);
}

}  // namespace xb
