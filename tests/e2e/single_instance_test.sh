#!/usr/bin/env bash
# One instance per user and display: a second start exits 0 at once without a window of
# its own while the running instance comes forward; simultaneous starts give one window.
source "$(dirname "$0")/e2e_lib.sh"
start_xvfb
data=$(make_office)
caption='^Tarvolo - Gestione'

"$VELLORIA" 1 5 "$data" "" &
first=$!
E2E_PIDS+=($first)
main=$(wait_window "$caption")

# Cover the window with another one, then start again.
xmessage -geometry 600x300+300+300 "altra finestra" &
E2E_PIDS+=($!)
wait_window '^xmessage$' >/dev/null
top_level_window_above '^Tarvolo' '^xmessage$' && fail "the program stayed on top"

started=$(date +%s%N)
"$VELLORIA" 1 5 "$data" "" &
second=$!
wait_exit "$second" 10
elapsed_ms=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$EXIT_CODE" = 0 ] || fail "second instance exited with $EXIT_CODE"
[ "$(count_windows "$caption")" = 1 ] || fail "more than one main window"
kill -0 "$first" || fail "the first instance ended"
for _ in $(seq 40); do
  top_level_window_above '^Tarvolo' '^xmessage$' && break
  sleep 0.05
done
top_level_window_above '^Tarvolo' '^xmessage$' || fail "the running instance did not come forward"
echo "second instance ended in ${elapsed_ms} ms; window $main came forward"
kill "$first"
wait_exit "$first" 10

# Three starts at the same moment: exactly one becomes the instance.
pids=()
for _ in 1 2 3; do
  "$VELLORIA" 1 5 "$data" "" &
  pids+=($!)
  E2E_PIDS+=($!)
done
wait_window "$caption" >/dev/null
sleep 1
[ "$(count_windows "$caption")" = 1 ] || fail "simultaneous starts gave several windows"
running=0
for pid in "${pids[@]}"; do
  if kill -0 "$pid" 2>/dev/null; then
    running=$((running + 1))
  else
    rc=0; wait "$pid" || rc=$?
    [ "$rc" = 0 ] || fail "a refused start exited with $rc"
  fi
done
[ "$running" = 1 ] || fail "$running instances run after simultaneous starts"
echo "PASS"
