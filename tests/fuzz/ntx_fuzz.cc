// libFuzzer target for NTX indexes: the input is written as the .NTX of a small fixed table,
// opened read-only and walked in key order both ways, sought exactly, partially and softly,
// and checked; then opened exclusively and kept up by edits. Must never crash or hang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/include/xbengine.h"
#include "tests/fuzz/fuzz_files.h"

namespace {

std::string TempBase() {
  static const std::string base = fuzzfiles::TempBase("ntx_fuzz");
  return base;
}

using fuzzfiles::WriteBytes;

// The table every input indexes: 300 records with a field of each key type, every tenth
// one deleted (the seed corpus holds indexes built over the same table).
void CreateTable(const std::string& dbf) {
  xb_CreateNew(dbf.c_str(), "T", 1, 4);
  xb_CreateField("NAME", "C", 10, 0);
  xb_CreateField("AMOUNT", "N", 8, 2);
  xb_CreateField("BORN", "D", 8, 0);
  xb_CreateField("ACTIVE", "L", 1, 0);
  xb_CreateExec();
  const char* names[] = {"mario", "Anna", "luca", "Beppe", "carla",
                         "zeno",  "ugo",  "ida",  "olga",  "pia"};
  for (int i = 0; i < 300; ++i) {
    char born[16];
    std::snprintf(born, sizeof born, "19%02d%02d%02d", 50 + i % 50, 1 + i % 9, 10 + i % 10);
    xb_AppendBlank();
    xb_Replace("NAME", XB_REPLACE_TEXT, (names[i % 10] + std::to_string(i)).c_str());
    xb_Replace("AMOUNT", XB_REPLACE_TEXT, std::to_string((i * 37) % 500 - 250).c_str());
    xb_Replace("BORN", XB_REPLACE_TEXT, born);
    xb_Replace("ACTIVE", XB_REPLACE_TEXT, i % 3 != 0 ? "T" : "F");
    if (i % 10 == 9) xb_Delete();
  }
  xb_CloseAll();
}

// The table's bytes, made once; each input starts from them, so edits do not carry over.
const std::string& TableBytes() {
  static const std::string bytes = [] {
    const std::string master = TempBase() + "_master.dbf";
    CreateTable(master);
    std::ifstream in(master, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(master.c_str());
    return image;
  }();
  return bytes;
}

void WalkBothWays() {
  int steps = 0;
  for (xb_GoTop(); !xb_Eof() && steps < 50; xb_Skip(1), ++steps) xb_KeyData("");
  steps = 0;
  for (xb_GoBottom(); !xb_Bof() && steps < 50; xb_Skip(-1), ++steps) xb_OrderRecNo();
}

void SeekAround() {
  const char* keys[] = {"mario0    ", "ma", "Z", "", "00012.00", "1980", "T", "-3"};
  for (int exact = 0; exact <= 1; ++exact) {
    xb_SetExact(int16_t(exact));
    for (int soft = 0; soft <= 1; ++soft) {
      xb_SetSoftSeek(int16_t(soft));
      for (const char* key : keys) xb_Seek(key);
    }
  }
  xb_SetExact(0);
  xb_SetSoftSeek(0);
  xb_OrderPosSet(0.5);
  xb_OrderPosGet();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string dbf = TempBase() + ".dbf", ntx = TempBase() + ".ntx";
  const std::string& table = TableBytes();
  WriteBytes(dbf, reinterpret_cast<const uint8_t*>(table.data()), table.size());
  WriteBytes(ntx, data, size);
  xb_SetLockTimeout(0);
  if (xb_UseEx(dbf.c_str(), "F", XB_OPEN_READ_ONLY, 1, XB_COMMIT_NONE) > 0) {
    if (xb_IndexOpen(ntx.c_str()) > 0) {
      WalkBothWays();
      SeekAround();
      xb_IndexCheck(1);
    }
    xb_CloseAll();
  }
  if (xb_UseEx(dbf.c_str(), "F", XB_OPEN_EXCLUSIVE, 1, XB_COMMIT_NONE) > 0) {
    if (xb_IndexOpen(ntx.c_str()) > 0) {
      xb_Go(2);
      xb_Replace("NAME", XB_REPLACE_TEXT, "zeno");
      xb_Replace("AMOUNT", XB_REPLACE_TEXT, "99");
      xb_Go(5);
      xb_Delete();
      xb_Commit();
      WalkBothWays();
      xb_IndexCheck(1);
    }
    xb_CloseAll();
  }
  std::remove(dbf.c_str());
  std::remove(ntx.c_str());
  return 0;
}
