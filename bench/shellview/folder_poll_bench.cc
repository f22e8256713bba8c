// Times one check of the network-folder poll (FolderFingerprint) on a folder of documents,
// beside one full listing of the same folder (the names and a stat of each, as a reload
// reads them), in one run. Run it on the simulated share with bench/share/poll.sh.
// Usage: folder_poll_bench FOLDER [DOCUMENTS]  (default 10,000; the folder is filled when
// it holds fewer entries).
#include <dirent.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/folder_watch.h"

namespace {

constexpr int kRuns = 9;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  return names;
}

double MedianMs(const std::function<void()>& work) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    QElapsedTimer clock;
    clock.start();
    work();
    times.push_back(clock.nsecsElapsed() / 1e6);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [DOCUMENTS]\n", argv[0]);
    return 2;
  }
  std::string folder = argv[1];
  int documents = argc > 2 ? std::atoi(argv[2]) : 10000;
  for (int i = static_cast<int>(Names(folder).size()) - 2; i < documents; ++i) {
    std::ofstream(folder + "/Lettera " + std::to_string(i) + ".doc") << "x";
  }
  double check = MedianMs([&] { velloria::shell::FolderFingerprint(folder); });
  double listing = MedianMs([&] {
    struct stat st;
    for (const std::string& name : Names(folder)) stat((folder + "/" + name).c_str(), &st);
  });
  std::printf("documents                     %d\n", documents);
  std::printf("one poll check               %9.2f ms (median of %d)\n", check, kRuns);
  std::printf("baseline: names and stat all %9.2f ms (median of %d)\n", listing, kRuns);
  return 0;
}
