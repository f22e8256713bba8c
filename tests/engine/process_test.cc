// Two-process tests: exclusive opens and record locks seen across processes, locks kept when
// another work area of the process closes, and tables left sound when a writer is killed
// with SIGKILL in the middle of appends or rewrites. Children are forked before any table
// is open, so they share no descriptors with the parent.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <set>
#include <thread>

#include "tests/engine/test_util.h"

namespace {

using xbtest::CreateTable;
using xbtest::Open;
using xbtest::TempDir;

// A child process running `body`, with a pipe each way to step through a scenario.
class Child {
 public:
  explicit Child(const std::function<int(Child&)>& body) {
    if (pipe(to_child_) != 0 || pipe(to_parent_) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child_[1]);
      close(to_parent_[0]);
      _exit(body(*this));
    }
    close(to_child_[0]);
    close(to_parent_[1]);
  }
  ~Child() {
    if (pid_ > 0) Kill();
  }
  // Child side.
  void Tell(char c) { (void)!write(to_parent_[1], &c, 1); }
  char Hear() {
    char c = 0;
    return read(to_child_[0], &c, 1) == 1 ? c : 0;
  }
  // Parent side.
  void Send(char c) { (void)!write(to_child_[1], &c, 1); }
  char Receive() {
    char c = 0;
    return read(to_parent_[0], &c, 1) == 1 ? c : 0;
  }
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Kill() {
    kill(pid_, SIGKILL);
    Wait();
  }

 private:
  pid_t pid_ = -1;
  int to_child_[2];
  int to_parent_[2];
};

class ProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("STAMPE.DBF");
    CreateTable(path_, {{"A", "C", 30, 0}, {"B", "N", 10, 0}, {"C", "C", 30, 0}});
    Open(path_);
    for (int r = 1; r <= 5; ++r) WriteGeneration(0, r, true);
    xb_CloseAll();
    xb_SetLockTimeout(0);
  }
  void TearDown() override { xb_FinalizeSession(); }

  // Fills the current (or a new) record with fields that all carry generation g.
  static void WriteGeneration(int g, int r, bool append) {
    if (append) xb_AppendBlank();
    std::string tag = "g" + std::to_string(g) + ":r" + std::to_string(r);
    std::vector<char> image(static_cast<size_t>(xb_RecSize()), ' ');
    std::string b = std::to_string(g);
    std::memcpy(&image[1], tag.data(), tag.size());
    std::memcpy(&image[31 + 10 - b.size()], b.data(), b.size());
    std::memcpy(&image[41], tag.data(), tag.size());
    xb_PutRecord(image.data());
    xb_Commit();
  }

  // Every record carries one generation in all its fields and its own record number; the
  // last records of earlier interrupted appends (blank_allowed) may be blank.
  static void ExpectWholeRecords(std::set<int>* blank_allowed = nullptr) {
    if (blank_allowed != nullptr) blank_allowed->insert(xb_RecCount());
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      std::string a = xb_GetTrimString("A");
      if (blank_allowed != nullptr && blank_allowed->count(xb_RecNo()) && a.empty()) {
        EXPECT_STREQ(xb_GetTrimString("B"), "");
        EXPECT_STREQ(xb_GetTrimString("C"), "");
        continue;
      }
      std::string expected_tail = ":r" + std::to_string(xb_RecNo());
      ASSERT_EQ(a, xb_GetTrimString("C")) << "record " << xb_RecNo();
      ASSERT_EQ(a, "g" + std::to_string(xb_GetLong("B")) + expected_tail)
          << "record " << xb_RecNo();
    }
  }

  // The start-up sweep's pattern: the whole file locked, then every record read, rewritten
  // one generation up and its record lock let go, then the file lock released. A sweep that
  // read a record as it stood before another's write would leave it a generation short.
  static bool SweepOneGenerationUp() {
    if (xb_Flock() != 1) return false;
    for (int r = 1; r <= xb_RecCount(); ++r) {
      if (xb_Rlock(r) != 1) return false;
      xb_Go(r);
      int g = xb_GetLong("B");
      if (xb_GetTrimString("A")[0] != '\0') WriteGeneration(g + 1, r, false);
      xb_Unlock(r);
    }
    return xb_Unlock(0) == 1;
  }

  void ExpectCheckAccepts() {
    std::string out;
    EXPECT_EQ(xbtest::Run(std::string(XBTOOL_PATH) + " check " + path_, &out), 0) << out;
  }

  TempDir dir_;
  std::string path_;
};

TEST_F(ProcessTest, ExclusiveOpenKeepsTheOtherProcessOut) {
  Child child([&](Child& c) {
    int area = xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, 1);
    c.Tell(area > 0 ? 'y' : 'n');
    c.Hear();
    xb_CloseAll();
    c.Tell('c');
    c.Hear();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'y');
  EXPECT_EQ(xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_LOCKED);
  EXPECT_EQ(xb_UseEx(path_.c_str(), "", XB_OPEN_READ_ONLY, 1, 1), 0);
  child.Send('x');
  ASSERT_EQ(child.Receive(), 'c');
  Child second([&](Child& c) {
    c.Hear();
    int area2 = xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, 1);
    c.Tell(area2 > 0 ? 'y' : (xb_LastErrorCode() == XB_ERR_LOCKED ? 'l' : 'n'));
    return 0;
  });
  EXPECT_GT(Open(path_, XB_OPEN_SHARED), 0);
  second.Send('g');
  EXPECT_EQ(second.Receive(), 'l');  // our shared open keeps the exclusive opener out
  second.Wait();
  child.Send('x');
  child.Wait();
}

TEST_F(ProcessTest, ExclusiveOpenRefusesASecondWorkAreaOfTheProcess) {
  Open(path_, XB_OPEN_SHARED, "ONE");
  EXPECT_EQ(xb_UseEx(path_.c_str(), "TWO", XB_OPEN_EXCLUSIVE, 1, 1), 0);
  xb_CloseAll();
  Open(path_, XB_OPEN_EXCLUSIVE, "ONE");
  EXPECT_EQ(xb_UseEx(path_.c_str(), "TWO", XB_OPEN_SHARED, 1, 1), 0);
}

TEST_F(ProcessTest, ALockedRecordRefusesTheOtherProcess) {
  Child child([&](Child& c) {
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Tell(xb_Rlock(2) ? 'y' : 'n');
    c.Hear();
    xb_Unlock(0);
    c.Tell('u');
    c.Hear();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'y');
  Open(path_, XB_OPEN_SHARED);
  EXPECT_EQ(xb_Rlock(2), 0);
  EXPECT_EQ(xb_LastErrorCode(), XB_ERR_LOCKED);
  EXPECT_EQ(xb_Rlock(3), 1);
  EXPECT_EQ(xb_Flock(), 0);
  child.Send('x');
  ASSERT_EQ(child.Receive(), 'u');
  EXPECT_EQ(xb_Rlock(2), 1);
  EXPECT_EQ(xb_LockCount(), 2);
  child.Send('x');
  child.Wait();
}

TEST_F(ProcessTest, LockTimeoutWaitsForTheOtherProcessToLetGo) {
  Child child([&](Child& c) {
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Tell(xb_Rlock(1) ? 'y' : 'n');
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xb_Unlock(0);
    c.Hear();
    return 0;
  });
  ASSERT_EQ(child.Receive(), 'y');
  Open(path_, XB_OPEN_SHARED);
  xb_SetLockTimeout(0);
  EXPECT_EQ(xb_Rlock(1), 0);  // no waiting
  xb_SetLockTimeout(5);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(xb_Rlock(1), 1);  // granted once the child lets go
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  child.Send('x');
  child.Wait();
}

TEST_F(ProcessTest, TwoSweepsAtOnceTakeTurnsAndLoseNoUpdate) {
  auto sweeper = [&](Child& c) {
    xb_SetLockTimeout(5);
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Hear();
    for (int i = 0; i < 20; ++i) {
      if (!SweepOneGenerationUp()) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the other's turn
    }
    return 0;
  };
  Child first(sweeper), second(sweeper);
  first.Send('g');
  second.Send('g');
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);
  Open(path_, XB_OPEN_SHARED);
  ExpectWholeRecords();
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) EXPECT_EQ(xb_GetLong("B"), 40) << xb_RecNo();
  ExpectCheckAccepts();
}

TEST_F(ProcessTest, ASweepBesideAWriterAddingRecordsKeepsBothWholly) {
  Child writer([&](Child& c) {
    xb_SetLockTimeout(5);
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Hear();
    for (int i = 0; i < 100; ++i) WriteGeneration(100, xb_RecCount() + 1, true), xb_Unlock(0);
    return 0;
  });
  xb_SetLockTimeout(5);
  Open(path_, XB_OPEN_SHARED);
  writer.Send('g');
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(SweepOneGenerationUp()) << xb_LastErrorText();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_EQ(xb_RecCount(), 105);
  ExpectWholeRecords();
  for (int r = 1; r <= 5; ++r) {
    xb_Go(r);
    EXPECT_EQ(xb_GetLong("B"), 10) << r;
  }
  ExpectCheckAccepts();
}

TEST_F(ProcessTest, ClosingOneWorkAreaKeepsTheLocksOfAnother) {
  int one = Open(path_, XB_OPEN_SHARED, "ONE");
  ASSERT_EQ(xb_Rlock(4), 1);
  int two = Open(path_, XB_OPEN_SHARED, "TWO");
  EXPECT_EQ(xb_Rlock(4), 0);   // held by area ONE
  EXPECT_EQ(xb_Unlock(0), 1);  // releases nothing of ONE's
  xb_Close();
  (void)two;
  Child child([&](Child& c) {
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Tell(xb_Rlock(4) ? 'y' : 'n');
    return 0;
  });
  EXPECT_EQ(child.Receive(), 'n');
  child.Wait();
  xb_Select(int16_t(one));
  EXPECT_EQ(xb_Locked(4), 1);
}

TEST_F(ProcessTest, SharedAppendsOfTwoProcessesAllArrive) {
  Child child([&](Child& c) {
    xb_SetLockTimeout(5);
    xb_UseEx(path_.c_str(), "", XB_OPEN_SHARED, 1, 1);
    c.Hear();
    for (int i = 0; i < 200; ++i) WriteGeneration(1, xb_RecCount() + 1, true), xb_Unlock(0);
    return 0;
  });
  xb_SetLockTimeout(5);
  Open(path_, XB_OPEN_SHARED);
  child.Send('g');
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(xb_AppendBlank(), 1) << xb_LastErrorText();
    xb_Unlock(0);
  }
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_EQ(xb_RecCount(), 405);
  ExpectCheckAccepts();
}

TEST_F(ProcessTest, KilledAppenderLeavesASoundTable) {
  std::set<int> blank_allowed;
  for (int round = 0; round < 3; ++round) {
    Child child([&](Child& c) {
      xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
      for (int i = 0;; ++i) {
        WriteGeneration(round + 1, xb_RecCount() + 1, true);
        if (i == 100) c.Tell('r');
      }
      return 0;
    });
    ASSERT_EQ(child.Receive(), 'r');
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + 30 * round));
    child.Kill();
    ExpectCheckAccepts();
    Open(path_, XB_OPEN_EXCLUSIVE);
    EXPECT_GT(xb_RecCount(), 100);
    ExpectWholeRecords(&blank_allowed);
    xb_CloseAll();
  }
}

TEST_F(ProcessTest, KilledRewriterLeavesEachRecordWhollyOldOrNew) {
  Open(path_);
  for (int r = 6; r <= 3000; ++r) WriteGeneration(0, r, true);
  xb_CloseAll();
  for (int round = 0; round < 3; ++round) {
    Child child([&](Child& c) {
      xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL);
      for (int g = 1;; ++g) {
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) WriteGeneration(g, xb_RecNo(), false);
        if (g == 1) c.Tell('r');
      }
      return 0;
    });
    ASSERT_EQ(child.Receive(), 'r');
    std::this_thread::sleep_for(std::chrono::milliseconds(10 + 25 * round));
    child.Kill();
    ExpectCheckAccepts();
    Open(path_, XB_OPEN_EXCLUSIVE);
    EXPECT_EQ(xb_RecCount(), 3000);
    ExpectWholeRecords();
    xb_CloseAll();
  }
}

}  // namespace
