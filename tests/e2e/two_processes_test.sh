#!/usr/bin/env bash
# Two processes on one STAMPE.DBF: held elsewhere (exclusively, or with a record lock) the
# program's open fails with the general message and the file stays; while it runs every
# other open is refused; a read-only table fails the same way and still opens read-only.
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

# The program must show the general message (an information box), end with 1 once it
# is closed, show no main window and leave the table as it was.
expect_refused_start() {
  local sum
  sum=$(sha256sum <"$table")
  expect_general_message "$1" "${RUN_AS[@]}" "$VELLORIA" 1 12 "$office/DATI/" ""
  [ "$(sha256sum <"$table")" = "$sum" ] || fail "$1: the table changed"
  echo "ok: $1"
}
RUN_AS=()

hold_table exclusive >/dev/null || fail "the holder could not open the table"
expect_refused_start "table held exclusively by another process"
release_table

hold_table shared 2 >/dev/null || fail "the holder could not lock record 2"
expect_refused_start "table open in another process with record 2 locked"
release_table

# While the program runs, every other open is refused at once, whatever its mode.
"$VELLORIA" 1 12 "$office/DATI/" "" &
program=$!
E2E_PIDS+=($program)
wait_window '^Tarvolo - Gestione' >/dev/null
for mode in exclusive shared readonly; do
  if hold_table $mode >/dev/null; then fail "a $mode open succeeded beside the program"; fi
  wait_exit "$HOLDER_PID" 10
  [ "$EXIT_CODE" = 2 ] || fail "the refused $mode open ended with $EXIT_CODE"
  exec 7>&-
done
kill -0 "$program" || fail "the program ended"
echo "ok: every other open refused while the program runs"
kill "$program"
wait_exit "$program" 10

# Read-only Stampe folder and table. Root passes permission checks, so as root the
# program runs without the capabilities that override them.
if [ "$(id -u)" = 0 ]; then
  RUN_AS=(setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search,-fowner --)
fi
chmod a-w "$table" "$office/Stampe"
expect_refused_start "read-only Stampe folder and table"
"${RUN_AS[@]}" "$HOLDER" "$table" readonly </dev/null | grep -q '^ready 4 records' ||
  fail "a read-only open of the read-only table failed"
echo "ok: read-only open of the read-only table"

# A read-only folder with a writable table: the records are rewritten in place.
chmod u+w "$table"
VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1 "${RUN_AS[@]}" "$VELLORIA" 1 12 "$office/DATI/" "" &
pid=$!
E2E_PIDS+=($pid)
wait_exit "$pid" 30
[ "$EXIT_CODE" = 0 ] || fail "read-only folder, writable table: exit code $EXIT_CODE"
[ "$(visualizza_column "$table")" = TFTT ] || fail "read-only folder: VISUALIZZA is $(visualizza_column "$table")"
echo "ok: read-only folder with a writable table"
chmod u+w "$office/Stampe"
echo "PASS"
