// The query optimiser must agree with the expression evaluator: for each query, the records
// counted and visited through the plan equal those for which the evaluator says true.
#include <cstring>

#include "tests/engine/test_util.h"

namespace {

using xbtest::TempDir;

// Raw field texts covering the forms numbers and logicals take in real files, including
// ones a C library number parser reads differently (decimal comma, exponent, hexadecimal).
constexpr int kNumberWidth = 4;
const char* kNumbers[] = {"   1", "1   ", "  -1", "   0", "    ", " 1.0", "   2", " 1.5",
                          "-0  ", "  01", "1.15", "1,5 ", "1e1 ", "0x1 ", "+2  "};
const char* kLogicals[] = {"T", "t", "Y", "y", "F", "f", "N", "n", "?", " "};

class QueryPlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("PLAN.DBF");
    xbtest::CreateTable(path_,
                        {{"TIPO", "N", kNumberWidth, 0}, {"OK", "L", 1, 0}, {"NAME", "C", 5, 0}});
    xbtest::Open(path_);
    std::vector<char> image(static_cast<size_t>(xb_RecSize()));
    for (const char* number : kNumbers) {
      for (const char* logical : kLogicals) {
        xb_AppendBlank();
        xb_GetRecord(image.data());
        std::memcpy(&image[1], number, kNumberWidth);
        image[1 + kNumberWidth] = *logical;
        xb_PutRecord(image.data());
      }
    }
    xb_Commit();
  }
  void TearDown() override { xb_FinalizeSession(); }

  // Records for which the evaluator finds text true.
  static std::vector<int> ByEvaluator(const char* text) {
    std::vector<int> records;
    xb_Query("");
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      if (xb_EvalLogical(text)) records.push_back(xb_RecNo());
    }
    return records;
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(QueryPlanTest, PlannedQueriesAgreeWithTheEvaluator) {
  for (const char* text : {"TIPO=1 AND OK=TRUE", "tipo = 1 .and. ok = .T.", "OK=FALSE", "TIPO=0",
                           "TIPO=-1 AND OK=.F.", "TIPO==1.5", "OK=.Y. AND TIPO=2 AND OK=TRUE",
                           "TIPO=1 OR OK", "NAME=\"\" AND TIPO=1", "TIPO=1 AND NOT OK", "TIPO=1.15",
                           "1=TIPO AND (OK<>.F.)", "TIPO>=1 .AND. TIPO<2", "TIPO#0 AND !OK",
                           "OK=.T. AND OK<>.N."}) {
    std::vector<int> expected = ByEvaluator(text);
    xb_Query(text);
    EXPECT_EQ(xb_QueryRecCount(), int(expected.size())) << text;
    EXPECT_EQ(xbtest::Walk(), expected) << text;
    xb_SetDeleted(1);
    EXPECT_EQ(xb_QueryRecCount(), int(expected.size())) << text;
    xb_SetDeleted(0);
  }
}

TEST_F(QueryPlanTest, AFieldNamedLikeAKeywordKeepsTheEvaluator) {
  std::string other = dir_.File("KEYWORD.DBF");
  xbtest::CreateTable(other, {{"TIPO", "N", 1, 0}, {"TRUE", "L", 1, 0}});
  xbtest::Open(other, XB_OPEN_EXCLUSIVE, "KEYWORD");
  xbtest::Append({{"TIPO", "1"}, {"TRUE", "F"}});
  xbtest::Append({{"TIPO", "1"}, {"TRUE", "T"}});
  // TRUE names the field here, so the query compares TIPO with the field's value.
  std::vector<int> expected = ByEvaluator("TIPO=1 AND TRUE");
  xb_Query("TIPO=1 AND TRUE");
  EXPECT_EQ(xbtest::Walk(), expected);
}

}  // namespace
