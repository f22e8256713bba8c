#!/usr/bin/env bash
# The document list's filter with real key presses: Ctrl+F reaches the field from the
# list, typing narrows the rows at once ignoring letter case and accents, Enter gives the
# list the focus and a command acts on the filtered rows, Escape clears the filter and
# gives the list the focus, and a document another program adds keeps the filter. The
# search of every category (Ctrl+Shift+F) shows a document found in its category.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office
for name in Alfa.doc "Fattura aprile.doc" "Fattura marzo.doc" Zeta.doc; do echo x >"$contab/$name"; done
printf 'x' >"$contab/$(printf 'Citt\xe0 di Roma.doc')"  # a name from a Windows share

"$VELLORIA" 1 13 "$office/DATI/" "" 2>"$E2E_TMP/err" &
pid=$!
E2E_PIDS+=($pid)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1  # the list has the focus from the start

# Rows: Alfa.doc, Città di Roma.doc, Fattura aprile.doc, Fattura marzo.doc, Lettera.doc,
# Zeta.doc. Unfiltered, the first row is Alfa.doc.
keys "$window" ctrl+f F A T T U R A space M
keys "$window" Return ctrl+d
wait_file present "$contab/Copia di Fattura marzo.doc"
[ ! -e "$contab/Copia di Alfa.doc" ] || fail "Ctrl+D copied a row the filter hid"

# Added by another program, a match shows in the filtered rows (Copia di Fattura marzo.doc,
# Fattura marzo.doc, Fattura marzo.docx) and the others do not.
echo x >"$contab/Fattura marzo.docx"
echo x >"$contab/Memo.doc"
sleep 1
keys "$window" End ctrl+d
wait_file present "$contab/Copia di Fattura marzo.docx"
[ ! -e "$contab/Copia di Zeta.doc" ] && [ ! -e "$contab/Copia di Memo.doc" ] ||
  fail "the reload lost the filter: $(ls "$contab")"

keys "$window" ctrl+f Escape Home ctrl+d
wait_file present "$contab/Copia di Alfa.doc"

# Without accents typed, the name read in code page 1252 is found; F2 renames it.
keys "$window" ctrl+f c i t t a Return F2 ctrl+a R o m a period d o c Return
wait_file present "$contab/Roma.doc"
[ ! -e "$contab/$(printf 'Citt\xe0 di Roma.doc')" ] || fail "the renamed document is still there"

# Ctrl+Shift+F searches every category for the filter's text; Enter on the document found
# shows its category (Lettere) with it selected, and Ctrl+D copies it there.
keys "$window" ctrl+f ctrl+a s a l u t i ctrl+shift+f
search=$(wait_window '^Cerca in tutte le categorie$')
sleep 1
keys "$search" Return
keys "$window" ctrl+d
wait_file present "$office/Stampe/LETT/Copia di Saluti.doc"

kill "$pid"
wait_exit "$pid" 10
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "filter: ok"
