#!/usr/bin/env bash
# Several workstations starting at the same moment on one office on the simulated share
# (libshare_shim.so, 0.2 ms a call by default): 300 categories, the first holding 1,000
# documents; 1, 2, 4 and 8 starts at once, each a separate program instance that ends after
# its first paint. Prints the median start and the slowest per count, and the sweep's
# calls on the table per category under record locks and under one table lock.
# Usage: bench/share/workstations.sh [BUILD_DIR] [ROUNDS] [DELAY_US]  (defaults: build, 3, 200)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
rounds=${2:-3}
delay=${3:-200}
records=300
documents=1000
source bench/share/share_lib.sh
require_built "$build/bin/velloria" "$build/bin/sweep_locks_bench" "$shim"
source scripts/xvfb-lib.sh
mkdir -p "$tmp/office/DATI" "$tmp/office/Stampe"
/usr/bin/python3 bench/program/make_office.py "$tmp/office/Stampe" "$records" "$documents"
start_xvfb 1280x1024
shared=(LD_PRELOAD="$shim" VELLORIA_SHARE_FOLDER="$tmp/office" VELLORIA_SHARE_DELAY_US="$delay")
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# starts N: N instances started together (each its own instance name), one line each with
# its milliseconds from the common start to its end; fails when one did not show its window.
starts() {
  local n=$1 begin pids=() i
  begin=$(date +%s%N)
  for i in $(seq "$n"); do
    (env "${shared[@]}" WAYLAND_DISPLAY="workstation-$i" VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1 \
       "$build/bin/velloria" 1 12 "$tmp/office/DATI/" "" >/dev/null 2>&1 &&
       echo $(( ($(date +%s%N) - begin) / 1000000 )) >>"$tmp/times") &
    pids+=($!)
  done
  for i in "${pids[@]}"; do wait "$i" || { echo "a start failed" >&2; exit 1; }; done
}

starts 1 >/dev/null  # warm-up: the first sweep writes VISUALIZZA
rm -f "$tmp/times"
echo "workstations  median start  slowest   (ms, $rounds rounds, share delay $delay us)"
for n in 1 2 4 8; do
  rm -f "$tmp/times"
  for _ in $(seq "$rounds"); do starts "$n"; done
  [ "$(wc -l <"$tmp/times")" = $((n * rounds)) ] || { echo "only $(wc -l <"$tmp/times") windows of $((n * rounds))" >&2; exit 1; }
  printf '%12d  %12d  %7d\n' "$n" "$(median <"$tmp/times")" "$(sort -n "$tmp/times" | tail -1)"
done

# table_calls MODE: the calls on the table's files of one sweep_locks_bench run.
table_calls() {
  rm -f "$tmp/counts"
  env "${shared[@]}" VELLORIA_SHARE_COUNTS="$tmp/counts" "$build/bin/sweep_locks_bench" "$tmp/office/Stampe" "$1" >/dev/null
  sed 's/  other.*//' "$tmp/counts" | tr ' ' '\n' | awk -F= 'NF == 2 { sum += $2 } END { print sum }'
}
open_only=$(table_calls open)
for mode in records table; do
  calls=$(table_calls "$mode")
  awk -v c="$calls" -v o="$open_only" -v n="$records" -v m="$mode" \
    'BEGIN { printf "sweep under %-7s locks: %.2f calls per category on the share\n", m, (c - o) / n }'
done
