#!/usr/bin/env bash
# Instructions a start executes, counted by callgrind: velloria on the demo office to its
# first shown window, beside the bare Qt window. Unlike wall and CPU time, the count does
# not move with the machine's load. Each program's own process only: a start also forks a
# short-lived helper (Qt's session-bus autolaunch), whose count is left out.
# Usage: bench/startup/instructions.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
source bench/startup/demo_office.sh

# Instructions of the process started as "$@": the largest count of the processes traced.
count() {
  rm -f "$tmp"/callgrind.out.*
  valgrind --tool=callgrind --callgrind-out-file="$tmp/callgrind.out.%p" "$@" >/dev/null 2>&1
  awk '/^summary:/ { if ($2 > most) most = $2 } END { print most }' "$tmp"/callgrind.out.*
}
"$velloria" 1 5 "$tmp/office/DATI/" ''  # a first start fills the file caches
instructions=$(count "$velloria" 1 5 "$tmp/office/DATI/" '')
bare=$(count "$baseline")
awk -v v="$instructions" -v b="$bare" 'BEGIN {
  printf "velloria  %6.1f M instructions\nbaseline  %6.1f M instructions\nratio     %.2f\n", v / 1e6, b / 1e6, v / b }'
