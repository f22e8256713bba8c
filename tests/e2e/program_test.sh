#!/usr/bin/env bash
# The program on an office made with xbtool, driven with real input: the start-up sweep
# on disk, the grid's categories and colours on screen, the first category of the
# requested type listed, switching category, duplicate, delete and open.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_xvfb
office=$E2E_TMP/office
make_category_office "$office"
table=$office/Stampe/STAMPE.DBF
before=$(table_without_sweep "$table")

install_winword_recorder

PATH="$E2E_TMP/bin:$PATH" "$VELLORIA" 1 13 "$office/DATI/" "" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1

# Every record rewritten from its folder; nothing else in the table changed.
[ "$(visualizza_column "$table")" = TFTT ] || fail "VISUALIZZA is $(visualizza_column "$table")"
[ "$(table_without_sweep "$table")" = "$before" ] || fail "the sweep changed other bytes"

# Two categories of type 1 with a folder, sky blue; none green (type 2 is filtered out).
import -window "$window" "$E2E_TMP/shot.png"
grid='175x370+5+20'
blue=$(count_colour "$E2E_TMP/shot.png" "#A6CAF0" "$grid")
green=$(count_colour "$E2E_TMP/shot.png" "#C0DCC0" "$grid")
navy=$(count_colour "$E2E_TMP/shot.png" "#000080" "$grid")
[ "$green" = 0 ] || fail "a type 2 category is shown ($green green pixels)"
[ "$blue" -gt 500 ] || fail "no sky blue category rows ($blue pixels)"
echo "grid pixels: sky blue $blue, money green $green, navy $navy"

# The list shows CONTAB (the first type 1 category with a folder), not DIDA.
click_at "$window" 300 51
keys "$window" End ctrl+d
wait_file present "$office/Stampe/CONTAB/Copia di Lettera.doc"
[ ! -e "$office/Stampe/DIDA/Copia di Scuola.doc" ] || fail "the list started on the type 2 category"

# Open: the word processor gets the full path as one argument. (A click on the first row,
# the copy just made and selected, would open its name for renaming.)
keys "$window" Home ctrl+Return
wait_file present "$E2E_TMP/winword.args"
sleep 0.3
[ "$(cat "$E2E_TMP/winword.args")" = "$office/Stampe/CONTAB/$(ls "$office/Stampe/CONTAB" | head -1)" ] ||
  fail "WinWord got $(cat "$E2E_TMP/winword.args")"

# Duplicating again makes a numbered copy and leaves the first one as it is.
echo edited >"$office/Stampe/CONTAB/Copia di Lettera.doc"
keys "$window" End ctrl+d
wait_file present "$office/Stampe/CONTAB/Copia (2) di Lettera.doc"
[ "$(cat "$office/Stampe/CONTAB/Copia (2) di Lettera.doc")" = lettera ] || fail "the second copy differs"
[ "$(cat "$office/Stampe/CONTAB/Copia di Lettera.doc")" = edited ] || fail "the copy was replaced"
[ "$(cat "$office/Stampe/CONTAB/Lettera.doc")" = lettera ] || fail "the original changed"

# Delete: No keeps the document, Yes deletes it.
keys "$window" End ctrl+Delete
box=$(wait_window '^Confirm$')
keys "$box" n
sleep 0.5
[ -e "$office/Stampe/CONTAB/Lettera.doc" ] || fail "No deleted the document"
keys "$window" End ctrl+Delete
box=$(wait_window '^Confirm$')
keys "$box" y
wait_file absent "$office/Stampe/CONTAB/Lettera.doc"

# Another category: a click on the grid, Down, Enter (Visualizza) lists LETT.
click_at "$window" 60 42
keys "$window" Down Return
click_at "$window" 300 51
keys "$window" ctrl+d
wait_file present "$office/Stampe/LETT/Copia di Saluti.doc"
echo "PASS"
