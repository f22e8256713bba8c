// The search of every category folder as the program runs it, timed: lists each folder
// given (and its sub-folders) once for the documents whose name contains TEXT, letter
// case and accents ignored. Prints the documents found and the milliseconds taken.
// Usage: search_bench TEXT FOLDER...
#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <cstdio>

#include "app/document_search.h"
#include "shellview/name_match.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s TEXT FOLDER...\n", argv[0]);
    return 2;
  }
  QString key = velloria::NameMatchKey(QString::fromLocal8Bit(argv[1]));
  std::atomic<bool> stop{false};
  long found = 0;
  QElapsedTimer clock;
  clock.start();
  for (int i = 2; i < argc; ++i) {
    velloria::SearchFolderTree(argv[i], key, stop,
                               [&](const std::string&, const QString&) { ++found; });
  }
  std::printf("%ld %.1f\n", found, static_cast<double>(clock.nsecsElapsed()) / 1e6);
  return 0;
}
