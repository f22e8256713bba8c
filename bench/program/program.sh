#!/usr/bin/env bash
# Start to populated window with a 10,000-category STAMPE.DBF and a first category folder
# of 10,000 documents, beside the baseline from the same run: the engine-only sweep of the
# same number of records (component_sweep_bench) plus `ls -l` of that folder.
# Usage: bench/program/program.sh [BUILD_DIR] [RUNS]     (defaults: build, 5)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
records=10000
for exe in velloria component_sweep_bench; do
  [ -x "$build/bin/$exe" ] || { echo "missing $build/bin/$exe: build it first" >&2; exit 1; }
done

source bench/program/office.sh

program_runs=() ls_runs=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$build/bin/velloria" 1 12 "$tmp/office/DATI/" "" >/dev/null 2>&1
  program_runs+=("$(ms_since "$start")")
  start=$(date +%s%N)
  ls -l "$tmp/office/Stampe/C00000" >/dev/null
  ls_runs+=("$(ms_since "$start")")
done
program=$(printf '%s\n' "${program_runs[@]}" | median)
listing=$(printf '%s\n' "${ls_runs[@]}" | median)
engine=$("$build/bin/component_sweep_bench" "$records" |
         awk '/engine sweep/ { printf "%d", $4 * 1000 + 0.5 }')
baseline=$((engine + listing))
echo "categories / documents             $records / $records"
echo "velloria start to populated window $program ms (median of $runs)"
echo "engine-only sweep                  $engine ms"
echo "ls -l of the first folder          $listing ms (median of $runs)"
echo "baseline (sweep + ls -l)           $baseline ms"
awk -v p="$program" -v b="$baseline" 'BEGIN { printf "ratio                              %.2f (target <= 1.5)\n", p / b }'
