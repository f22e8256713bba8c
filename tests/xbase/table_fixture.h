// Test support for the xBase layer: temporary folders, tables created through the engine
// binding with raw field texts, record images read straight from the file, the recording
// engine, and a fixture with the program's environment settings.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataset/data_source.h"
#include "tests/dataset/recording_link.h"
#include "tests/xbase/faulty_disk.h"
#include "xbase/xbase_env.h"
#include "xbase/xbase_table.h"

namespace velloria::xbase::testing {

struct FieldLayout {
  std::string name;
  char type;
  int width;
  int decimals = 0;
};

// A record as raw field texts, each blank-padded to its width; `deleted` marks it "*".
struct RawRecord {
  std::vector<std::string> fields;
  bool deleted = false;
};

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::string& Path() const { return m_path; }
  std::string File(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// Creates `file` with `fields` and `records` through the engine (language driver byte
// `driver`, 0x03 = CP1252). Texts longer than their width are cut.
void CreateTable(const std::string& file, const std::vector<FieldLayout>& fields,
                 const std::vector<RawRecord>& records, int driver = 0x03);
// Every record image of `file` as stored on disk (deletion byte first).
std::vector<std::string> ReadRecords(const std::string& file);

// While alive, the binding goes through the recording library; Log() lists the calls.
class Recorder {
 public:
  Recorder();
  ~Recorder();
  std::string Log() const;
  void Clear();
  // True when `call` (e.g. "xb_Unlock(0)") appears in the log.
  bool Saw(const std::string& call) const;
  // Lines of the log that start with `name` + "(".
  std::vector<std::string> Calls(const std::string& name) const;

 private:
  void* m_handle = nullptr;
};

using velloria::testing::RecordingLink;

// The category table of the program: DESCRIZIO C 30, DIR C 20, TIPO N 1 0, VISUALIZZA L.
std::vector<FieldLayout> StampeFields();
RawRecord Stampe(const std::string& description, const std::string& dir, int type, bool shown);

// An environment set as the program sets it (Deleted on, Epoch 1910, Exact on) and a
// temporary folder; tables made here are closed at the end of the test.
class XBaseTest : public ::testing::Test {
 protected:
  XBaseTest();
  ~XBaseTest() override;
  // A TXbTable named TbArchivio on `file` in the temporary folder, configured like the
  // program's (exclusive, ttXBNTX) and opened.
  TXbTable& OpenTable(const std::string& file = "STAMPE.DBF", bool exclusive = true);
  TXbTable& NewTable(const std::string& file = "STAMPE.DBF");
  // The category table with five categories ("Bilanci", "Fatture", "compiti", "Pagelle",
  // "FATTURE") opened, and one NTX order per (file name, key expression) created in the
  // engine; the natural order is current afterwards.
  TXbTable& OpenCategoriesWithOrders(
      const std::vector<std::pair<std::string, std::string>>& orders);
  // From here to the end of the test the engine is reached through the recording library.
  Recorder& StartRecording();
  // From here to the end of the test the engine works on a disk that can refuse its calls.
  FaultyDisk& UseFaultyDisk();

  TempFolder m_folder;
  TXBaseEnv m_env;
  std::vector<std::unique_ptr<TXbTable>> m_tables;
  std::unique_ptr<Recorder> m_recorder;
  std::unique_ptr<FaultyDisk> m_faultyDisk;
};

}  // namespace velloria::xbase::testing
