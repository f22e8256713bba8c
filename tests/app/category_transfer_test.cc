// "Copia in…" and "Sposta in…" on real category folders and a real document list: the
// names the document takes in the other folder, the refusals of an open document, and
// Annulla, within one file system and across two (the temporary folder's disk and the
// tmpfs at /dev/shm).
#include "app/category_transfer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include "app/document_commands.h"
#include "tests/app/office_fixture.h"

namespace velloria {
namespace {

using testing::NextBoxAnswer;
using testing::TempOffice;

class Transfer : public ::testing::Test {
 protected:
  void SetUp() override {
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());  // a Trash of the test's own
    ASSERT_TRUE(QDir(office.path()).mkdir("CONTAB"));
    ASSERT_TRUE(QDir(office.path()).mkdir("LETT"));
    for (const char* name : {"Fattura.doc", "Lettera.doc", "Modulo.doc"})
      TempOffice::writeFile(contab(name), name);
    TempOffice::writeFile(lett("Saluti.doc"), "Saluti.doc");
    list.SetRoot(office.filePath("CONTAB"));
  }
  void TearDown() override { qputenv("XDG_DATA_HOME", oldDataHome); }

  QString contab(const QString& name) const { return office.filePath("CONTAB/" + name); }
  QString lett(const QString& name) const { return office.filePath("LETT/" + name); }
  std::string folder(const char* name) const { return office.filePath(name).toStdString(); }
  QStringList rowNames() const {
    QStringList names;
    for (int row = 0; row < list.ItemCount(); ++row) names << list.FolderAt(row)->ItemName();
    return names;
  }
  QString selectedName() const {
    return QString::fromStdString(SelectedDocumentFile(list)).section('/', -1);
  }
  void transfer(const QString& document, const std::string& into, TransferKind kind) {
    TransferDocumentCommand(list, document.toStdString(), into, kind);
  }
  static QStringList entries(const QString& path) {
    return QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
  }

  QByteArray oldDataHome = qgetenv("XDG_DATA_HOME");
  QTemporaryDir data, office;
  TShellListView list{nullptr, QString()};
};

// Own name when the folder has none like it in any letter case, else the names of Duplica;
// a folder, a missing folder and a name too long are refused, saying why.
TEST_F(Transfer, TheDocumentTakesItsOwnNameWhenFreeElseTheNamesOfDuplica) {
  ASSERT_TRUE(QDir(office.path()).mkpath("CONTAB/Archivio"));
  std::string placed;
  for (const char* expected : {"Lettera.doc", "Copia di Lettera.doc", "Copia (2) di Lettera.doc"}) {
    ASSERT_EQ(TransferDocument(contab("Lettera.doc").toStdString(), folder("LETT"),
                               TransferKind::kCopy, placed),
              0);
    EXPECT_EQ(placed, lett(expected).toStdString());
    EXPECT_EQ(TempOffice::readFile(lett(expected)), "Lettera.doc");
  }
  TempOffice::writeFile(lett("MODULO.DOC"), "a Windows desk's form");
  ASSERT_EQ(TransferDocument(contab("Modulo.doc").toStdString(), folder("LETT") + "/",
                             TransferKind::kMove, placed),
            0);
  EXPECT_EQ(placed, lett("Copia di Modulo.doc").toStdString());
  EXPECT_EQ(TempOffice::readFile(lett("Copia di Modulo.doc")), "Modulo.doc");
  EXPECT_EQ(TempOffice::readFile(lett("MODULO.DOC")), "a Windows desk's form");
  EXPECT_EQ(entries(office.filePath("CONTAB")), (QStringList{"Fattura.doc", "Lettera.doc"}));

  ASSERT_EQ(TransferDocument(contab("Fattura.doc").toStdString(), folder("CONTAB"),
                             TransferKind::kMove, placed),
            0);
  EXPECT_EQ(placed, contab("Fattura.doc").toStdString()) << "a move into its own folder leaves it";

  auto refusal = [&](const QString& document, const std::string& into, TransferKind kind) {
    int error = TransferDocument(document.toStdString(), into, kind, placed);
    return TransferFailedMessage(document.toStdString(), into, kind, error);
  };
  const QString longName = QString(250, QLatin1Char('x')) + ".doc";
  TempOffice::writeFile(contab(longName), "long");
  TempOffice::writeFile(lett(longName), "taken");
  EXPECT_EQ(refusal(contab(longName), folder("LETT"), TransferKind::kMove),
            "Impossibile spostare il documento \"" + longName + "\" in \"" +
                office.filePath("LETT") + "\": il nome \"Copia di " + longName +
                "\" è troppo lungo (più di 255 byte).");
  EXPECT_EQ(refusal(contab("Archivio"), folder("LETT"), TransferKind::kCopy),
            "Impossibile copiare il documento \"Archivio\" in \"" + office.filePath("LETT") +
                "\": è una cartella, non un documento.");
  EXPECT_EQ(refusal(contab("Lettera.doc"), folder("GONE"), TransferKind::kMove),
            "Impossibile spostare il documento \"Lettera.doc\" in \"" + office.filePath("GONE") +
                "\": la cartella non esiste più.");
  EXPECT_EQ(entries(office.filePath("CONTAB")),
            (QStringList{"Fattura.doc", "Lettera.doc", longName}));
  EXPECT_EQ(TempOffice::readFile(lett(longName)), "taken");
}

// The commands reload the list: a moved document leaves it, a copy into the shown folder
// is selected. Annulla takes them back newest first, naming each: the copy goes to the
// Trash, the moved document comes back and is selected.
TEST_F(Transfer, CommandsReloadTheListAndAnnullaTakesThemBack) {
  transfer(contab("Lettera.doc"), folder("LETT"), TransferKind::kMove);
  EXPECT_EQ(rowNames(), (QStringList{"Fattura.doc", "Modulo.doc"}));
  EXPECT_EQ(TempOffice::readFile(lett("Lettera.doc")), "Lettera.doc");
  EXPECT_EQ(UndoCaption(list), "A&nnulla spostamento di \"Lettera.doc\"");
  transfer(contab("Modulo.doc"), folder("CONTAB"), TransferKind::kMove);
  EXPECT_EQ(rowNames(), (QStringList{"Fattura.doc", "Modulo.doc"}));
  EXPECT_EQ(UndoCaption(list), "A&nnulla spostamento di \"Lettera.doc\"") << "nothing was done";

  transfer(contab("Modulo.doc"), folder("CONTAB"), TransferKind::kCopy);
  EXPECT_EQ(rowNames(), (QStringList{"Copia di Modulo.doc", "Fattura.doc", "Modulo.doc"}));
  EXPECT_EQ(selectedName(), "Copia di Modulo.doc");
  EXPECT_EQ(UndoCaption(list), "A&nnulla copia di \"Copia di Modulo.doc\"");

  UndoLastDocumentCommand(list);
  EXPECT_EQ(rowNames(), (QStringList{"Fattura.doc", "Modulo.doc"}));
  EXPECT_EQ(TempOffice::readFile(data.filePath("Trash/files/Copia di Modulo.doc")), "Modulo.doc");
  UndoLastDocumentCommand(list);
  EXPECT_EQ(rowNames(), (QStringList{"Fattura.doc", "Lettera.doc", "Modulo.doc"}));
  EXPECT_EQ(selectedName(), "Lettera.doc");
  EXPECT_EQ(entries(office.filePath("LETT")), QStringList{"Saluti.doc"});
  EXPECT_EQ(UndoCaption(list), "A&nnulla");
}

// Across file systems a move is a copy, then the source's removal; its undo is the same
// the other way. An undo whose old name another document has taken meanwhile changes
// nothing and says why.
TEST_F(Transfer, AMoveAcrossFileSystemsIsUndoneUnlessItsOldNameWasTaken) {
  QTemporaryDir across("/dev/shm/velloria-transfer-XXXXXX");
  struct stat shm {
  }, tmp{};
  if (!across.isValid() || stat(across.path().toLocal8Bit().constData(), &shm) != 0 ||
      stat(office.path().toLocal8Bit().constData(), &tmp) != 0 || shm.st_dev == tmp.st_dev) {
    GTEST_SKIP() << "/dev/shm is missing or on the temporary folder's file system: no second "
                    "file system to move across to";
  }
  const QDateTime written = QFileInfo(contab("Lettera.doc")).lastModified();
  {
    NextBoxAnswer unexpected(mrOk);
    transfer(contab("Lettera.doc"), across.path().toStdString(), TransferKind::kMove);
    EXPECT_EQ(entries(across.path()), QStringList{"Lettera.doc"});
    EXPECT_EQ(rowNames(), (QStringList{"Fattura.doc", "Modulo.doc"}));
    UndoLastDocumentCommand(list);
    EXPECT_FALSE(unexpected.answered()) << unexpected.text().toStdString();
  }
  EXPECT_EQ(TempOffice::readFile(contab("Lettera.doc")), "Lettera.doc");
  EXPECT_EQ(QFileInfo(contab("Lettera.doc")).lastModified(), written);
  EXPECT_EQ(selectedName(), "Lettera.doc");
  EXPECT_EQ(entries(across.path()), QStringList());

  transfer(contab("Fattura.doc"), across.path().toStdString(), TransferKind::kMove);
  TempOffice::writeFile(contab("Fattura.doc"), "una nuova fattura");
  {
    NextBoxAnswer refused(mrOk);
    UndoLastDocumentCommand(list);
    EXPECT_EQ(refused.text(),
              "Impossibile annullare lo spostamento di \"Fattura.doc\": il nome \"Fattura.doc\" è "
              "già usato da un altro documento.");
  }
  EXPECT_EQ(TempOffice::readFile(contab("Fattura.doc")), "una nuova fattura");
  EXPECT_EQ(entries(across.path()), QStringList{"Fattura.doc"});
  EXPECT_EQ(TempOffice::readFile(across.filePath("Fattura.doc")), "Fattura.doc");
  EXPECT_EQ(UndoCaption(list), "A&nnulla");
}

// A document open in the word processor is copied, as Duplica copies it, but not moved.
// Held only by another computer's lock file, it moves after the second question, and its
// lock file goes with it.
TEST_F(Transfer, AnOpenDocumentIsCopiedButMovedOnlyAfterTheSecondQuestion) {
  TempOffice::writeFile(contab(".~lock.Lettera.doc#"),
                        "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///x;");
  const QString since = QLocale().toString(QFileInfo(contab(".~lock.Lettera.doc#")).lastModified(),
                                           QLocale::ShortFormat);
  {
    QFile openHere(contab("Lettera.doc"));  // open on this computer too: no going ahead
    ASSERT_TRUE(openHere.open(QIODevice::ReadOnly));
    NextBoxAnswer refused(mrOk);
    transfer(contab("Lettera.doc"), folder("LETT"), TransferKind::kMove);
    EXPECT_EQ(refused.text(),
              "Impossibile spostare il documento \"Lettera.doc\" in \"" + office.filePath("LETT") +
                  "\": è aperto da Mario Rossi sul computer segreteria-2 dal " + since + ".");
    transfer(contab("Lettera.doc"), folder("LETT"), TransferKind::kCopy);
    EXPECT_EQ(TempOffice::readFile(lett("Lettera.doc")), "Lettera.doc");
    EXPECT_EQ(UndoCaption(list), "A&nnulla copia di \"Lettera.doc\"");
  }
  {
    NextBoxAnswer no(mrNo);
    transfer(contab("Lettera.doc"), folder("LETT"), TransferKind::kMove);
    EXPECT_TRUE(no.text().startsWith("Il documento \"" + contab("Lettera.doc") +
                                     "\" risulta aperto da Mario Rossi"));
  }
  EXPECT_EQ(entries(office.filePath("CONTAB")),
            (QStringList{".~lock.Lettera.doc#", "Fattura.doc", "Lettera.doc", "Modulo.doc"}));
  {
    NextBoxAnswer yes(mrYes);
    transfer(contab("Lettera.doc"), folder("LETT"), TransferKind::kMove);
    EXPECT_TRUE(yes.answered());
  }
  EXPECT_EQ(entries(office.filePath("CONTAB")), (QStringList{"Fattura.doc", "Modulo.doc"}));
  EXPECT_EQ(entries(office.filePath("LETT")),
            (QStringList{"Copia di Lettera.doc", "Lettera.doc", "Saluti.doc"}));
  EXPECT_EQ(UndoCaption(list), "A&nnulla spostamento di \"Copia di Lettera.doc\"");
}

}  // namespace
}  // namespace velloria
