#!/usr/bin/env bash
# "Cerca in tutte le categorie" beside `find -iname` on the same folders: 300 category
# folders holding 30,000 documents in all (a sub-folder in every third category), on the
# local disk and on the simulated share of bench/share (every call waits DELAY_US and is
# counted). Prints the median milliseconds of each, the documents each found, and the
# calls each made on the share.
# Usage: bench/search/search.sh [BUILD_DIR] [RUNS] [DELAY_US]     (defaults: build, 5, 200)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-5}
delay=${3:-200}
bench=$PWD/$build/bin/search_bench
source bench/share/share_lib.sh
require_built "$bench" "$shim"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

/usr/bin/python3 - "$tmp/Stampe" <<'PY'
import os, sys
root = sys.argv[1]
words = ["Lettera", "Fattura", "Verbale", "Preventivo", "Circolare", "Contratto", "Città", "Modulo"]
for c in range(300):
    folder = os.path.join(root, "CAT%03d" % c)
    sub = os.path.join(folder, "Archivio")
    os.makedirs(sub if c % 3 == 0 else folder)
    for d in range(100):
        where = sub if c % 3 == 0 and d % 2 else folder
        name = "%s %s %03d-%03d.doc" % (words[(c + d) % len(words)], "fornitore" if d % 7 == 0 else "cliente", c, d)
        open(os.path.join(where, name), "w").close()
PY
folders=("$tmp"/Stampe/CAT*)
ms_since() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# run_search [ENV ...] / run_find [ENV ...]: one run; prints "documents milliseconds".
run_search() { env "$@" "$bench" fornitore "${folders[@]}" 2>/dev/null; }
run_find() {
  local begin count
  begin=$(date +%s%N)
  count=$(env "$@" find "${folders[@]}" -type f -iname '*fornitore*' 2>/dev/null | wc -l)
  echo "$count $(ms_since "$begin")"
}

shared=(LD_PRELOAD="$shim" VELLORIA_SHARE_FOLDER="$tmp/Stampe" VELLORIA_SHARE_DELAY_US="$delay")
run_search >/dev/null
run_find >/dev/null
for where in local share; do
  search_ms=() find_ms=()
  extra=()
  [ "$where" = share ] && extra=("${shared[@]}")
  for _ in $(seq "$runs"); do
    read -r search_count ms < <(run_search "${extra[@]}")
    search_ms+=("$ms")
    read -r find_count ms < <(run_find "${extra[@]}")
    find_ms+=("$ms")
  done
  echo "$where: search $(printf '%s\n' "${search_ms[@]}" | median) ms ($search_count found)," \
       "find -iname $(printf '%s\n' "${find_ms[@]}" | median) ms ($find_count found), median of $runs"
done
rm -f "$tmp/counts.search" "$tmp/counts.find"
run_search "${shared[@]}" VELLORIA_SHARE_COUNTS="$tmp/counts.search" >/dev/null
run_find "${shared[@]}" VELLORIA_SHARE_COUNTS="$tmp/counts.find" >/dev/null
echo "calls on the share, search:     $(cat "$tmp/counts.search")"
echo "calls on the share, find:       $(cat "$tmp/counts.find")"
echo "folders listed: $(find "${folders[@]}" -type d | wc -l)"
