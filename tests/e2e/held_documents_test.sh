#!/usr/bin/env bash
# Documents that must stay, driven with real keys: Cancella (which says why instead of
# asking) and a rename leave a document that another process holds with a lock and a
# read-only one; in a category whose folder is the Stampe folder itself, Cancella leaves
# the program's own table; a released document is deleted.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office
# A category that names the Stampe folder itself, shown last in the grid.
"$XBTOOL" append "$office/Stampe/STAMPE.DBF" "DESCRIZIO=Stampe" DIR=. VISUALIZZA=F TIPO=1 >/dev/null
echo bloccato >"$contab/Bloccato.doc"
echo modulo >"$contab/Modulo.doc"
chmod 444 "$contab/Modulo.doc"
# Another process holds Bloccato.doc with a shared flock until it is killed.
(exec 9<"$contab/Bloccato.doc" && flock -s 9 && exec sleep 300) </dev/null >/dev/null 2>&1 &
holder=$!
E2E_PIDS+=($holder)
table=$office/Stampe/STAMPE.DBF
table_size=$(stat -c %s "$table")

"$VELLORIA" 1 13 "$office/DATI/" "" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
click_at "$window" 300 51  # the list: Bloccato.doc, Lettera.doc, Modulo.doc

# delete_answered_yes KEY: selects the row (Home or End) and deletes it with Yes.
delete_answered_yes() {
  keys "$window" "$1" ctrl+Delete
  keys "$(wait_window '^Confirm$')" y
  sleep 0.5
}

# delete_refused KEY: selects the row and asks for its delete: a box says why, no question.
delete_refused() {
  keys "$window" "$1" ctrl+Delete
  keys "$(wait_window '^Information$')" Return
  [ "$(count_windows '^Confirm$')" = 0 ] || fail "a document that must stay was asked about"
  sleep 0.5
}

# rename_refused KEY NAME: selects the row, edits its caption to NAME and is told no.
rename_refused() {
  keys "$window" "$1" F2
  xdotool type --delay 40 "$2"
  keys "$window" Return
  keys "$(wait_window '^Velloria$')" Return
  keys "$window" Escape  # an editor the Enter release may have opened
}

delete_refused Home
[ -e "$contab/Bloccato.doc" ] || fail "a document locked by another process was deleted"
delete_refused End
[ -e "$contab/Modulo.doc" ] || fail "a read-only document was deleted"
rename_refused Home Nuovo
rename_refused End Nuovo
[ -e "$contab/Bloccato.doc" ] && [ -e "$contab/Modulo.doc" ] || fail "a refused rename moved a document"
[ ! -e "$contab/Nuovo.doc" ] || fail "a refused rename made Nuovo.doc"

# Once the lock is released the document goes.
kill "$holder"
wait "$holder" 2>/dev/null || true
delete_answered_yes Home
wait_file absent "$contab/Bloccato.doc"

# The last category lists the Stampe folder: its folders, then STAMPE.DBF, which the
# program holds.
click_at "$window" 60 42
keys "$window" End Return
click_at "$window" 300 51
keys "$window" End ctrl+d  # the copy shows that the list reached the table
wait_file present "$office/Stampe/Copia di STAMPE.DBF"
delete_refused End
[ -e "$table" ] || fail "the program's own table was deleted"
[ "$(stat -c %s "$table")" = "$table_size" ] || fail "the table changed"
echo "PASS"
