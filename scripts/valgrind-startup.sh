#!/usr/bin/env bash
# Memory check of the whole start-up: velloria on a fresh demo office under Xvfb and valgrind
# memcheck, ending right after its first shown window (VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING).
# Fails on any invalid read or write or use of an uninitialised value; definite leaks are
# counted.
# Usage: scripts/valgrind-startup.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
velloria=$build/bin/velloria
[ -x "$velloria" ] || { echo "missing $velloria: build first" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind missing: run scripts/install-deps.sh" >&2; exit 1; }

source scripts/xvfb-lib.sh

start_xvfb 1280x1024
export VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null

# libxcb sends requests with uninitialised padding bytes: not ours, and harmless.
cat >"$tmp/system.supp" <<'SUPP'
{
   libxcb-request-padding
   Memcheck:Param
   writev(vector[...])
   ...
   obj:*libxcb.so*
}
SUPP

# Definite leaks count only where one of our frames is on the stack: the system's graphics
# and font libraries keep caches for the life of the process.
status=0
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=none --track-origins=yes --num-callers=30 \
  --suppressions="$tmp/system.supp" --trace-children=no \
  --log-file="$tmp/memcheck.log" \
  "$velloria" 1 5 "$tmp/office/DATI/" "" || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" "$tmp/memcheck.log" || true
# Leak reports with one of our frames (our namespaces or the engine's entry points).
awk '/are (definitely|possibly) lost/ {block=$0; keep=0; next}
     block != "" && /^==[0-9]+== *$/ {if (keep) print block; block=""; next}
     block != "" {block = block "\n" $0; if ($0 ~ /(velloria::|xb::|xb_[A-Z])/) keep=1}' \
  "$tmp/memcheck.log" >"$tmp/ours.txt"
echo "leak reports in our code: $(grep -c "lost in loss record" "$tmp/ours.txt" || true)"
cat "$tmp/ours.txt"
if [ "$status" -ne 0 ]; then
  echo "memcheck found errors (exit $status):" >&2
  grep -A25 -E "^==[0-9]+== (Invalid|Conditional|Use of|Syscall param|Mismatched)" "$tmp/memcheck.log" | head -120 >&2
  exit 1
fi
echo "memcheck: clean start-up"
