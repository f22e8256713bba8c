// The namespace layer and the file helpers on real temporary folders: Windows-safe
// names, enumeration filters, name order, rename without replace and the
// open-document guard, detail columns, delete and copy.
#include "platform/namespace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "platform/file_name_text.h"
#include "platform/fileops.h"
#include "platform/namespace_folder.h"

namespace velloria::shell {
namespace {

class Folder {
 public:
  std::string Path() const { return m_dir.path().toStdString(); }
  std::string PathOf(const std::string& name) const { return Path() + "/" + name; }
  // Names are the file system's bytes, UTF-8 or not.
  void AddFile(const std::string& name, const QByteArray& bytes = "x") const {
    std::ofstream(PathOf(name), std::ios::binary).write(bytes.constData(), bytes.size());
  }
  QByteArray Read(const std::string& name) const {
    std::ifstream file(PathOf(name), std::ios::binary);
    if (!file) return "<missing>";
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
  }
  bool Has(const std::string& name) const { return QFile::exists(QString::fromStdString(PathOf(name))); }
  void AddFolder(const std::string& name) const { QDir(m_dir.path()).mkdir(QString::fromStdString(name)); }
  std::shared_ptr<ShellFolder2> Bind() const {
    IdList list = nullptr;
    EXPECT_EQ(DesktopFolder()->ParseDisplayName(Path(), &list), Status::kOk);
    auto folder = std::dynamic_pointer_cast<ShellFolder2>(DesktopFolder()->BindToObject(list, Iid::kShellFolder2));
    TaskFree(list);
    return folder;
  }

 private:
  QTemporaryDir m_dir;
};

std::set<std::string> Enumerate(ShellFolder& folder, std::uint32_t flags) {
  std::set<std::string> names;
  std::unique_ptr<EnumIdList> items = folder.EnumObjects(flags);
  for (IdList item; items && items->Next(&item); TaskFree(item)) names.insert(IdComponents(item).at(0));
  return names;
}

Status Rename(ShellFolder& folder, const std::string& from, const std::string& to) {
  IdList item = MakeChildIdList(from);
  IdList renamed = nullptr;
  Status status = folder.SetNameOf(item, to, kNameNormal, &renamed);
  TaskFree(item);
  TaskFree(renamed);
  return status;
}

TEST(NameFaults, NamesThatWouldHideTheItemOrAreTooLongAreRefusedToo) {
  EXPECT_EQ(NameFaultOf("Lettera.doc"), NameFault::kNone);
  EXPECT_EQ(NameFaultOf(".Lettera riservata.doc"), NameFault::kLeadingDot);
  EXPECT_EQ(NameFaultOf("thumbs.db"), NameFault::kSystemFileName);
  EXPECT_EQ(NameFaultOf("~$ttera.doc"), NameFault::kSystemFileName);
  EXPECT_EQ(NameFaultOf(std::string(256, 'x')), NameFault::kTooLong);
  EXPECT_EQ(NameFaultOf("CON.doc"), NameFault::kReservedName);
  EXPECT_EQ(NameFaultOf("fine "), NameFault::kTrailingDotOrBlank);
  EXPECT_EQ(NameFaultOf("a|b"), NameFault::kForbiddenCharacter);
  EXPECT_EQ(NameFaultOf(".."), NameFault::kEmpty);
}

TEST(WindowsSafeNames, RefusesWhatWindowsCannotHold) {
  for (const char* good : {"Lettera.doc", "Contabilità 2024.docx", "a", "CONTO.doc", "com10.txt", ".profilo"}) {
    EXPECT_TRUE(IsWindowsSafeName(good)) << good;
  }
  for (const char* bad : {"", ".", "..", "a/b", "a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b",
                          "tab\there", "fine.", "fine ", "CON", "con.txt", "Nul.doc", "COM1", "lpt9.doc", "AUX .txt"}) {
    EXPECT_FALSE(IsWindowsSafeName(bad)) << bad;
  }
}

TEST(IdListPaths, ComponentsRoundTrip) {
  IdList list = MakeIdList({"srv", "gest", "Stampe"});
  EXPECT_EQ(PathOfIdList(list), "/srv/gest/Stampe");
  EXPECT_EQ(IdComponents(list), (std::vector<std::string>{"srv", "gest", "Stampe"}));
  TaskFree(list);
  EXPECT_EQ(PathOfIdList(nullptr), "/");
  EXPECT_EQ(MakeIdList({"a", ""}), nullptr);
}

TEST(Parsing, NormalisesAndRequiresAnExistingItem) {
  Folder temp;
  temp.AddFolder("Sotto");
  IdList list = nullptr;
  ASSERT_EQ(DesktopFolder()->ParseDisplayName(temp.Path() + "//Sotto/./../Sotto/", &list), Status::kOk);
  EXPECT_EQ(PathOfIdList(list), temp.PathOf("Sotto"));
  TaskFree(list);
  EXPECT_EQ(DesktopFolder()->ParseDisplayName(temp.PathOf("manca"), &list), Status::kNotFound);
  EXPECT_EQ(temp.Bind()->ParseDisplayName("../fuori", &list), Status::kBadName);
  EXPECT_EQ(list, nullptr);
}

TEST(Enumeration, FiltersFoldersFilesAndHiddenItems) {
  Folder temp;
  temp.AddFile("Lettera.doc");
  temp.AddFile(".nascosto");
  temp.AddFile("~$ttera.doc");
  for (const char* leftover : {"Thumbs.db", "DESKTOP.INI", "~WRL0003.tmp", "~wrl1234.TMP"}) temp.AddFile(leftover);
  temp.AddFile("~WRL.tmp.doc");  // a document after all
  temp.AddFolder("Sotto");
  auto folder = temp.Bind();
  EXPECT_EQ(Enumerate(*folder, kEnumFolders | kEnumNonFolders),
            (std::set<std::string>{"Lettera.doc", "~WRL.tmp.doc", "Sotto"}));
  EXPECT_EQ(Enumerate(*folder, kEnumFolders), (std::set<std::string>{"Sotto"}));
  EXPECT_EQ(Enumerate(*folder, kEnumNonFolders | kEnumIncludeHidden).size(), 8u);
}

TEST(NameOrder, NaturalAndCaseInsensitive) {
  Folder temp;
  auto folder = temp.Bind();
  auto compare = [&](const char* a, const char* b) {
    IdList x = MakeChildIdList(a), y = MakeChildIdList(b);
    int order = folder->CompareIDs(0, x, y);
    bool keysAgree = (folder->NameSortKey(x).compare(folder->NameSortKey(y)) < 0) == (order < 0) || order == 0;
    EXPECT_TRUE(keysAgree) << a << " / " << b;
    TaskFree(x);
    TaskFree(y);
    return order;
  };
  EXPECT_LT(compare("Lettera 2", "Lettera 10"), 0);
  EXPECT_LT(compare("abc", "ABD"), 0);
  EXPECT_GT(compare("Zeta", "alfa"), 0);
  EXPECT_NE(compare("a", "A"), 0);  // equal to the collator, still a fixed order
}

TEST(Rename, NeverReplacesAndKeepsWithinTheFolder) {
  Folder temp;
  temp.AddFile("a.doc", "A");
  temp.AddFile("b.doc", "B");
  auto folder = temp.Bind();
  EXPECT_EQ(Rename(*folder, "a.doc", "b.doc"), Status::kExists);
  EXPECT_EQ(temp.Read("b.doc"), "B");
  EXPECT_EQ(Rename(*folder, "a.doc", "../a.doc"), Status::kBadName);
  EXPECT_EQ(Rename(*folder, "manca.doc", "c.doc"), Status::kNotFound);
  EXPECT_EQ(Rename(*folder, "a.doc", "a.doc"), Status::kOk);
  EXPECT_EQ(Rename(*folder, "a.doc", "c.doc"), Status::kOk);
  EXPECT_EQ(temp.Read("c.doc"), "A");
}

TEST(Rename, OpenDocumentsAreGuarded) {
  for (const char* lock : {".~lock.Verbale.doc#", "~$Verbale.doc", "~$erbale.doc", "~$rbale.doc"}) {
    Folder temp;
    temp.AddFile("Verbale.doc");
    temp.AddFile(lock);
    EXPECT_EQ(Rename(*temp.Bind(), "Verbale.doc", "Nuovo.doc"), Status::kOpenDocument) << lock;
    EXPECT_EQ(fileops::DeleteDocument(temp.PathOf("Verbale.doc")), EBUSY) << lock;
    EXPECT_TRUE(temp.Has("Verbale.doc"));
  }
}

// Where the file system has no atomic rename without replace, two renames of one
// document at once leave it under exactly one name; the other rename gets kNotFound.
TEST(Rename, TwoRenamesOfOneDocumentWithoutAtomicRenameLeaveOneName) {
  Folder temp;
  for (int round = 0; round < 200; ++round) {
    temp.AddFile("Verbale.doc", "V");
    std::atomic<bool> go{false};
    Status first = Status::kFailed, second = Status::kFailed;
    std::thread a([&] {
      while (!go) {}
      first = RenameWithoutReplacing(temp.PathOf("Verbale.doc"), temp.PathOf("Uno.doc"));
    });
    std::thread b([&] {
      while (!go) {}
      second = RenameWithoutReplacing(temp.PathOf("Verbale.doc"), temp.PathOf("Due.doc"));
    });
    go = true;
    a.join();
    b.join();
    ASSERT_EQ(temp.Has("Uno.doc") + temp.Has("Due.doc"), 1) << round;
    ASSERT_FALSE(temp.Has("Verbale.doc"));
    ASSERT_EQ((first == Status::kOk) + (second == Status::kOk), 1) << round;
    EXPECT_EQ(first == Status::kOk ? second : first, Status::kNotFound);
    QFile::remove(QString::fromStdString(temp.PathOf("Uno.doc")));
    QFile::remove(QString::fromStdString(temp.PathOf("Due.doc")));
  }
  temp.AddFile("a.doc", "A");
  temp.AddFile("b.doc", "B");
  EXPECT_EQ(RenameWithoutReplacing(temp.PathOf("a.doc"), temp.PathOf("b.doc")), Status::kExists);
  EXPECT_EQ(temp.Read("b.doc"), "B");
}

// Windows machines on the share could not keep two names apart that differ only in
// letter case; the item's own name may still change its case.
TEST(Rename, ANameTakenInAnotherLetterCaseIsRefused) {
  Folder temp;
  temp.AddFile("Circolare 2.doc", "C");
  temp.AddFile("Lettera.doc", "L");
  temp.AddFile("Caff\xE8.doc", "K");  // code page 1252, as from a Windows share
  auto folder = temp.Bind();
  EXPECT_EQ(Rename(*folder, "Lettera.doc", "CIRCOLARE 2.doc"), Status::kExists);
  EXPECT_EQ(Rename(*folder, "Lettera.doc", "CAFF\xC3\x88.doc"), Status::kExists);
  EXPECT_EQ(temp.Read("Lettera.doc"), "L");
  EXPECT_EQ(Rename(*folder, "Circolare 2.doc", "CIRCOLARE 2.doc"), Status::kOk);
  EXPECT_EQ(temp.Read("CIRCOLARE 2.doc"), "C");
}

// Names that are not UTF-8 are shown decoded; the file calls keep their bytes.
TEST(NonUtf8Names, ShownDecodedAndRenamedByTheirBytes) {
  EXPECT_EQ(DecodeFileName("Contabilit\xC3\xA0.doc"), QString::fromUtf8("Contabilità.doc"));
  EXPECT_EQ(DecodeFileName("Lettera \xE0.doc"), QString::fromUtf8("Lettera à.doc"));
  EXPECT_EQ(DecodeFileName("\x80\x81\x9F\xFF"), QString::fromUtf16(u"\u20AC\u0081\u0178\u00FF"));
  Folder temp;
  temp.AddFile("Lettera \xE0.doc", "A");
  auto folder = temp.Bind();
  EXPECT_EQ(Enumerate(*folder, kEnumNonFolders), (std::set<std::string>{"Lettera \xE0.doc"}));
  // Confirming the shown name unchanged renames nothing.
  EXPECT_EQ(Rename(*folder, "Lettera \xE0.doc", "Lettera \xC3\xA0.doc"), Status::kOk);
  EXPECT_EQ(temp.Read("Lettera \xE0.doc"), "A");
  EXPECT_EQ(Rename(*folder, "Lettera \xE0.doc", "Nuova.doc"), Status::kOk);
  EXPECT_EQ(temp.Read("Nuova.doc"), "A");
}

TEST(Details, DefaultColumnsAndTexts) {
  Folder temp;
  temp.AddFile("Lettera.doc", QByteArray(1025, 'x'));
  temp.AddFolder("Sotto");
  auto folder = temp.Bind();
  std::vector<std::string> titles;
  std::vector<bool> onByDefault;
  ShellDetails record;
  for (int column = 0; folder->GetDetailsOf(nullptr, column, &record); ++column) {
    ASSERT_EQ(record.text.kind, StrRet::kWide);  // titles may be translated into any script
    titles.push_back(QString::fromStdU16String(record.text.wide.value_or(u"")).toStdString());
    std::uint32_t state = 0;
    folder->GetDefaultColumnState(column, &state);
    onByDefault.push_back(state & kColumnOnByDefault);
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"Name", "Size", "Type", "Modified", "Permissions", "Owner"}));
  EXPECT_EQ(onByDefault, (std::vector<bool>{true, true, true, true, false, false}));
  auto text = [&](const char* name, int column) {
    IdList item = MakeChildIdList(name);
    ShellDetails details;
    EXPECT_TRUE(folder->GetDetailsOf(item, column, &details));
    TaskFree(item);
    return details.text.cstring;
  };
  EXPECT_EQ(text("Lettera.doc", 1), "2 KB");
  EXPECT_EQ(text("Sotto", 1), "");
  EXPECT_EQ(text("Lettera.doc", 4), "-rw-r--r--");
}

TEST(FileOps, DeleteRefusesFoldersAndRemovesDocuments) {
  Folder temp;
  temp.AddFolder("Sotto");
  temp.AddFile("a.doc");
  EXPECT_EQ(fileops::DeleteDocument(temp.PathOf("Sotto")), EISDIR);
  EXPECT_EQ(fileops::DeleteDocument(temp.PathOf("a.doc")), 0);
  EXPECT_FALSE(temp.Has("a.doc"));
  EXPECT_EQ(fileops::DeleteDocument(temp.PathOf("a.doc")), ENOENT);
}

TEST(FileOps, CopyKeepsBytesAndTimeAndNeverOverwrites) {
  Folder temp;
  temp.AddFile("a.doc", QByteArray(200000, 'q'));
  temp.AddFile("b.doc", "B");
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, temp.PathOf("a.doc").c_str(), old, 0);
  EXPECT_EQ(fileops::CopyDocument(temp.PathOf("a.doc"), temp.PathOf("b.doc")), EEXIST);
  EXPECT_EQ(temp.Read("b.doc"), "B");
  ASSERT_EQ(fileops::CopyDocument(temp.PathOf("a.doc"), temp.PathOf("Copia di a.doc")), 0);
  EXPECT_EQ(temp.Read("Copia di a.doc"), temp.Read("a.doc"));
  struct stat st;
  ASSERT_EQ(stat(temp.PathOf("Copia di a.doc").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(fileops::CopyDocument(temp.PathOf("manca.doc"), temp.PathOf("c.doc")), ENOENT);
  EXPECT_FALSE(temp.Has("c.doc"));
  temp.AddFolder("Sotto");
  EXPECT_EQ(fileops::CopyDocument(temp.PathOf("Sotto"), temp.PathOf("d.doc")), EISDIR);
  EXPECT_FALSE(temp.Has("d.doc"));
  // A named pipe under a document's name would block the window on open and read.
  ASSERT_EQ(mkfifo(temp.PathOf("pipe.doc").c_str(), 0600), 0);
  EXPECT_EQ(fileops::CopyDocument(temp.PathOf("pipe.doc"), temp.PathOf("e.doc")), EINVAL);
  EXPECT_FALSE(temp.Has("e.doc"));
}

TEST(FileOps, FailedCopyLeavesNoPartialTarget) {
  Folder temp;
  // /proc/self/mem opens but cannot be read from offset 0: the copy fails after the
  // target was created.
  EXPECT_NE(fileops::CopyDocument("/proc/self/mem", temp.PathOf("parziale.doc")), 0);
  EXPECT_FALSE(temp.Has("parziale.doc"));
}

}  // namespace
}  // namespace velloria::shell
