#!/usr/bin/env bash
# Three workstations on one office, started within a second of each other: two on one X
# display under two accounts (the second with setpriv when the tests run as root, else the
# same account on a third display), one on another display. Each shows its window with the
# categories; each duplicates a document with a real Ctrl+D at the same moment; every copy
# is there and equals its source; xbtool check finds the table sound and VISUALIZZA right.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"

# new_display: another Xvfb, whose DISPLAY becomes $DISPLAY.
new_display() {
  rm -f "$E2E_TMP/display"
  start_xvfb
}
new_display
display_a=$DISPLAY
new_display
display_b=$DISPLAY
chmod 755 "$E2E_TMP"
office=$E2E_TMP/office
make_category_office "$office"
docs=$office/Stampe/CONTAB  # the first category of type 1: every start shows it
echo alfa >"$docs/Alfa.doc"
echo zeta >"$docs/Zeta.doc"
chmod -R a+rwX "$office"

other=()
third_display=$display_a
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  mkdir -m 700 "$E2E_TMP/runtime2" "$E2E_TMP/home2"
  chown 65534:65534 "$E2E_TMP/runtime2" "$E2E_TMP/home2"
  other=(env XDG_RUNTIME_DIR="$E2E_TMP/runtime2" HOME="$E2E_TMP/home2"
         setpriv --reuid=65534 --regid=65534 --clear-groups --)
else
  echo "note: not root: the third workstation runs under this account on a third display"
  new_display
  third_display=$DISPLAY
fi

# workstation DISPLAY [PREFIX...]: one start of the program, in the background.
workstation() {
  local display=$1
  shift
  (cd / && DISPLAY=$display "$@" "$VELLORIA" 1 12 "$office/DATI/" "" 2>>"$E2E_TMP/err.$display") &
  E2E_PIDS+=($!)
}
workstation "$display_a"
workstation "$display_b"
workstation "$third_display" "${other[@]}"

# windows_on DISPLAY COUNT: the ids of the COUNT main windows on DISPLAY, one a line, taken
# from one search once all of them show: the order of a search follows the windows'
# stacking, which two searches need not find alike.
windows_on() {
  local ids
  for _ in $(seq 150); do
    ids=$(DISPLAY=$1 xdotool search --onlyvisible --name '^Tarvolo - Gestione' 2>/dev/null || true)
    [ "$(grep -c . <<<"$ids")" = "$2" ] && { echo "$ids"; return; }
    sleep 0.1
  done
  fail "not $2 main windows on $1"
}
if [ "$third_display" = "$display_a" ]; then
  ids_a=$(windows_on "$display_a" 2)
  windows=("$display_a $(sed -n 1p <<<"$ids_a")" "$display_b $(windows_on "$display_b" 1)"
           "$display_a $(sed -n 2p <<<"$ids_a")")
else
  windows=("$display_a $(windows_on "$display_a" 1)" "$display_b $(windows_on "$display_b" 1)"
           "$third_display $(windows_on "$third_display" 1)")
fi
sleep 1
echo "ok: three windows"

# Every window shows the two categories of type 1: their sky blue rows are on screen.
for entry in "${windows[@]}"; do
  read -r display window <<<"$entry"
  DISPLAY=$display xdotool windowraise "$window"  # two windows of display A overlap
  sleep 0.5
  DISPLAY=$display import -window "$window" "$E2E_TMP/shot.png"
  blue=$(count_colour "$E2E_TMP/shot.png" "#A6CAF0" 175x370+5+20)
  [ "$blue" -gt 500 ] || fail "no categories shown on $display ($blue sky blue pixels)"
done

# Each selects its own document (the list's first, second and last rows), then all three
# duplicate at once.
select_keys=("Home" "Home Down" "End")
for i in 0 1 2; do
  read -r display window <<<"${windows[i]}"
  DISPLAY=$display xdotool windowraise "$window"
  sleep 0.3
  DISPLAY=$display xdotool mousemove --window "$window" 300 51 click 1
  sleep 0.3
  DISPLAY=$display xdotool windowactivate --sync "$window" 2>/dev/null ||
    DISPLAY=$display xdotool windowfocus --sync "$window"
  DISPLAY=$display xdotool key --delay 80 ${select_keys[i]}
done
for i in 0 1 2; do
  read -r display window <<<"${windows[i]}"
  (DISPLAY=$display xdotool windowraise "$window"
   DISPLAY=$display xdotool windowactivate --sync "$window" 2>/dev/null ||
     DISPLAY=$display xdotool windowfocus --sync "$window"
   DISPLAY=$display xdotool key ctrl+d) &
  [ "$display" = "$display_a" ] && wait $!  # one keyboard focus per display
done
copies_made() {
  [ -e "$docs/Copia di Alfa.doc" ] && [ -e "$docs/Copia di Lettera.doc" ] && [ -e "$docs/Copia di Zeta.doc" ]
}
for _ in $(seq 50); do copies_made && break; sleep 0.2; done
copies_made || fail "not every document was copied; the folder holds: $(ls "$docs" | paste -sd '|')"
for name in Alfa Lettera Zeta; do
  cmp -s "$docs/$name.doc" "$docs/Copia di $name.doc" || fail "Copia di $name.doc differs from its source"
done
echo "ok: three copies made at once, each equal to its source"

out=$("$XBTOOL" check "$office/Stampe/STAMPE.DBF") || fail "xbtool check: $out"
[[ "$out" == *": sound" ]] || fail "xbtool check: $out"
[ "$(visualizza_column "$office/Stampe/STAMPE.DBF")" = TFTT ] ||
  fail "VISUALIZZA is $(visualizza_column "$office/Stampe/STAMPE.DBF")"
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP"/err.* || fail "sanitizer report: $(cat "$E2E_TMP"/err.*)"
echo "ok: the table is sound and VISUALIZZA right"
echo "PASS"
