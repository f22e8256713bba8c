#!/usr/bin/env bash
# A category whose folder was moved away while the program runs, chosen with real keys:
# the grid's mark moves with Down without changing the list, Enter shows the category,
# the list is emptied with an Italian reason, and Ctrl+Canc then offers to delete
# nothing (the other category's documents are no longer on screen). The list's first row
# is selected from the start, so Ctrl+D works without a click; Alt+V is Visualizza, and
# Visualizza with the focus has a frame of the highlight colour.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_category_office  # type 1 shows Contabilità (contab) then Lettere (LETT)

"$VELLORIA" 1 5 "$office/DATI/" "" 2>"$E2E_TMP/err" &
E2E_PIDS+=($!)
window=$(wait_window '^Tarvolo - Gestione')
sleep 1
keys "$window" ctrl+d
wait_file present "$contab/Copia di Lettera.doc"
mv "$office/Stampe/LETT" "$E2E_TMP/LETT"

click_at "$window" 60 42  # the grid's first row, Contabilità, shown already
keys "$window" Down
[ "$(count_windows '^(Information|Informazione)$')" = 0 ] || fail "Down in the grid showed a category"
keys "$window" Return
box=$(wait_window '^(Information|Informazione)$')
keys "$box" Return

click_at "$window" 300 51  # where the list's first row was
keys "$window" Home ctrl+Delete
sleep 0.5
if [ "$(count_windows '^(Confirm|Conferma)$')" != 0 ]; then
  fail "Ctrl+Canc offered to delete a document of the category no longer shown"
fi
[ -e "$contab/Lettera.doc" ] || fail "Contabilità's document is gone"

click_at "$window" 60 42
keys "$window" Down alt+v
box=$(wait_window '^(Information|Informazione)$')
keys "$box" Return
click_at "$window" 60 42
button='83x25+9+406'
import -window "$window" "$E2E_TMP/unfocused.png"
keys "$window" ctrl+Tab
import -window "$window" "$E2E_TMP/focused.png"
before=$(count_colour "$E2E_TMP/unfocused.png" "#308CC6" "$button")
after=$(count_colour "$E2E_TMP/focused.png" "#308CC6" "$button")
echo "Visualizza's highlight pixels: $before without the focus, $after with it"
[ "$after" -gt $((before + 200)) ] || fail "no visible focus frame on Visualizza ($before, then $after pixels)"
[ "$(count_windows '^Velloria$')" = 0 ] || fail "a failure box is open"
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "PASS"
