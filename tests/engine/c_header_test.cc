// The engine's public header as C clients see it: c_client.c is compiled as C and calls the
// engine through the header's names alone.
#include "tests/engine/c_client.h"
#include "tests/engine/test_util.h"

namespace {

TEST(CHeaderTest, ACClientReachesEveryEntryPointAndWritesThroughTheHeadersNames) {
  EXPECT_EQ(c_client_entry_point_count(), 169);
  xbtest::TempDir dir;
  const std::string path = dir.File("NOTES.DBF");
  xbtest::CreateTable(path, {{"NAME", "C", 10, 0}, {"NOTE", "M", 10, 0}}, 0x02);
  xbtest::Open(path);
  xbtest::Append({{"NAME", "a"}});
  xb_CloseAll();

  EXPECT_EQ(c_client_visit(path.c_str(), "NOTE", "written from C"), 0x02) << xb_LastErrorText();
  xbtest::Open(path, XB_OPEN_READ_ONLY);
  EXPECT_STREQ(xb_GetMemo("NOTE"), "written from C");
  xb_FinalizeSession();
}

}  // namespace
