#!/usr/bin/env bash
# Start to first shown window: median wall and CPU time of N runs of velloria on the demo
# office under Xvfb (the program ends right after its first paint with
# VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING), beside the baseline of a bare Qt window. The two
# programs take turns, run after run, so that a change in the machine's load falls on both
# alike and the ratio holds still.
# Usage: bench/startup/startup.sh [BUILD_DIR] [RUNS]     (defaults: build, 30)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-30}
source bench/startup/demo_office.sh

/usr/bin/python3 - "$runs" "$velloria" "$tmp/office/DATI/" "$baseline" <<'PY'
import os, statistics, subprocess, sys, time
runs, velloria, office, baseline = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
commands = {"velloria": [velloria, "1", "5", office, ""], "baseline": [baseline]}
times = {name: [] for name in commands}
cpu = {name: [] for name in commands}

def run(name):
    """Wall and CPU (user + system, the process and the children it waited for) in ms."""
    start = time.perf_counter()
    child = subprocess.Popen(commands[name], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if status != 0:
        sys.exit("%s ended with status %d" % (name, status))
    return wall, (usage.ru_utime + usage.ru_stime) * 1000

for turn in range(runs + 3):  # three warm-up turns fill the file caches
    for name in commands:
        wall, used = run(name)
        if turn >= 3:
            times[name].append(wall)
            cpu[name].append(used)
median = {name: statistics.median(times[name]) for name in commands}
cpu_median = {name: statistics.median(cpu[name]) for name in commands}
for name in commands:
    print("%-9s median %6.1f ms  (min %.1f, max %.1f, %d runs)  cpu %.1f ms" %
          (name, median[name], min(times[name]), max(times[name]), runs, cpu_median[name]))
print("ratio     wall %.2f (target <= 1.25)  cpu %.2f (target <= 1.3)" %
      (median["velloria"] / median["baseline"], cpu_median["velloria"] / cpu_median["baseline"]))
PY
