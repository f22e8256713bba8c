#!/usr/bin/env bash
# Takes the README's screenshot of the main window: the program on the demo office
# under a private Xvfb display, captured with ImageMagick's import.
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUTPUT]   (defaults: build, docs/main-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
output=${2:-docs/main-window.png}
[ -x "$build/bin/velloria" ] || { echo "missing $build/bin/velloria: build first" >&2; exit 1; }

tmp=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null

"$build/bin/velloria" 1 5 "$tmp/office/DATI/" "" &
pids+=($!)
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Tarvolo' | head -1)
sleep 1  # let the lists fill and paint
mkdir -p "$(dirname "$output")"
import -window "$window" "$output"
echo "screenshot written to $output"
