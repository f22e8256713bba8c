#!/usr/bin/env bash
# Screenshots of the main window on the demo office and of the start-up message box at
# 100 %, 150 % and 200 % scale (QT_SCALE_FACTOR) under a private Xvfb display in an
# Italian locale; with --no-wine-fonts the same with fonts-wine's Tahoma hidden, to see
# the fallback font.
# Usage: scripts/screenshots-dpi.sh [--no-wine-fonts] [BUILD_DIR] [OUTPUT_DIR]
#        (defaults: build, docs/shots; --no-wine-fonts needs root for a private mount)
set -euo pipefail
self=$(realpath "$0")
cd "$(dirname "$self")/.."
suffix=""
if [ "${1:-}" = --no-wine-fonts ]; then
  shift
  if [ -z "${VELLORIA_WINE_FONTS_HIDDEN:-}" ]; then
    # A private mount namespace in which the fonts-wine folder is empty.
    exec unshare --mount --propagation private env VELLORIA_WINE_FONTS_HIDDEN=1 \
      bash -c 'mount -t tmpfs none /usr/share/wine/fonts && exec bash "$0" --no-wine-fonts "$@"' \
      "$self" "$@"
  fi
  suffix=-fallback
fi
build=${1:-build}
output=${2:-docs/shots}
[ -x "$build/bin/velloria" ] || { echo "missing $build/bin/velloria: build first" >&2; exit 1; }
build=$(cd "$build" && pwd)

tmp=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 5 -screen 0 1920x1200x24 -nolisten tcp -noreset 5>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# As an Italian office sees it: the system locale in Italian (the list's column titles,
# its type names and dates, Qt's own texts).
bash scripts/italian-locale.sh "$tmp/locale"
export LOCPATH="$tmp/locale"
# (bash itself warns that it cannot load the locale: it reads LOCPATH only at its start)
{ export LANG=it_IT.UTF-8; unset LC_ALL LC_MESSAGES LANGUAGE; } 2>/dev/null
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null
mkdir -p "$output"

# Starts velloria with the given arguments, captures the first visible window whose title
# matches `title` into `file`, then ends the program.
capture() {
  local scale=$1 title=$2 file=$3; shift 3
  QT_SCALE_FACTOR=$scale "$build/bin/velloria" "$@" >/dev/null 2>&1 &
  local program=$!
  local window
  window=$(timeout 15 xdotool search --sync --onlyvisible --name "$title" | head -1)
  sleep 1  # let the lists fill and paint
  import -window "$window" "$file"
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  echo "$file: $(identify -format '%wx%h' "$file")"
}

for scale in 1 1.5 2; do
  percent=$(awk -v s="$scale" 'BEGIN { printf "%d", s * 100 }')
  capture "$scale" '^Tarvolo' "$output/main-$percent$suffix.png" 1 5 "$tmp/office/DATI/" ""
  capture "$scale" '^(Error|Errore)$' "$output/box-$percent$suffix.png"
done
