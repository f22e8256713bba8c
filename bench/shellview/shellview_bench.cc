// Times the folder list on folders of 1,000, 10,000 and 100,000 files: setting Root,
// ReloadList and a sort by the size and by the type column (a title click), each until
// the list has painted its first screen, beside `ls -l` (GNU, sorted by name) on the
// same folder. Prints the medians of several runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "shellview/shell_list_view.h"

extern char** environ;

namespace {

using velloria::TShellListView;

constexpr int kRuns = 5;

// A folder of `count` small documents with office-like names, created in random order.
void FillFolder(const QString& path, int count) {
  const char* stems[] = {"Lettera", "Modulo", "Circolare", "Verbale", "Contratto"};
  const char* extensions[] = {".doc", ".docx", ".pdf", ".txt"};
  std::vector<int> order(count);
  for (int i = 0; i < count; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), *QRandomGenerator::global());
  for (int i : order) {
    QString name = QStringLiteral("%1 %2%3").arg(stems[i % 5]).arg(i).arg(extensions[i % 4]);
    QFile file(path + "/" + name);
    file.open(QIODevice::WriteOnly);
    file.write("x");
  }
  for (int i = 0; i < count / 100; ++i) QDir(path).mkdir(QStringLiteral("Cartella %1").arg(i));
}

double Milliseconds(const std::function<void()>& work) {
  QElapsedTimer clock;
  clock.start();
  work();
  return clock.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void RunLs(const QString& path) {
  QByteArray folder = path.toLocal8Bit();
  char* argv[] = {const_cast<char*>("ls"), const_cast<char*>("-l"), folder.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  if (posix_spawnp(&pid, "ls", &actions, nullptr, argv, environ) == 0) waitpid(pid, nullptr, 0);
  posix_spawn_file_actions_destroy(&actions);
}

// The list paints what a user would see first.
void PaintFirstScreen(TShellListView& list) { list.viewport()->grab(); }

void Measure(TShellListView& list, const QString& path, int count) {
  std::vector<double> ls, root, reload, bySize, byType;
  RunLs(path);  // warm the caches for both sides alike
  list.SetRoot(path);
  for (int run = 0; run < kRuns; ++run) {
    ls.push_back(Milliseconds([&] { RunLs(path); }));
    list.SetRoot("/");
    root.push_back(Milliseconds([&] {
      list.SetRoot(path);
      PaintFirstScreen(list);
    }));
    reload.push_back(Milliseconds([&] {
      list.ReloadList();
      PaintFirstScreen(list);
    }));
    for (auto [column, times] : {std::pair{1, &bySize}, std::pair{2, &byType}}) {
      times->push_back(Milliseconds([&] {
        list.SortBy(column, Qt::AscendingOrder);
        PaintFirstScreen(list);
      }));
      list.SortBy(0, Qt::AscendingOrder);
    }
  }
  double baseline = Median(ls);
  std::printf("%8d  %10.1f", count, baseline);
  for (const std::vector<double>* times : {&root, &reload, &bySize, &byType}) {
    std::printf("  %10.1f (%5.2fx)", Median(*times), Median(*times) / baseline);
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TShellListView list;
  list.resize(800, 600);
  list.show();
  std::printf(
      "   files   ls -l (ms)  Root+paint (ms)     ReloadList+paint    size sort+paint"
      "     type sort+paint\n");
  for (int count : {1000, 10000, 100000}) {
    QTemporaryDir folder;
    FillFolder(folder.path(), count);
    Measure(list, folder.path(), count);
    list.SetRoot("/");
  }
  return 0;
}
