#!/usr/bin/env bash
# Copying and moving documents into another category with the real mouse and keyboard: a
# document dragged from the list onto a category of the grid moves there, the row under
# the pointer framed while the drag hovers; held Ctrl copies it; a drop on the shown
# category or the grid's title does nothing. "Sposta in…" from the menu key, a few letters
# of the category typed in the chooser and Enter move the selected document, and Ctrl+Z
# in the list brings it back.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office
lett=$office/Stampe/LETT
for name in Alfa.doc Beta.doc; do echo "$name" >"$contab/$name"; done

"$VELLORIA" 1 5 "$office/DATI/" "" 2>"$E2E_TMP/err" &
pid=$!
E2E_PIDS+=($pid)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1

# Window coordinates of the list's first row and of the grid's rows (title, Contabilità
# shown, Lettere); the list shows Alfa.doc, Beta.doc, Lettera.doc.
list_x=300 list_first=48
grid_x=60 grid_title=24 grid_shown=39 grid_lettere=55
highlight='#308CC6'

# drag_start X1 Y1 X2 Y2: presses the left button at (X1, Y1) and moves to (X2, Y2) in
# steps, as a hand does; drag_end releases it there.
drag_start() {
  local x1=$1 y1=$2 x2=$3 y2=$4 step
  xdotool mousemove --window "$window" "$x1" "$y1"
  sleep 0.2
  xdotool mousedown 1
  sleep 0.2
  for step in 1 2 3 4 5 6 7 8; do
    xdotool mousemove --window "$window" $((x1 + (x2 - x1) * step / 8)) $((y1 + (y2 - y1) * step / 8))
    sleep 0.1
  done
  sleep 0.3
}
drag_end() {
  xdotool mouseup 1
  sleep 0.8
}
# Pixels of the highlight colour over the grid.
grid_highlight() {
  import -window "$window" "$E2E_TMP/grid.png"
  count_colour "$E2E_TMP/grid.png" "$highlight" 185x400+0+15
}

[ "$(grid_highlight)" = 0 ] || fail "the grid shows the highlight colour before any drag"
drag_start $list_x $list_first $grid_x $grid_lettere
framed=$(grid_highlight)
[ "$framed" -gt 300 ] || fail "the row under the drag is not framed ($framed pixels)"
drag_end
wait_file present "$lett/Alfa.doc"
wait_file absent "$contab/Alfa.doc"
[ "$(cat "$lett/Alfa.doc")" = Alfa.doc ] || fail "the moved document changed"
[ "$(grid_highlight)" = 0 ] || fail "the frame stayed after the drop"

# Held Ctrl copies: Beta.doc is now the first row.
xdotool keydown ctrl
drag_start $list_x $list_first $grid_x $grid_lettere
drag_end
xdotool keyup ctrl
wait_file present "$lett/Beta.doc"
[ -e "$contab/Beta.doc" ] || fail "Ctrl+drag moved the document instead of copying it"

# Drops on the shown category and on the title row do nothing.
before=$(ls "$contab" "$lett")
drag_start $list_x $list_first $grid_x $grid_shown
drag_end
drag_start $list_x $list_first $grid_x $grid_title
drag_end
sleep 0.5
[ "$(ls "$contab" "$lett")" = "$before" ] || fail "a drop that should do nothing changed: $(ls "$contab" "$lett")"
[ "$(count_windows '^Velloria$')" = 0 ] || fail "a drop that should do nothing opened a box"

# "Sposta in…" from the menu key on Lettera.doc (the last row): "let" in the chooser
# leaves Lettere, and Enter moves the document there.
keys "$window" End Menu s
chooser=$(wait_window '^Sposta in$')
keys "$chooser" l e t Return
wait_file present "$lett/Lettera.doc"
wait_file absent "$contab/Lettera.doc"
[ "$(cat "$lett/Lettera.doc")" = lettera ] || fail "the moved document changed"

# Ctrl+Z in the list takes the move back.
keys "$window" ctrl+z
wait_file present "$contab/Lettera.doc"
wait_file absent "$lett/Lettera.doc"

kill "$pid"
wait_exit "$pid" 10
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "transfer: ok"
