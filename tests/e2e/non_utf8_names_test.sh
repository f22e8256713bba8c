#!/usr/bin/env bash
# A document whose name is code page 1252, not UTF-8 (as from a Windows share), driven
# with real keys: Apri hands the word processor the name's bytes, Duplica makes
# "Copia di " + those bytes, a rename and Cancella reach the file.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office
rm "$contab/Lettera.doc"
name=$'Lettera \xe0.doc'  # "Lettera à.doc" in code page 1252
echo latin >"$contab/$name"

install_winword_recorder

PATH="$E2E_TMP/bin:$PATH" "$VELLORIA" 1 13 "$office/DATI/" "" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
click_at "$window" 300 51

keys "$window" Home ctrl+Return Escape  # Escape: an editor the Enter release may have opened
wait_file present "$E2E_TMP/winword.args"
sleep 0.3
printf '%s\n' "$contab/$name" | cmp -s - "$E2E_TMP/winword.args" ||
  fail "WinWord got $(od -c "$E2E_TMP/winword.args" | head -3)"

keys "$window" Home ctrl+d
wait_file present "$contab/Copia di $name"
[ "$(cat "$contab/Copia di $name")" = latin ] || fail "the copy holds other bytes"

# The list: "Copia di Lettera à.doc", "Lettera à.doc". F2 selects the name up to its
# extension, which the typed text replaces.
keys "$window" End F2
xdotool type --delay 40 Rinominata
keys "$window" Return Escape
wait_file present "$contab/Rinominata.doc"
[ ! -e "$contab/$name" ] || fail "the renamed document is still there"

keys "$window" Home ctrl+Delete
keys "$(wait_window '^Confirm$')" y
wait_file absent "$contab/Copia di $name"
[ "$(ls "$contab")" = Rinominata.doc ] || fail "the folder holds $(ls "$contab")"
echo "PASS"
