#!/usr/bin/env bash
# Documents that must stay, driven with real keys: Cancella (which says why instead of
# asking) and a rename leave a document that another process holds with a lock and a
# read-only one; in a category whose folder is the Stampe folder itself, Cancella leaves
# the program's own table; a released document is deleted. A document that only a lock
# file left by another computer's Writer holds is deleted or renamed after a second
# question whose default is No, its lock file going with it.
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
# lock_from_segreteria DOC: the lock file a Writer on the computer segreteria-2 writes
# when it opens DOC and leaves behind when it crashes.
lock_from_segreteria() {
  echo "Mario Rossi,mrossi,segreteria-2,07.12.2026 09:14,file:///home/mrossi/.config/libreoffice/4;" \
    >"$contab/.~lock.$1#"
  touch -d '2026-12-07 09:14' "$contab/.~lock.$1#"
}
# Held here too: the lock file of another computer offers no way past the process's lock.
lock_from_segreteria Bloccato.doc
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
  keys "$(wait_window '^Velloria$')" Return
  [ "$(count_windows '^Confirm$')" = 0 ] || fail "a document that must stay was asked about"
  sleep 0.5
}

# second_question_answered KEY: the delete of the selected row is asked, answered Sì, and
# the second question about the other computer's lock file is answered with KEY.
second_question_answered() {
  keys "$window" Home ctrl+Delete
  keys "$(wait_window '^Confirm$')" y
  keys "$(wait_window '^Velloria$')" "$1"
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
rm "$contab/.~lock.Bloccato.doc#"
kill "$holder"
wait "$holder" 2>/dev/null || true
delete_answered_yes Home
wait_file absent "$contab/Bloccato.doc"

# A colleague's Writer crashed with Circolare.doc and Verbale.doc open.
echo circolare >"$contab/Circolare.doc"
echo verbale >"$contab/Verbale.doc"
lock_from_segreteria Circolare.doc
lock_from_segreteria Verbale.doc
keys "$window" F5  # Circolare.doc, Lettera.doc, Modulo.doc, Verbale.doc
second_question_answered Return
[ -e "$contab/Circolare.doc" ] && [ -e "$contab/.~lock.Circolare.doc#" ] ||
  fail "Enter on the second question deleted the document or its lock file"
second_question_answered y
wait_file absent "$contab/Circolare.doc"
wait_file absent "$contab/.~lock.Circolare.doc#"
keys "$window" End F2
xdotool type --delay 40 "Verbale firmato"
keys "$window" Return
keys "$(wait_window '^Velloria$')" y
keys "$window" Escape  # an editor the Enter release may have opened
wait_file present "$contab/Verbale firmato.doc"
wait_file absent "$contab/.~lock.Verbale.doc#"
[ -z "$(ls -A "$contab" | grep aside)" ] || fail "a lock file set aside stayed: $(ls -A "$contab")"

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
