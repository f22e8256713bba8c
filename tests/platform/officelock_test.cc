// The open-document guard on real files and real processes: office lock files (live and
// stale), flock and fcntl locks held by this process or another, read-only documents;
// each through delete and rename.
#include "platform/officelock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/fileops.h"
#include "platform/namespace.h"

namespace velloria::shell {
namespace {

enum class LockKind { kFlock, kOfd, kTraditional };

bool TakeLock(int fd, LockKind kind) {
  if (kind == LockKind::kFlock) return flock(fd, LOCK_SH | LOCK_NB) == 0;
  struct flock range;
  std::memset(&range, 0, sizeof range);
  range.l_type = F_RDLCK;
  range.l_whence = SEEK_SET;
  range.l_start = 10;  // one byte far from the start: any range counts
  range.l_len = 1;
  return fcntl(fd, kind == LockKind::kOfd ? F_OFD_SETLK : F_SETLK, &range) == 0;
}

// Another process holding a lock on a file until destroyed.
class LockHolder {
 public:
  LockHolder(const std::string& path, LockKind kind) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    m_pid = fork();
    if (m_pid == 0) {  // only async-signal-safe calls until _exit
      int fd = open(path.c_str(), O_RDONLY);
      char locked = fd >= 0 && TakeLock(fd, kind) ? 1 : 0;
      if (write(ready[1], &locked, 1) == 1) pause();
      _exit(0);
    }
    char locked = 0;
    EXPECT_EQ(read(ready[0], &locked, 1), 1);
    EXPECT_EQ(locked, 1);
    close(ready[0]);
    close(ready[1]);
  }
  ~LockHolder() {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }

 private:
  pid_t m_pid = -1;
};

class Guard : public ::testing::Test {
 protected:
  std::string folder() const { return m_dir.path().toStdString(); }
  std::string path(const std::string& name) const { return folder() + "/" + name; }
  void write(const std::string& name, const std::string& bytes = "x") const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  bool exists(const std::string& name) const { return access(path(name).c_str(), F_OK) == 0; }
  Status rename(const std::string& from, const std::string& to) const {
    IdList list = nullptr;
    EXPECT_EQ(DesktopFolder()->ParseDisplayName(folder(), &list), Status::kOk);
    auto bound = std::dynamic_pointer_cast<ShellFolder>(
        DesktopFolder()->BindToObject(list, Iid::kShellFolder));
    TaskFree(list);
    IdList item = MakeChildIdList(from), renamed = nullptr;
    Status status = bound->SetNameOf(item, to, kNameNormal, &renamed);
    TaskFree(item);
    TaskFree(renamed);
    return status;
  }
  // Delete and rename are both refused with `error`, and the document stays.
  void expectStays(const std::string& name, int error) const {
    EXPECT_EQ(fileops::DeleteDocument(path(name)), error);
    EXPECT_EQ(rename(name, "Altro.doc"),
              error == EACCES ? Status::kAccessDenied : Status::kOpenDocument);
    EXPECT_TRUE(exists(name));
  }
  static std::string lockLine(const std::string& host, const std::string& user) {
    return "Mario Rossi," + user + "," + host +
           ",07.12.2026 15:20,file:///home/u/.config/libreoffice/4;";
  }
  static std::string hostName() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
  }
  static std::string userName() { return getpwuid(geteuid())->pw_name; }

  QTemporaryDir m_dir;
};

TEST_F(Guard, LocksOfAnotherProcessKeepTheDocumentUntilReleased) {
  for (LockKind kind : {LockKind::kFlock, LockKind::kOfd, LockKind::kTraditional}) {
    write("Lettera.doc", std::string(100, 'x'));
    {
      LockHolder holder(path("Lettera.doc"), kind);
      EXPECT_TRUE(IsFileLocked(path("Lettera.doc")));
      expectStays("Lettera.doc", EBUSY);
    }
    EXPECT_FALSE(IsFileLocked(path("Lettera.doc")));
    EXPECT_EQ(fileops::DeleteDocument(path("Lettera.doc")), 0);
  }
}

// The program's own table is held by the engine with OFD and flock locks on another
// descriptor of this process; the probe sees them and leaves them in place.
TEST_F(Guard, LocksOfThisProcessKeepTheFileAndSurviveTheProbe) {
  write("STAMPE.DBF", std::string(100, 'x'));
  int fd = open(path("STAMPE.DBF").c_str(), O_RDWR);
  ASSERT_TRUE(TakeLock(fd, LockKind::kOfd));
  expectStays("STAMPE.DBF", EBUSY);
  ASSERT_TRUE(TakeLock(fd, LockKind::kFlock));
  expectStays("STAMPE.DBF", EBUSY);
  struct flock probe;
  std::memset(&probe, 0, sizeof probe);
  probe.l_type = F_WRLCK;
  int other = open(path("STAMPE.DBF").c_str(), O_RDONLY);
  ASSERT_EQ(fcntl(other, F_OFD_GETLK, &probe), 0);
  EXPECT_EQ(probe.l_type, F_RDLCK);  // still held after the probes
  close(other);
  close(fd);
  EXPECT_EQ(fileops::DeleteDocument(path("STAMPE.DBF")), 0);
}

TEST_F(Guard, ReadOnlyDocumentsStayFoldersDoNotCount) {
  write("Modulo.doc");
  chmod(path("Modulo.doc").c_str(), 0444);
  expectStays("Modulo.doc", EACCES);
  chmod(path("Modulo.doc").c_str(), 0644);
  EXPECT_EQ(DocumentHoldReason(folder(), "Modulo.doc"), 0);
  mkdir(path("Cartella").c_str(), 0555);
  EXPECT_EQ(DocumentHoldReason(folder(), "Cartella"), 0);
  EXPECT_EQ(DocumentHoldReason(folder(), "Manca.doc"), 0);
}

// A word processor that ended without removing its lock file leaves it stale: recorded
// here, by us, and nobody has the document open.
TEST_F(Guard, AnOfficeLockFileIsStaleOnlyWhenItsWriterIsGoneFromThisHost) {
  write("Verbale.doc");
  write(".~lock.Verbale.doc#", lockLine("altro-pc", userName()));
  expectStays("Verbale.doc", EBUSY);
  write(".~lock.Verbale.doc#", lockLine(hostName(), "altro-utente"));
  expectStays("Verbale.doc", EBUSY);
  write(".~lock.Verbale.doc#", lockLine(hostName(), userName()));
  {
    std::ifstream reader(path("Verbale.doc"));  // a writer still has the document open
    expectStays("Verbale.doc", EBUSY);
  }
  EXPECT_FALSE(IsDocumentOpen(folder(), "Verbale.doc"));
  EXPECT_FALSE(DocumentHolderOf(folder(), "Verbale.doc").has_value());  // a stale lock names nobody
  EXPECT_EQ(fileops::DeleteDocument(path("Verbale.doc")), 0);
}

// Who holds a document: the lock file's shown name (else its account) and host, or the
// user name at the head of a Word owner file.
TEST_F(Guard, TheHolderIsReadFromTheLiveLockFile) {
  auto holder = [this](const char* name) {
    std::optional<DocumentHolder> found = DocumentHolderOf(folder(), name);
    return found ? found->user + "@" + found->host : std::string("none");
  };
  write("Verbale.doc");
  EXPECT_EQ(holder("Verbale.doc"), "none");
  write(".~lock.Verbale.doc#", lockLine("segreteria-2", "mrossi"));
  EXPECT_EQ(holder("Verbale.doc"), "Mario Rossi@segreteria-2");
  write(".~lock.Verbale.doc#", ",mrossi,segreteria-2,07.12.2026 15:20,file:///x;");
  EXPECT_EQ(holder("Verbale.doc"), "mrossi@segreteria-2");
  std::remove(path(".~lock.Verbale.doc#").c_str());
  write("~$rbale.doc", std::string("\x05") + "Bruna" + std::string(100, ' '));
  EXPECT_EQ(holder("Verbale.doc"), "Bruna@");
  write("~$rbale.doc", std::string("\x40") + "Bruna");  // a length beyond the text
  EXPECT_EQ(holder("Verbale.doc"), "none");
  EXPECT_TRUE(IsDocumentOpen(folder(), "Verbale.doc"));
}

// A lock file that only another computer can have written (a ".~lock" naming another host,
// a Word owner file) is foreign while nothing here holds the document; one this computer
// wrote, or a document open or locked here, is not.
TEST_F(Guard, OnlyAnotherComputersLockFileOnADocumentNothingHereHoldsIsForeign) {
  write("Verbale.doc");
  EXPECT_FALSE(ForeignLockOf(folder(), "Verbale.doc").has_value());
  write(".~lock.Verbale.doc#", lockLine(hostName(), "altro-utente"));
  EXPECT_FALSE(ForeignLockOf(folder(), "Verbale.doc").has_value());
  write(".~lock.Verbale.doc#", lockLine("segreteria-2", "mrossi"));
  std::optional<ForeignLock> lock = ForeignLockOf(folder(), "Verbale.doc");
  ASSERT_TRUE(lock.has_value());
  EXPECT_EQ(lock->holder.user + "@" + lock->holder.host, "Mario Rossi@segreteria-2");
  ASSERT_EQ(lock->files.size(), 1u);
  EXPECT_EQ(lock->files[0].path, path(".~lock.Verbale.doc#"));
  {
    std::ifstream reader(path("Verbale.doc"));  // open here
    EXPECT_FALSE(ForeignLockOf(folder(), "Verbale.doc").has_value());
  }
  {
    LockHolder holder(path("Verbale.doc"), LockKind::kFlock);  // locked by another process here
    EXPECT_FALSE(ForeignLockOf(folder(), "Verbale.doc").has_value());
  }
  std::remove(path(".~lock.Verbale.doc#").c_str());
  write("~$rbale.doc", std::string("\x05") + "Bruna" + std::string(100, ' '));
  lock = ForeignLockOf(folder(), "Verbale.doc");
  ASSERT_TRUE(lock.has_value());
  EXPECT_EQ(lock->holder.user, "Bruna");

  // Set aside, the document is free; put back, it is held again; dropped, the lock is gone.
  ASSERT_EQ(SetLockFilesAside(*lock), 0);
  EXPECT_FALSE(IsDocumentOpen(folder(), "Verbale.doc"));
  RestoreLockFilesSetAside(*lock);
  EXPECT_TRUE(exists("~$rbale.doc"));
  ASSERT_EQ(SetLockFilesAside(*lock), 0);
  DropLockFilesSetAside(*lock);
  EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Verbale.doc"});
}

}  // namespace
}  // namespace velloria::shell
