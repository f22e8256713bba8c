#!/usr/bin/env bash
# The share disappearing under the running program: the box saying the category's folder
# is gone, a later start still answered, and the inactivity timer (caller code 14 with the
# marker file) still ending the program with 0.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_xvfb
office=$E2E_TMP/office
make_category_office "$office"
touch "$office/DATI/FG/AGENZIA/PrevCors.DBF"

"$VELLORIA" 1 14 "$office/DATI/" "" 2>"$E2E_TMP/err" &
program=$!
E2E_PIDS+=($program)
window=$(wait_window '^Tarvolo - Gestione')
sleep 0.5

expect_missing_folder_box() {
  local box
  box=$(wait_window '^(Information|Informazione)$')
  keys "$box" Return
  [ "$(count_windows '^(Information|Informazione)$')" = 0 ] || fail "$1: the box stayed"
  kill -0 "$program" 2>/dev/null || fail "$1: the program ended"
  echo "ok: $1"
}

# The grid shows Contabilità, then Lettere; Down and Enter (Visualizza) choose Lettere.
rm -rf "$office/Stampe/LETT"
click_at "$window" 60 42
keys "$window" Down Return
expect_missing_folder_box "category folder removed"

mv "$office/Stampe" "$office/Stampe.altrove"
keys "$window" Up Return  # the category shown before: its folder went with the Stampe folder
expect_missing_folder_box "Stampe folder moved away, shown category"
keys "$window" Down Return
expect_missing_folder_box "Stampe folder moved away"

# A later start still reaches the running instance and ends at once with 0.
"$VELLORIA" 1 14 "$office/DATI/" "" &
second=$!
wait_exit "$second" 10
[ "$EXIT_CODE" = 0 ] || fail "the running program did not answer a later start ($EXIT_CODE)"

# The inactivity timer ends the program normally 60 s after the last key in the grid.
wait_exit "$program" 90
[ "$EXIT_CODE" = 0 ] || fail "the program ended with $EXIT_CODE"
! grep -q 'Sanitizer\|runtime error:' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
[ "$(visualizza_column "$office/Stampe.altrove/STAMPE.DBF")" = TFTT ] || fail "the moved table changed"
echo "PASS"
