#!/usr/bin/env bash
# The main window's size on a real X server: at scale factor 2 on a 1280 x 1024 screen it
# opens wholly on the screen; at scale 1 it opens 721 x 438 and, enlarged, gives the room
# to the document list. At scale 2 on a 1280 x 800 screen, which holds less than the
# first size, it leaves room above it for a window manager's title bar.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office

# geometry WINDOW: sets X, Y, WIDTH and HEIGHT (root coordinates).
geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
}

# scaled_start SCREEN_WIDTH SCREEN_HEIGHT: starts the program at scale 2 and checks that its
# window lies wholly on the screen; the window's geometry is left in X, Y, WIDTH, HEIGHT and
# the program's pid in PID.
scaled_start() {
  QT_SCALE_FACTOR=2 "$VELLORIA" 1 5 "$office/DATI/" "" &
  PID=$!
  E2E_PIDS+=($PID)
  window=$(wait_window '^Tarvolo - Gestione')
  sleep 0.5
  geometry "$window"
  echo "scale 2 on $1x$2: ${WIDTH}x${HEIGHT}+${X}+${Y}"
  [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le "$1" ] && [ $((Y + HEIGHT)) -le "$2" ] ||
    fail "at scale 2 on $1x$2 the window lies partly off the screen: ${WIDTH}x${HEIGHT}+${X}+${Y}"
}

scaled_start 1280 1024
kill "$PID"
wait_exit "$PID" 10

"$VELLORIA" 1 5 "$office/DATI/" "" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 0.5
geometry "$window"
[ "${WIDTH}x${HEIGHT}" = 721x438 ] || fail "first size ${WIDTH}x${HEIGHT}"
xdotool windowmove --sync "$window" 0 0 windowsize --sync "$window" 1100 800
sleep 0.5
geometry "$window"
[ "${WIDTH}x${HEIGHT}" = 1100x800 ] || fail "the window did not grow: ${WIDTH}x${HEIGHT}"
# The list's white background reaches the new right and bottom edges.
import -window "$window" "$E2E_TMP/shot.png"
white=$(count_colour "$E2E_TMP/shot.png" "#FFFFFF" '300x300+790+480')
[ "$white" -gt 80000 ] || fail "the document list does not fill the enlarged window ($white white pixels)"

rm -f "$E2E_TMP/display"
start_xvfb 1280x800
scaled_start 1280 800
[ $((800 - HEIGHT)) -ge 30 ] || fail "at scale 2 on 1280x800 the window leaves no room for a title bar: ${HEIGHT} of 800"
echo "PASS"
