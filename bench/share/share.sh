#!/usr/bin/env bash
# The program's start-up to populated window with 10,000 categories (and a first category
# folder of 10,000 documents) on the local disk and on a simulated network share: the office
# folder answers each call after a fixed delay (0.2 ms by default), through the LD_PRELOAD
# shim libshare_shim.so, which also counts the calls. Prints the median wall times and the
# calls per kind of one start, for the table's files and for the rest (folders, documents).
# A warm-up start first rewrites VISUALIZZA, so the timed starts find the table as an
# office has it every day.
# Usage: bench/share/share.sh [BUILD_DIR] [RUNS] [DELAY_US]     (defaults: build, 5, 200)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
delay=${3:-200}
records=10000
source bench/share/share_lib.sh
require_built "$build/bin/velloria" "$shim"

source bench/program/office.sh

# start [ENV ...]: one start with the environment given; prints its milliseconds.
start() {
  local begin
  begin=$(date +%s%N)
  env "$@" "$build/bin/velloria" 1 12 "$tmp/office/DATI/" "" >/dev/null 2>&1
  ms_since "$begin"
}
shared=(LD_PRELOAD="$shim" VELLORIA_SHARE_FOLDER="$tmp/office" VELLORIA_SHARE_DELAY_US="$delay")

start >/dev/null
local_runs=() share_runs=()
for _ in $(seq "$runs"); do
  local_runs+=("$(start)")
  rm -f "$tmp/counts"
  share_runs+=("$(start "${shared[@]}" VELLORIA_SHARE_COUNTS="$tmp/counts")")
done
echo "categories / documents      $records / $records"
echo "local disk                  $(printf '%s\n' "${local_runs[@]}" | median) ms (median of $runs)"
echo "simulated share ($delay us)   $(printf '%s\n' "${share_runs[@]}" | median) ms (median of $runs)"
echo "calls of one start on the share:"
sed 's/  /\n/; s/^/  /' "$tmp/counts"
