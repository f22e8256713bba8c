// Path helpers: separator rules and the case-insensitive lookup of data-built paths.
#include "base/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace velloria::paths;

namespace {

class TempTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("velloria-paths-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "Gest" / "Stampe" / "Lettere");
    std::ofstream(root_ / "Gest" / "Stampe" / "STAMPE.DBF") << "x";
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Root() const { return root_.string(); }
  fs::path root_;
};

TEST(PathsTest, SplitsAtTheLastSeparator) {
  EXPECT_EQ(FolderPart("/srv/gest/a.doc"), "/srv/gest/");
  EXPECT_EQ(NamePart("/srv/gest/a.doc"), "a.doc");
  EXPECT_EQ(FolderPart("a.doc"), "");
  EXPECT_EQ(NamePart("a.doc"), "a.doc");
  EXPECT_EQ(WithTrailingSeparator("/srv"), "/srv/");
  EXPECT_EQ(WithTrailingSeparator("/srv/"), "/srv/");
  EXPECT_EQ(WithTrailingSeparator(""), "");
}

TEST_F(TempTree, ExactSpellingIsKept) {
  std::string p = Root() + "/Gest/Stampe/STAMPE.DBF";
  EXPECT_EQ(ResolveCaseInsensitive(p), p);
}

TEST_F(TempTree, EachComponentIsFoundIgnoringCase) {
  EXPECT_EQ(ResolveCaseInsensitive(Root() + "/GEST/stampe/stampe.dbf"),
            Root() + "/Gest/Stampe/STAMPE.DBF");
  EXPECT_EQ(ResolveCaseInsensitive(Root() + "/gest/STAMPE/lettere/"), Root() + "/Gest/Stampe/Lettere/");
}

TEST_F(TempTree, AMissingComponentLeavesThePathAsGiven) {
  std::string p = Root() + "/gest/Nowhere/x.doc";
  EXPECT_EQ(ResolveCaseInsensitive(p), p);
  EXPECT_FALSE(Exists(p));
}

TEST_F(TempTree, TheFirstMatchInNameOrderWins) {
  fs::create_directories(root_ / "Gest" / "LETTERE");
  EXPECT_EQ(ResolveCaseInsensitive(Root() + "/Gest/Stampe/lettere"), Root() + "/Gest/Stampe/Lettere");
  EXPECT_EQ(ResolveCaseInsensitive(Root() + "/Gest/lettere"), Root() + "/Gest/LETTERE");
}

}  // namespace
