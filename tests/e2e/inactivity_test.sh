#!/usr/bin/env bash
# The inactivity close: caller code 14 with the marker file closes the window after 60 s
# without activity, also with a box open, and ends the program; code 13 with the same
# file does not close, not even after the mouse moved over its document list (activity
# restarts only a timer the start armed). With code 18, ten seconds before the close a
# note shows over the document list, and a mouse movement over the note hides it and
# keeps the window open. The three run side by side on displays of their own (one
# instance per display) with offices of their own.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"

start_on_new_display() {  # OFFICE CODE -> sets STARTED_PID
  start_xvfb
  make_category_office "$1"
  touch "$1/DATI/FG/AGENZIA/PrevCors.DBF"
  "$VELLORIA" 1 "$2" "$1/DATI/" "" &
  STARTED_PID=$!
  E2E_PIDS+=($STARTED_PID)
  wait_window '^Tarvolo - Gestione' >/dev/null
}

start_on_new_display "$E2E_TMP/o14" 14
pid14=$STARTED_PID
# The delete question is left open: the idle close answers it as its close box would.
window=$(wait_window '^Tarvolo - Gestione')
click_at "$window" 300 51
keys "$window" ctrl+Delete
wait_window '^Confirm$' >/dev/null
rm -f "$E2E_TMP/display"
start_on_new_display "$E2E_TMP/o13" 13
pid13=$STARTED_PID
window13=$(wait_window '^Tarvolo - Gestione')
xdotool mousemove --window "$window13" 300 60 sleep 0.2 mousemove --window "$window13" 320 80
moved=$SECONDS
display13=$DISPLAY

rm -f "$E2E_TMP/display"
start_on_new_display "$E2E_TMP/o18" 18
pid18=$STARTED_PID
window18=$(wait_window '^Tarvolo - Gestione')
started18=$SECONDS
display18=$DISPLAY

sleep_until() { sleep $(($1 - SECONDS > 0 ? $1 - SECONDS : 0)); }
note_pixels() {  # the note's pale yellow over the document list of code 18's window
  DISPLAY=$display18 import -window "$window18" "$E2E_TMP/note.png"
  count_colour "$E2E_TMP/note.png" "#FFFFDC" '520x400+190+10'
}
[ "$(note_pixels)" = 0 ] || fail "the idle note shows from the start"
sleep_until $((started18 + 53))
shown=$(note_pixels)
DISPLAY=$display18 xdotool mousemove --window "$window18" 400 380 sleep 0.2 mousemove --window "$window18" 410 385
sleep 0.5
hidden=$(note_pixels)
echo "idle note pixels: $shown before the mouse moved, $hidden after"
[ "$shown" -gt 2000 ] || fail "no idle note ten seconds before the close ($shown pixels)"
[ "$hidden" = 0 ] || fail "the idle note stayed after the mouse moved ($hidden pixels)"

DISPLAY=$display13
wait_exit "$pid14" 75
[ "$EXIT_CODE" = 0 ] || fail "code 14 ended with $EXIT_CODE"
[ -e "$E2E_TMP/o14/Stampe/CONTAB/Lettera.doc" ] || fail "the idle close deleted the document"
sleep_until $((moved + 63))
kill -0 "$pid13" 2>/dev/null || fail "code 13 closed by itself"
sleep_until $((started18 + 65))
kill -0 "$pid18" 2>/dev/null || fail "code 18 closed although the mouse moved over its note"
echo "PASS"
