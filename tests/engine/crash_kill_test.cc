// Real crashes: a child process appends records with memos under an index, rewrites keys and
// packs, and is killed with SIGKILL after a random delay, many times over one table. After
// each kill the table opens sound, every record agrees with its memo and the index checks.
// VELLORIA_KILL_ROUNDS sets the number of kills (default 120, a few seconds).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "tests/engine/test_util.h"

namespace {

using xbtest::TempDir;

int Rounds() {
  const char* text = std::getenv("VELLORIA_KILL_ROUNDS");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 120;
}

std::string MemoFor(const std::string& name) { return "memo of " + name + std::string(90, '.'); }

// The child's endless edit: appends, and every so often rewrites a key or deletes and packs.
[[noreturn]] void EditForever(const std::string& path, const std::string& index, int ready_fd,
                              uint32_t seed) {
  if (xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL) <= 0 ||
      xb_IndexOpen(index.c_str()) <= 0)
    _exit(2);
  (void)!write(ready_fd, "r", 1);
  std::mt19937 random(seed);
  for (int i = 0;; ++i) {
    std::string name = "k" + std::to_string(random() % 100000);
    if (i % 10 == 9 && xb_RecCount() > 0) {
      xb_Go(int32_t(random() % uint32_t(xb_RecCount())) + 1);
      name = "r" + name;
    } else {
      xb_AppendBlank();
    }
    xb_Replace("NAME", XB_REPLACE_TEXT, name.c_str());
    xb_Replace("NOTE", XB_REPLACE_MEMO, MemoFor(name).c_str());
    xb_Commit();
    if (i % 40 == 39 && xb_RecCount() > 1) {
      xb_Go(int32_t(random() % uint32_t(xb_RecCount())) + 1);
      xb_Delete();
      xb_Pack();
    }
  }
}

class CrashKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("K.DBF");
    index_ = dir_.File("K.NTX");
    xbtest::CreateTable(path_, {{"NAME", "C", 12, 0}, {"NOTE", "M", 10, 0}});
    xbtest::Open(path_);
    ASSERT_GT(xb_Index(index_.c_str(), "NAME", 0, 0, ""), 0) << xb_LastErrorText();
    xb_CloseAll();
  }
  void TearDown() override { xb_FinalizeSession(); }

  // Starts the editing child, waits until it has the table, lets it run `delay` and kills it.
  void RunAndKill(std::chrono::microseconds delay, uint32_t seed) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      EditForever(path_, index_, ready[1], seed);
    }
    close(ready[1]);
    char c = 0;
    bool started = read(ready[0], &c, 1) == 1;
    close(ready[0]);
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(started) << "the child could not open the table";
  }

  // The table checks sound, each record's memo belongs to its key, and the index agrees.
  void ExpectSound(const std::string& where) {
    ASSERT_GT(xb_UseEx(path_.c_str(), "", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NORMAL), 0)
        << where << ": " << xb_LastErrorText();
    EXPECT_STREQ(xb_TableDamage(), "") << where;
    for (int r = 1; r <= xb_RecCount(); ++r) {
      xb_Go(r);
      std::string name = xb_GetTrimString("NAME");
      std::string memo = xb_GetMemo("NOTE");
      EXPECT_TRUE(name.empty() ? memo.empty() : memo == MemoFor(name))
          << where << ", record " << r << ": " << name << " / " << memo.substr(0, 20);
    }
    EXPECT_GT(xb_IndexOpen(index_.c_str()), 0) << where << ": " << xb_LastErrorText();
    EXPECT_EQ(xb_IndexCheck(1), 1) << where << ": " << xb_LastErrorText();
    xb_CloseAll();
  }

  TempDir dir_;
  std::string path_, index_;
};

TEST_F(CrashKillTest, KilledWriterLeavesTableMemoAndIndexSound) {
  std::mt19937 random(20261207);
  int rounds = Rounds();
  for (int round = 0; round < rounds && !HasFailure(); ++round) {
    RunAndKill(std::chrono::microseconds(random() % 8000), random());
    ExpectSound("kill " + std::to_string(round + 1));
  }
  std::string out;
  EXPECT_EQ(xbtest::Run(std::string(XBTOOL_PATH) + " check " + path_, &out), 0) << out;
}

}  // namespace
