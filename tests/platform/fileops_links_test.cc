// The duplicate of a document never lands outside its folder through a symbolic link that
// another account put where the copy goes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/platform/file_bytes.h"
#include "platform/fileops.h"

namespace velloria::fileops {
namespace {

using testing::Read;
using testing::Write;

TEST(CopyTargetLinks, ALinkWhereTheCopyGoesIsRefusedAndNothingElsewhereChanges) {
  QTemporaryDir folder, elsewhere;
  Write(folder.filePath("Lettera.doc"), "lettera");
  Write(elsewhere.filePath("precious"), "another account's file");
  for (const char* target : {"planted", "precious"}) {  // dangling, then to an existing file
    const QString copy = folder.filePath("Copia di Lettera.doc");
    QFile::remove(copy);
    ASSERT_EQ(symlink(elsewhere.filePath(target).toLocal8Bit(), copy.toLocal8Bit()), 0);
    EXPECT_EQ(CopyDocument(folder.filePath("Lettera.doc").toStdString(), copy.toStdString()),
              EEXIST);
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{"precious"}) << target;
    EXPECT_EQ(Read(elsewhere.filePath("precious")), "another account's file");
    EXPECT_TRUE(QFileInfo(copy).isSymLink()) << "the link was replaced rather than refused";
  }
}

}  // namespace
}  // namespace velloria::fileops
