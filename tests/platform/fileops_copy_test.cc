// What a copy keeps of its source, which file a delete acts on, and the copies and renames
// of a network client without hard links, RENAME_NOREPLACE or unnamed files (played by
// no_links_shim.c, under which CMake runs these tests and the races again).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

#include "tests/platform/file_bytes.h"
#include "platform/fileops.h"

namespace velloria::fileops {
namespace {

using testing::Read;
using testing::Write;

class CopyKeeps : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { SetUnnamedFilesForTesting(GetParam()); }
  void TearDown() override { SetUnnamedFilesForTesting(true); }
  std::string PathOf(const char* name) const { return folder.filePath(name).toStdString(); }

  QTemporaryDir folder;
};

// A document all may write stays so in its copy, whatever the copier's umask, so that a
// colleague can still save the copy; narrower bits stay narrow.
TEST_P(CopyKeeps, ThePermissionBitsOfItsSourceWhateverTheUmask) {
  const mode_t previous = umask(022);
  Write(PathOf("Lettera.doc"), "lettera");
  for (mode_t mode : {0666, 0640, 0600}) {
    ASSERT_EQ(chmod(PathOf("Lettera.doc").c_str(), mode), 0);
    QFile::remove(folder.filePath("Copia di Lettera.doc"));
    ASSERT_EQ(CopyDocument(PathOf("Lettera.doc"), PathOf("Copia di Lettera.doc")), 0);
    struct stat copy;
    ASSERT_EQ(stat(PathOf("Copia di Lettera.doc").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mode & 0777, mode) << std::oct << mode;
  }
  umask(previous);
  EXPECT_EQ(Read(PathOf("Copia di Lettera.doc")), "lettera");
}

INSTANTIATE_TEST_SUITE_P(Roads, CopyKeeps, ::testing::Values(true, false), [](const auto& info) {
  return info.param ? "UnnamedFile" : "HiddenTemporary";
});

// Another desk renames the chosen document and gives its name to another file: the delete
// leaves that file alone, whether inode numbers tell the two apart or, on clients whose
// inode numbers do not last, size and modification time.
TEST(ChosenDocument, ADeleteLeavesAFileThatTookTheChosenName) {
  QTemporaryDir folder;
  const std::string chosenPath = folder.filePath("Copia di Promemoria.odt").toStdString();
  const std::string other = folder.filePath("Promemoria vecchio.odt").toStdString();
  const std::string renamed = folder.filePath("Promemoria Mario.odt").toStdString();
  Write(chosenPath, "promemoria");
  Write(other, "promemoria vecchio");
  FileIdentity chosen;
  ASSERT_EQ(IdentityOf(chosenPath, chosen), 0);
  EXPECT_TRUE(chosen.inodeLasts);
  FileIdentity bySizeAndTime = chosen;
  bySizeAndTime.inodeLasts = false;

  ASSERT_EQ(rename(chosenPath.c_str(), renamed.c_str()), 0);
  ASSERT_EQ(rename(other.c_str(), chosenPath.c_str()), 0);
  EXPECT_EQ(DeleteDocument(chosenPath, chosen), ESTALE);
  EXPECT_EQ(DeleteDocument(chosenPath, bySizeAndTime), ESTALE);
  EXPECT_EQ(Read(chosenPath), "promemoria vecchio");

  ASSERT_EQ(rename(chosenPath.c_str(), other.c_str()), 0);
  EXPECT_EQ(DeleteDocument(chosenPath, chosen), ENOENT);
  ASSERT_EQ(rename(renamed.c_str(), chosenPath.c_str()), 0);  // back under its name
  EXPECT_EQ(DeleteDocument(chosenPath, bySizeAndTime), 0);
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{"Promemoria vecchio.odt"});
}

// On a client without hard links, RENAME_NOREPLACE and unnamed files, a copy and a rename
// take a name only while it is free, through a reservation, and leave no temporary and no
// reservation behind. Runs only under the shim.
TEST(NetworkClientRoad, CopiesAndRenamesNeverReplaceAndLeaveNothingBehind) {
  QTemporaryDir folder;
  auto path = [&](const char* name) { return folder.filePath(name).toStdString(); };
  Write(path("Lettera.doc"), "lettera");
  Write(path("Altro.doc"), "altro");
  if (link(path("Lettera.doc").c_str(), path("Link.doc").c_str()) == 0 || errno != EPERM) {
    GTEST_SKIP() << "runs under the no-links shim";
  }
  EXPECT_EQ(CopyDocument(path("Lettera.doc"), path("Copia di Lettera.doc")), 0);
  EXPECT_EQ(Read(path("Copia di Lettera.doc")), "lettera");
  EXPECT_EQ(CopyDocument(path("Lettera.doc"), path("Altro.doc")), EEXIST);
  EXPECT_EQ(RenameNoReplace(path("Copia di Lettera.doc"), path("Bozza.doc")), 0);
  EXPECT_EQ(RenameNoReplace(path("Bozza.doc"), path("Altro.doc")), EEXIST);
  EXPECT_EQ(RenameNoReplace(path("Nessuno.doc"), path("Nuovo.doc")), ENOENT);
  ASSERT_TRUE(QDir(folder.path()).mkdir("Sotto"));
  ASSERT_TRUE(QDir(folder.path()).mkdir("Vuota"));
  EXPECT_EQ(RenameNoReplace(path("Sotto"), path("Archivio")), 0);
  EXPECT_EQ(RenameNoReplace(path("Archivio"), path("Vuota")), EEXIST);
  EXPECT_EQ(Read(path("Altro.doc")), "altro");
  EXPECT_EQ(Read(path("Bozza.doc")), "lettera");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{"Altro.doc", "Archivio", "Bozza.doc", "Lettera.doc", "Vuota"}));
}

}  // namespace
}  // namespace velloria::fileops
