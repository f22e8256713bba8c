#!/usr/bin/env bash
# Start to first shown window: median wall time of N runs of velloria on the demo office
# under Xvfb (the program ends right after its first paint with
# VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING), beside the baseline of a bare Qt window from the
# same run.
# Usage: bench/startup/startup.sh [BUILD_DIR] [RUNS]     (defaults: build, 30)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-30}
source bench/startup/demo_office.sh

hyperfine --style none --warmup 3 --runs "$runs" --export-json "$tmp/times.json" \
  -n velloria "$velloria 1 5 $tmp/office/DATI/ ''" \
  -n baseline "$baseline" >/dev/null
/usr/bin/python3 - "$tmp/times.json" <<'PY'
import json, statistics, sys
# Wall time depends on the machine's load; the CPU time (user + system) much less.
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
median, cpu = {}, {}
for name in ("velloria", "baseline"):
    times = [t * 1000 for t in results[name]["times"]]
    median[name] = statistics.median(times)
    cpu[name] = (results[name]["user"] + results[name]["system"]) * 1000
    print("%-9s median %6.1f ms  (min %.1f, max %.1f, %d runs)  cpu %.1f ms" %
          (name, median[name], min(times), max(times), len(times), cpu[name]))
print("ratio     wall %.2f (target <= 1.25)  cpu %.2f (target <= 1.3)" %
      (median["velloria"] / median["baseline"], cpu["velloria"] / cpu["baseline"]))
PY
