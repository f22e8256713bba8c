// Test support for the xBase layer (see table_fixture.h).
#include "base/dbf_field.h"
#include "table_fixture.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "xbase/xb_engine.h"

namespace velloria::xbase::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "xbase-test-XXXXXX").string();
  m_path = mkdtemp(pattern.data());
}

TempFolder::~TempFolder() { std::filesystem::remove_all(m_path); }

void CreateTable(const std::string& file, const std::vector<FieldLayout>& fields,
                 const std::vector<RawRecord>& records, int driver) {
  ASSERT_TRUE(EnsureEngineLoaded());
  const TXbEntryPoints& xb = Xb();
  xb.xb_CreateNewEx(file.c_str(), "", XB_TYPE_NTX, static_cast<std::int16_t>(fields.size()),
                    static_cast<std::int16_t>(driver));
  for (const FieldLayout& field : fields) {
    char type[2] = {field.type, '\0'};
    ASSERT_EQ(1, xb.xb_CreateField(field.name.c_str(), type, static_cast<std::int16_t>(field.width),
                                   static_cast<std::int16_t>(field.decimals)));
  }
  ASSERT_EQ(1, xb.xb_CreateExec());
  if (records.empty()) return;
  std::int16_t area =
      xb.xb_UseEx(file.c_str(), "XBTESTMAKE", XB_OPEN_EXCLUSIVE, XB_TYPE_NTX, XB_COMMIT_NORMAL);
  ASSERT_GT(area, 0);
  for (const RawRecord& record : records) {
    std::string image = record.deleted ? "*" : " ";
    for (size_t i = 0; i < fields.size(); ++i) {
      std::string text = i < record.fields.size() ? record.fields[i] : "";
      text.resize(fields[i].width, ' ');
      image += text;
    }
    ASSERT_EQ(1, xb.xb_AppendBlank());
    ASSERT_EQ(1, xb.xb_PutRecord(image.data()));
  }
  xb.xb_Commit();
  xb.xb_Close();
}

std::vector<std::string> ReadRecords(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string data = bytes.str();
  auto u16 = [&](size_t at) {
    return static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8;
  };
  size_t count = static_cast<unsigned char>(data[4]) | u16(5) << 8;
  size_t headerLength = u16(8), recordLength = u16(10);
  std::vector<std::string> records;
  for (size_t i = 0; i < count; ++i) records.push_back(data.substr(headerLength + i * recordLength, recordLength));
  return records;
}

Recorder::Recorder() {
  UnloadEngine();
  SetEngineLibraryNameForTesting("libxbrecorder.so");
  EXPECT_TRUE(EnsureEngineLoaded());
  m_handle = dlopen("libxbrecorder.so", RTLD_NOW | RTLD_LOCAL);
  Clear();
}

Recorder::~Recorder() {
  UnloadEngine();
  SetEngineLibraryNameForTesting("");
  dlclose(m_handle);
}

std::string Recorder::Log() const {
  auto log = reinterpret_cast<const char* (*)()>(dlsym(m_handle, "xbrec_Log"));
  return log();
}

void Recorder::Clear() { reinterpret_cast<void (*)()>(dlsym(m_handle, "xbrec_Clear"))(); }

bool Recorder::Saw(const std::string& call) const {
  return ("\n" + Log()).find("\n" + call + "\n") != std::string::npos;
}

std::vector<std::string> Recorder::Calls(const std::string& name) const {
  std::vector<std::string> calls;
  std::istringstream lines(Log());
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + "(", 0) == 0) calls.push_back(line);
  }
  return calls;
}

std::vector<FieldLayout> StampeFields() {
  return {{"DESCRIZIO", dbf::type::kCharacter, 30}, {"DIR", dbf::type::kCharacter, 20}, {"TIPO", dbf::type::kNumber, 1}, {"VISUALIZZA", dbf::type::kLogical, 1}};
}

RawRecord Stampe(const std::string& description, const std::string& dir, int type, bool shown) {
  return {{description, dir, std::to_string(type), shown ? "T" : "F"}};
}

XBaseTest::XBaseTest() {
  m_env.SetDeleted(true);
  m_env.SetEpoch(1910);
  m_env.SetExact(true);
}

XBaseTest::~XBaseTest() {
  if (m_faultyDisk) m_faultyDisk->Mend();
  m_tables.clear();
  m_recorder.reset();
  m_faultyDisk.reset();
}

FaultyDisk& XBaseTest::UseFaultyDisk() {
  m_faultyDisk = std::make_unique<FaultyDisk>();
  return *m_faultyDisk;
}

Recorder& XBaseTest::StartRecording() {
  m_recorder = std::make_unique<Recorder>();
  return *m_recorder;
}

TXbTable& XBaseTest::NewTable(const std::string& file) {
  m_tables.push_back(std::make_unique<TXbTable>("TbArchivio"));
  TXbTable& table = *m_tables.back();
  table.SetDatabaseName(m_folder.Path());
  table.SetTableName(file);
  table.SetTableType(TXBaseTableType::ttXBNTX);
  return table;
}

TXbTable& XBaseTest::OpenTable(const std::string& file, bool exclusive) {
  TXbTable& table = NewTable(file);
  table.SetExclusive(exclusive);
  table.Open();
  return table;
}

TXbTable& XBaseTest::OpenCategoriesWithOrders(
    const std::vector<std::pair<std::string, std::string>>& orders) {
  CreateTable(m_folder.File("STAMPE.DBF"), StampeFields(),
              {Stampe("Bilanci", "BIL", 1, false), Stampe("Fatture", "FAT", 1, true),
               Stampe("compiti", "COM", 2, true), Stampe("Pagelle", "PAG", 2, false),
               Stampe("FATTURE", "FA2", 1, true)});
  TXbTable& table = OpenTable();
  const TXbEntryPoints& xb = Xb();
  xb.xb_Select(table.WorkArea());
  for (const auto& [file, key] : orders) {
    EXPECT_GT(xb.xb_Index(m_folder.File(file).c_str(), key.c_str(), 0, 0, ""), 0) << key;
  }
  xb.xb_SetOrder(0);
  return table;
}

}  // namespace velloria::xbase::testing
