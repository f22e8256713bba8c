#!/usr/bin/env bash
# Two processes on one STAMPE.DBF: held exclusively elsewhere the program asks whether to
# wait, and the file stays; beside a record lock it starts and
# leaves the values as they stand; while it runs an exclusive open is refused and others are
# not; read rights only start it read-only, writing nothing.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
HOLDER="$(dirname "$VELLORIA")/table_holder"
[ -x "$HOLDER" ] || fail "missing $HOLDER: build the table_holder target"
start_xvfb
office=$E2E_TMP/office
table=$office/Stampe/STAMPE.DBF
make_category_office "$office"

# hold_table MODE [RECNO]: table_holder keeps the table until release_table; prints its
# first line ("ready ..." or "refused: ...") and returns 0 when it holds the table.
hold_table() {
  rm -f "$E2E_TMP/hold.fifo"
  mkfifo "$E2E_TMP/hold.fifo"
  "$HOLDER" "$table" "$@" <"$E2E_TMP/hold.fifo" >"$E2E_TMP/hold.out" &
  HOLDER_PID=$!
  E2E_PIDS+=($HOLDER_PID)
  exec 7>"$E2E_TMP/hold.fifo"
  for _ in $(seq 100); do
    [ -s "$E2E_TMP/hold.out" ] && break
    sleep 0.05
  done
  head -1 "$E2E_TMP/hold.out"
  grep -q '^ready' "$E2E_TMP/hold.out"
}

release_table() {
  exec 7>&-
  wait_exit "$HOLDER_PID" 10
}

RUN_AS=()

# Held exclusively elsewhere: the start says at once what it waits for; Escape (Annulla)
# gives up with the general message, Enter (Riprova) after the holder let go starts.
hold_table exclusive >/dev/null || fail "the holder could not open the table"
sum=$(sha256sum <"$table")
"$VELLORIA" 1 12 "$office/DATI/" "" 2>"$E2E_TMP/err" &
program=$!
E2E_PIDS+=($program)
keys "$(wait_window '^Warning$')" Escape
keys "$(wait_window '^Error$')" Return
wait_exit "$program" 10
[ "$EXIT_CODE" = 1 ] || fail "given up: exit code $EXIT_CODE"
[ "$(sha256sum <"$table")" = "$sum" ] || fail "the held table changed"
"$VELLORIA" 1 12 "$office/DATI/" "" 2>"$E2E_TMP/err" 7>&- &  # the holder's stdin stays ours
program=$!
E2E_PIDS+=($program)
box=$(wait_window '^Warning$')
release_table
keys "$box" Return
wait_window '^Tarvolo' >/dev/null
kill "$program"
wait_exit "$program" 10
echo "ok: a table held exclusively: the start asks; Annulla gives up, Riprova starts"

# start_and_show: the program starts, shows its window and ends after the first paint.
start_and_show() {
  VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1 "${RUN_AS[@]}" "$VELLORIA" 1 12 "$office/DATI/" "" &
  local pid=$!
  E2E_PIDS+=($pid)
  wait_exit "$pid" 30
  [ "$EXIT_CODE" = 0 ] || fail "$1: exit code $EXIT_CODE"
}

hold_table shared 2 >/dev/null || fail "the holder could not lock record 2"
sum=$(sha256sum <"$table")
start_and_show "record 2 locked elsewhere"
[ "$(sha256sum <"$table")" = "$sum" ] || fail "the sweep wrote beside a record locked elsewhere"
release_table
echo "ok: a record locked elsewhere: the start goes on, nothing written"

# While the program runs an exclusive open is refused with the reason; others open.
"$VELLORIA" 1 12 "$office/DATI/" "" &
program=$!
E2E_PIDS+=($program)
wait_window '^Tarvolo - Gestione' >/dev/null
reason=$(hold_table exclusive) && fail "an exclusive open succeeded beside the program"
wait_exit "$HOLDER_PID" 10
exec 7>&-
[[ "$reason" == *"cannot be opened exclusively: it is open by another program"* ]] ||
  fail "the exclusive open was refused with: $reason"
out=$("$XBTOOL" reindex "$table" "$E2E_TMP/x.ntx" 2>&1) && fail "xbtool reindex opened the table exclusively"
[[ "$out" == *"cannot be opened exclusively"* ]] || fail "xbtool said: $out"
for mode in shared readonly; do
  hold_table $mode >/dev/null || fail "a $mode open was refused beside the program"
  release_table
done
kill -0 "$program" || fail "the program ended"
echo "ok: an exclusive open refused with its reason while the program runs, others not"
kill "$program"
wait_exit "$program" 10

# Read-only Stampe folder and table. Root passes permission checks, so as root the
# program runs without the capabilities that override them.
if [ "$(id -u)" = 0 ]; then
  RUN_AS=(setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search,-fowner --)
fi
# Read rights only (on the folder, or on the table): the start shows its window and writes
# nothing, not even the journal beside the table.
before=$(visualizza_column "$table")
sum=$(sha256sum <"$table")
for readonly in "$table $office/Stampe" "$office/Stampe" "$table"; do
  chmod u+w "$table" "$office/Stampe"
  chmod a-w $readonly
  start_and_show "read-only $readonly"
  [ "$(sha256sum <"$table")" = "$sum" ] || fail "read-only $readonly: the table changed"
  [ -z "$(ls "$office/Stampe" | grep -i journal)" ] || fail "read-only $readonly: a journal was made"
done
chmod u+w "$table" "$office/Stampe"
[ "$before" = "$(visualizza_column "$table")" ] || fail "VISUALIZZA changed"
echo "ok: read rights only start read-only and write nothing"
echo "PASS"
