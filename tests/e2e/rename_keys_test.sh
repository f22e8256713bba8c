#!/usr/bin/env bash
# The document list with real key presses and releases: Enter on a folder enters it; Tab,
# Shift+Tab and a click elsewhere end the name edit of one document and start no other;
# a name beginning with a dot is refused; a changed extension is asked about; without a
# desktop opener a document opens in the word processor and another file says it cannot
# be opened; a document another program adds shows without F5. A refused name opens the
# editor again with what was typed; leading blanks are dropped from a name, with a box
# saying so; "Su" below the list leaves a sub-folder; closing the window while a name
# is edited renames nothing and leaves no box behind.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office
for name in Alfa.doc Beta.docx Gamma.doc Zeta.xyz; do echo x >"$contab/$name"; done
mkdir "$contab/Archivio"
echo x >"$contab/Archivio/Vecchio.doc"
install_winword_recorder

# Only the WinWord stand-in on PATH: no desktop opener.
PATH="$E2E_TMP/bin" "$VELLORIA" 1 13 "$office/DATI/" "" 2>"$E2E_TMP/err" &
pid=$!
E2E_PIDS+=($pid)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
click_at "$window" 300 51  # the first row: Archivio
boxes='^(Velloria|Information|Confirm|Conferma)$'

keys "$window" Return Home F2 A n t i c o Return
wait_file present "$contab/Archivio/Antico.doc"
keys "$window" BackSpace

# Rows now: Archivio, Alfa.doc, Beta.docx, Gamma.doc, Lettera.doc, Zeta.xyz.
keys "$window" Home Down F2 U n o Tab N u o v o Return Escape
wait_file present "$contab/Uno.doc"
keys "$window" Home Down F2 D u e shift+Tab N u o v o Return Escape
wait_file present "$contab/Due.docx"
[ -e "$contab/Gamma.doc" ] && [ ! -e "$contab/Nuovo.doc" ] && [ ! -e "$contab/Nuovo.docx" ] ||
  fail "Tab or Shift+Tab opened the next document's name: $(ls "$contab")"

keys "$window" Home Down F2 T r e
click_at "$window" 300 400  # below the rows
keys "$window" Z e t a Return Escape
wait_file present "$contab/Tre.docx"
[ ! -e "$contab/Zeta.docx" ] && [ ! -e "$contab/Zeta.doc" ] || fail "the click opened another name editor"
[ "$(count_windows "$boxes")" = 0 ] || fail "a box is open after the renames"

# Rows now: Archivio, Gamma.doc, Lettera.doc, Tre.docx, Uno.doc, Zeta.xyz.
keys "$window" Home Down F2 period S e g r e t o Return
box=$(wait_window '^Velloria$')
keys "$box" Return
[ -e "$contab/Gamma.doc" ] && [ ! -e "$contab/.Segreto.doc" ] || fail "a name beginning with a dot was taken"

keys "$window" Home Down F2 ctrl+a G a m m a Return
box=$(wait_window '^(Confirm|Conferma)$')
keys "$box" Escape
[ -e "$contab/Gamma.doc" ] || fail "the extension was removed although the answer was No"
keys "$window" Home Down F2 ctrl+a G a m m a Return
box=$(wait_window '^(Confirm|Conferma)$')
keys "$box" Return
wait_file present "$contab/Gamma"

# Rows now: Archivio, Gamma, Lettera.doc, Tre.docx, Uno.doc, Zeta.xyz.
keys "$window" Home Down Down shift+Return
wait_file present "$E2E_TMP/winword.args"
grep -qx "$contab/Lettera.doc" "$E2E_TMP/winword.args" || fail "Word got $(cat "$E2E_TMP/winword.args")"
keys "$window" End shift+Return
box=$(wait_window '^Velloria$')
keys "$box" Return

echo x >"$contab/Zzz.doc"
sleep 1
keys "$window" End F2 U l t i m o Return
wait_file present "$contab/Ultimo.doc"

# Rows now: Archivio, Gamma, Lettera.doc, Tre.docx, Ultimo.doc, Uno.doc, Zeta.xyz.
# A taken name is refused; the editor opens again on it, and a letter typed in front
# corrects it.
keys "$window" End Up F2 ctrl+a L e t t e r a period d o c Return
box=$(wait_window '^Velloria$')
keys "$box" Return
keys "$window" Home Z Return
wait_file present "$contab/ZLettera.doc"
[ ! -e "$contab/Uno.doc" ] && [ -e "$contab/Lettera.doc" ] || fail "the corrected name renamed wrongly: $(ls "$contab")"

# Rows now: Archivio, Gamma, Lettera.doc, Tre.docx, …
keys "$window" Home Down Down Down F2 space space P r i m o Return
box=$(wait_window '^(Information|Informazione)$')
keys "$box" Return
wait_file present "$contab/Primo.docx"
[ ! -e "$contab/  Primo.docx" ] && [ ! -e "$contab/Tre.docx" ] || fail "the leading blanks stayed: $(ls "$contab")"

# "Su" at the right end of the line below the list leaves Archivio: Ctrl+D then copies
# the second row of the category's folder.
keys "$window" Home Return
click_at "$window" 712 430
keys "$window" Home Down ctrl+d
wait_file present "$contab/Copia di Gamma"

# Rows now: Archivio, Copia di Gamma, Gamma, … Closing the window while a name is edited
# renames nothing, a valid name or not, and the program ends without a box.
for typed in "N u o v o" "a colon b"; do
  # shellcheck disable=SC2086
  keys "$window" Home Down F2 $typed
  close_window "$window"
  wait_exit "$pid" 10
  [ "$EXIT_CODE" = 0 ] || fail "closing while renaming ended with $EXIT_CODE"
  [ -e "$contab/Copia di Gamma" ] && [ ! -e "$contab/Nuovo" ] && [ ! -e "$contab/a:b" ] ||
    fail "closing while renaming renamed: $(ls "$contab")"
  PATH="$E2E_TMP/bin" "$VELLORIA" 1 13 "$office/DATI/" "" 2>>"$E2E_TMP/err" &
  pid=$!
  E2E_PIDS+=($pid)
  window=$(wait_window '^Tarvolo - Gestione')
  sleep 1
done
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "PASS"
