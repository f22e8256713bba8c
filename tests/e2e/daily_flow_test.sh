#!/usr/bin/env bash
# The first hour of an office user, with real key presses and releases: the copy
# selected after Duplica, the Enter release that starts a rename only when the list had
# its press, an unchanged name that renames nothing, Enter or Escape with Shift, Ctrl or
# Alt on the delete question, which press nothing, and a delete that leaves alone a file
# given the chosen document's name while the question was open; Ctrl+Canc and Sì move a
# document to the Trash and Ctrl+Z brings it back.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_xvfb
office=$E2E_TMP/office
make_category_office "$office"
docs=$office/Stampe/CONTAB
echo verbale >"$docs/Verbale.doc"

mkdir -p "$E2E_TMP/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" > "%s/winword.args"\n' "$E2E_TMP" >"$E2E_TMP/bin/WinWord"
chmod +x "$E2E_TMP/bin/WinWord"

PATH="$E2E_TMP/bin:$PATH" "$VELLORIA" 1 13 "$office/DATI/" "" 2>"$E2E_TMP/err" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
click_at "$window" 300 51  # the list, on its first row

# Typing a name and Enter renames the selected document only when a caption editor is
# open; with none, the Enter opens one and Escape closes it again.
expect_no_editor() {
  keys "$window" Z e t a Return Escape
  [ ! -e "$docs/Zeta.doc" ] || fail "$1: the release opened the caption editor"
  [ "$(count_windows '^(Velloria|Information|Confirm)$')" = 0 ] || fail "$1: a box is open"
}

# After Duplica the copy is selected and current, as a file manager selects what it has
# just made: F2 right after renames the copy, not its source, even though the list
# reloads itself on the folder's change.
keys "$window" End ctrl+d
wait_file present "$docs/Copia di Verbale.doc"
keys "$window" F2 B o z z a Return
wait_file present "$docs/Bozza.doc"
[ -e "$docs/Verbale.doc" ] || fail "F2 after Duplica renamed the source"
[ ! -e "$docs/Copia di Verbale.doc" ] || fail "the copy kept its name"

# A copy whose name is taken while no numbered name fits (255 bytes) is refused in a box;
# the Enter that answers it opens no editor.
long=$(printf 'Z%.0s' $(seq 242)).doc
echo long >"$docs/$long"
echo taken >"$docs/Copia di $long"
keys "$window" F5 End ctrl+d
box=$(wait_window '^Velloria$')
keys "$box" Return
expect_no_editor "Enter on the box"
[ "$(cat "$docs/Copia di $long")" = taken ] || fail "the taken copy was replaced"
rm "$docs/$long" "$docs/Copia di $long"
keys "$window" F5

keys "$window" Home ctrl+Return
wait_file present "$E2E_TMP/winword.args"
expect_no_editor "Ctrl+Enter"

# Escape ends an edit and leaves the toggle ready: the next Enter edits again.
keys "$window" Home Return Escape Return N u o v o Return
wait_file present "$docs/Nuovo.doc"
[ ! -e "$docs/Bozza.doc" ] || fail "the first row was not renamed"

# F2 edits too; the Enter that confirms its new name opens no editor.
keys "$window" End F2 A l f a Return
wait_file present "$docs/Alfa.doc"
expect_no_editor "the Enter that ended an F2 edit"

# An unchanged name renames nothing, so a document held open by an office program ends
# its edit without a failure box, by the toggle and by F2.
echo ",tester,$(hostname),07.12.2026 09:00,file:///tmp;" >"$docs/.~lock.Lettera.doc#"
exec 7<"$docs/Lettera.doc"
flock 7  # held by this shell, another process to the program
keys "$window" F5 Home Down Return Return F2 Return
sleep 0.5
[ "$(count_windows '^Velloria$')" = 0 ] || fail "ending an unchanged edit reported a failure"
[ -e "$docs/Lettera.doc" ] || fail "Lettera.doc is gone"

# The delete question: Enter and Escape with Shift, Ctrl or Alt press nothing.
keys "$window" Home ctrl+Delete
box=$(wait_window '^Confirm$')
keys "$box" ctrl+Return shift+Return alt+Return ctrl+KP_Enter shift+Escape ctrl+Escape alt+Escape
[ "$(count_windows '^Confirm$')" = 1 ] || fail "a modified Enter or Escape answered the question"
[ -e "$docs/Alfa.doc" ] || fail "a modified Enter deleted the document"
keys "$box" Escape
[ "$(count_windows '^Confirm$')" = 0 ] || fail "Escape did not answer No"
[ -e "$docs/Alfa.doc" ] || fail "Escape deleted the document"

# While the question is open another desk renames the chosen document and gives its name
# to another one: Yes deletes neither, and a box says so.
echo vecchio >"$docs/Vecchio.doc"
keys "$window" F5 Home ctrl+Delete
box=$(wait_window '^Confirm$')
mv "$docs/Alfa.doc" "$docs/Alfa Mario.doc"
mv "$docs/Vecchio.doc" "$docs/Alfa.doc"
keys "$box" y
box=$(wait_window '^Velloria$')
keys "$box" Return
[ "$(cat "$docs/Alfa.doc")" = vecchio ] || fail "the document that took the chosen name was deleted"
[ -e "$docs/Alfa Mario.doc" ] || fail "the chosen document, renamed meanwhile, was deleted"
# Ctrl+Canc and Sì move a document to the Trash, where trash-cli lists it under its
# path; Ctrl+Z brings it back under its name and the Trash is empty again.
before=$(ls "$docs")
keys "$window" F5 Home ctrl+Delete
box=$(wait_window '^Confirm$')
keys "$box" y
sleep 0.5
gone=$(comm -23 <(echo "$before") <(ls "$docs"))
[ -n "$gone" ] || fail "Sì on the Trash question moved nothing"
[ -e "$XDG_DATA_HOME/Trash/files/$gone" ] || fail "$gone is not in the Trash"
if command -v trash-list >/dev/null; then
  trash-list | grep -qF "$docs/$gone" || fail "trash-list does not show $docs/$gone"
fi
keys "$window" ctrl+z
for _ in $(seq 40); do [ -e "$docs/$gone" ] && break; sleep 0.05; done
[ -e "$docs/$gone" ] || fail "Ctrl+Z did not bring $gone back"
[ -z "$(ls "$XDG_DATA_HOME/Trash/files")" ] || fail "the Trash still holds $(ls "$XDG_DATA_HOME/Trash/files")"
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "PASS"
