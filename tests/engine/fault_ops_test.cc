// I/O fault loops over every writing operation: the Nth system call fails (once, from then on,
// and as a torn write), N = 1, 2, ... until the operation goes through. After every failure
// the table reopens sound, its index checks without a reindex, and it holds either the old or
// the new contents.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/os_fault.h"
#include "tests/engine/test_util.h"

namespace {

using xbtest::CreateTable;
using xbtest::ReadFile;
using xbtest::WriteFile;

// One record as the reader sees it: deletion mark, every field's text and the memo.
using Record = std::string;
using Contents = std::vector<Record>;

Record CurrentRecord() {
  Record r = xb_Deleted() ? "*" : " ";
  for (int i = 1; i <= xb_FieldCount(); ++i) {
    std::string name = xb_FieldName(i);
    r += "|" + std::string(name == "NOTE" ? xb_GetMemo("NOTE") : xb_GetString(name.c_str()));
  }
  return r;
}

// Reads every record in natural order of the current area, deleted ones included.
Contents ReadContents() {
  Contents all;
  for (int n = 1; n <= xb_RecCount(); ++n) {
    xb_Go(n);
    all.push_back(CurrentRecord());
  }
  return all;
}

// A writing operation as the calls a client makes, the table already open with its index.
// A client stops at the first call that fails and closes the table, which writes what the
// calls before it left pending; so each prefix of the steps is a state the table may be in.
struct Operation {
  const char* name;
  std::vector<std::function<int()>> steps;
};

std::string ImageWithName(const char* name) {
  std::string image(size_t(xb_RecSize()), ' ');
  xb_GetRecord(image.data());
  std::string padded = std::string(name) + std::string(10, ' ');
  image.replace(1, 10, padded.substr(0, 10));
  return image;
}

std::vector<Operation> Operations() {
  auto replace = [](const char* field, std::string text) {
    return [=] { return xb_Replace(field, XB_REPLACE_TEXT, text.c_str()); };
  };
  auto go = [](int record) { return [=] { return xb_Go(record); }; };
  return {
      {"open", {}},
      {"append", {xb_AppendBlank, replace("NAME", "sei"), replace("QTY", "6"), xb_Commit}},
      {"put record",
       {go(2), [] { return xb_PutRecord(ImageWithName("aaa-due").data()); }, xb_Commit}},
      {"replace and commit",
       {go(3), replace("NAME", "zzz-tre"), replace("QTY", "33"), xb_Commit}},
      {"replace memo",
       {go(1), [] { return xb_Replace("NOTE", XB_REPLACE_MEMO, std::string(700, 'm').c_str()); },
        xb_Commit}},
      {"delete", {go(4), xb_Delete, xb_Commit}},
      {"pack", {xb_Pack}},
      {"zap", {xb_Zap}},
      {"close with a pending edit", {go(5), replace("NAME", "cinque!")}},
  };
}

using xbtest::ScratchDir;

enum class Fault { kOnce, kFromThenOn, kTornWrite };

class FaultOpsTest : public ::testing::TestWithParam<Fault> {
 protected:
  void SetUp() override {
    path_ = dir_.File("T.DBF");
    index_ = dir_.File("T.NTX");
    CreateTable(path_, {{"NAME", "C", 10, 0}, {"QTY", "N", 5, 0}, {"NOTE", "M", 10, 0}});
    xbtest::Open(path_);
    const char* names[] = {"uno", "due", "tre", "quattro", "cinque"};
    for (int r = 0; r < 5; ++r) {
      xbtest::Append({{"NAME", names[r]}, {"QTY", std::to_string(r + 1)}});
      xb_Replace("NOTE", XB_REPLACE_MEMO, ("nota " + std::string(names[r])).c_str());
      if (r == 1) xb_Delete();
      xb_Commit();
    }
    ASSERT_GT(xb_Index(index_.c_str(), "NAME", 0, 0, ""), 0) << xb_LastErrorText();
    xb_CloseAll();
    for (const char* ext : {".DBF", ".DBT", ".NTX"}) master_.push_back(ReadFile(Base() + ext));
  }
  void TearDown() override {
    xb::SetOsForTesting(nullptr);
    xb_FinalizeSession();
  }

  std::string Base() const { return dir_.File("T"); }
  void RestoreMaster() {
    const char* exts[] = {".DBF", ".DBT", ".NTX"};
    for (int i = 0; i < 3; ++i) WriteFile(Base() + exts[i], master_[size_t(i)]);
  }

  // Opens the table with its index and runs the steps until one fails; closes. Returns how
  // many steps succeeded (-1 when the open failed) and whether the close reported an error.
  int Run(const Operation& op, size_t step_limit, bool* close_failed) {
    int done = -1;
    if (xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_FULL) > 0 &&
        xb_IndexOpen(index_.c_str()) > 0) {
      for (done = 0; size_t(done) < std::min(step_limit, op.steps.size()); ++done) {
        if (op.steps[size_t(done)]() <= 0) break;
      }
    }
    xb_CloseAll();
    *close_failed = xb_LastErrorCode() != XB_OK;
    return done;
  }

  // The contents after each prefix of the steps, run without faults.
  std::vector<Contents> PrefixStates(const Operation& op) {
    std::vector<Contents> states;
    for (size_t k = 0; k <= op.steps.size(); ++k) {
      RestoreMaster();
      bool close_failed = false;
      EXPECT_EQ(Run(op, k, &close_failed), int(k)) << op.name << ": " << xb_LastErrorText();
      states.push_back(ReopenAndCheck(op.name));
    }
    return states;
  }

  // Reopens the table without faults and returns its contents; fails the test when the table
  // or its index does not check sound. An index an interrupted update left behind the table
  // carries its pending mark and is rebuilt by this exclusive open, with no reindex asked.
  Contents ReopenAndCheck(const std::string& where) {
    EXPECT_GT(xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL), 0)
        << where << ": " << xb_LastErrorText();
    EXPECT_STREQ(xb_TableDamage(), "") << where;
    Contents contents = ReadContents();
    EXPECT_EQ(xb_LastErrorCode(), XB_OK) << where << ": " << xb_LastErrorText();
    EXPECT_GT(xb_IndexOpen(index_.c_str()), 0) << where << ": " << xb_LastErrorText();
    EXPECT_EQ(xb_IndexCheck(1), 1) << where << ": " << xb_LastErrorText();
    xb_CloseAll();
    return contents;
  }

  ScratchDir dir_;
  std::string path_, index_;
  std::vector<std::string> master_;
};

// For every N until the operation goes through: the Nth call fails, the client sees an error
// (from a step or from the close), and the table reopens sound in one of the prefix states;
// an operation that reported success holds all of its steps.
TEST_P(FaultOpsTest, EveryOperationFailsCleanlyAtEveryCall) {
  int failures = 0;
  for (const Operation& op : Operations()) {
    std::vector<Contents> states = PrefixStates(op);
    bool went_through = false;
    for (int n = 1; n < 400 && !went_through; ++n) {
      RestoreMaster();
      xb::FaultyOs faulty(xb::PosixOs());
      xb::SetOsForTesting(&faulty);
      faulty.FailCall(n, GetParam() != Fault::kOnce, GetParam() == Fault::kTornWrite);
      bool close_failed = false;
      int done = Run(op, op.steps.size(), &close_failed);
      xb::SetOsForTesting(nullptr);
      went_through = faulty.failures() == 0;
      failures += went_through ? 0 : 1;
      bool reported = done < int(op.steps.size()) || close_failed;

      std::string where = std::string(op.name) + ", call " + std::to_string(n);
      Contents now = ReopenAndCheck(where);
      if (went_through || !reported) {
        EXPECT_EQ(now, states.back()) << where << (went_through ? "" : ": failure not reported");
      } else {
        EXPECT_NE(std::find(states.begin(), states.end(), now), states.end())
            << where << ": a state no prefix of the steps leaves: " << ::testing::PrintToString(now);
      }
    }
    EXPECT_TRUE(went_through) << op.name << " never went through";
  }
  std::printf("%d injected failures, each followed by a sound table and index\n", failures);
}

std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
  switch (info.param) {
    case Fault::kOnce: return "Once";
    case Fault::kFromThenOn: return "FromThenOn";
    case Fault::kTornWrite: return "TornWrite";
  }
  return "";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultOpsTest,
                         ::testing::Values(Fault::kOnce, Fault::kFromThenOn, Fault::kTornWrite),
                         FaultName);

}  // namespace
