#!/usr/bin/env bash
# Takes the README's screenshot of the main window: the program on the demo office
# under a private Xvfb display in an Italian locale, captured with ImageMagick's import.
# Usage: scripts/screenshot.sh [BUILD_DIR] [OUTPUT]   (defaults: build, docs/main-window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
output=${2:-docs/main-window.png}
[ -x "$build/bin/velloria" ] || { echo "missing $build/bin/velloria: build first" >&2; exit 1; }

source scripts/xvfb-lib.sh

start_xvfb 1024x768
# As an Italian office sees it: the system locale in Italian (the list's column titles,
# its type names and dates, Qt's own texts).
bash scripts/italian-locale.sh "$tmp/locale"
export LOCPATH="$tmp/locale"
# (bash itself warns that it cannot load the locale: it reads LOCPATH only at its start)
{ export LANG=it_IT.UTF-8; unset LC_ALL LC_MESSAGES LANGUAGE; } 2>/dev/null
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null

"$build/bin/velloria" 1 5 "$tmp/office/DATI/" "" &
session_pids+=($!)
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Tarvolo' | head -1)
sleep 1  # let the lists fill and paint
mkdir -p "$(dirname "$output")"
import -window "$window" "$output"
echo "screenshot written to $output"
