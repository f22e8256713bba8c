// Helpers for the engine tests: a temporary folder removed afterwards, tables created through
// the C interface, running a command and reading its output, raw file access.
#ifndef VELLORIA_TESTS_ENGINE_TEST_UTIL_H_
#define VELLORIA_TESTS_ENGINE_TEST_UTIL_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "engine/include/xbengine.h"

namespace xbtest {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/xbengine-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct FieldDef {
  const char* name;
  const char* type;
  int width;
  int decimals;
};

// Creates a table with the given fields (not opened). Fails the test on error.
inline void CreateTable(const std::string& path, std::initializer_list<FieldDef> fields,
                        int language_driver = 0x03) {
  ASSERT_EQ(xb_CreateNewEx(path.c_str(), "", 1, int16_t(fields.size()), int16_t(language_driver)),
            1)
      << xb_LastErrorText();
  for (const FieldDef& f : fields) {
    ASSERT_EQ(xb_CreateField(f.name, f.type, int16_t(f.width), int16_t(f.decimals)), 1)
        << xb_LastErrorText();
  }
  ASSERT_EQ(xb_CreateExec(), 1) << xb_LastErrorText();
}

// Opens path in a new work area (made current); returns the area.
inline int Open(const std::string& path, int mode = XB_OPEN_EXCLUSIVE, const char* alias = "") {
  int area = xb_UseEx(path.c_str(), alias, int16_t(mode), 1, XB_COMMIT_NORMAL);
  EXPECT_GT(area, 0) << xb_LastErrorText();
  return area;
}

// Appends a record with FIELD=text pairs through xb_Replace in the current area.
inline void Append(std::initializer_list<std::pair<const char*, std::string>> values) {
  ASSERT_EQ(xb_AppendBlank(), 1) << xb_LastErrorText();
  for (const auto& [field, text] : values) {
    ASSERT_EQ(xb_Replace(field, XB_REPLACE_TEXT, text.c_str()), 1)
        << field << ": " << xb_LastErrorText();
  }
  ASSERT_EQ(xb_Commit(), 1) << xb_LastErrorText();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Runs a shell command; returns its exit status and puts its standard output in *out.
inline int Run(const std::string& command, std::string* out = nullptr) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  int status = pclose(pipe);
  if (out != nullptr) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Record numbers visited from the top to the end, current query and deleted setting applied.
inline std::vector<int> Walk() {
  std::vector<int> records;
  for (xb_GoTop(); !xb_Eof() && records.size() < 100000; xb_Skip(1)) records.push_back(xb_RecNo());
  return records;
}

// A scratch folder in memory where the system has one (the fault and crash loops sync
// thousands of times), removed with what it holds.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/xbengine-fault-XXXXXX";
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace xbtest

#endif  // VELLORIA_TESTS_ENGINE_TEST_UTIL_H_
