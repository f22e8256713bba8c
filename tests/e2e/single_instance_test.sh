#!/usr/bin/env bash
# One instance per user and display: a second start exits 0 at once without a window of
# its own while the running instance comes forward; simultaneous starts give one window.
# A second start on the same office with another type and caller code changes the shown
# categories and the caption; one on another office says so and ends with 1.
# Another account (run with setpriv when the tests run as root) that takes the instance's
# names first does not keep the program from starting, and its raise request is ignored.
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
cover=$!
E2E_PIDS+=($cover)
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
kill "$first" "$cover"
wait_exit "$first" 10

# Type 2 and code 14 while type 1 and code 5 are shown, on the same office spelled without
# its last slash: the grid turns to the green of type 2, the caption to code 14.
source "$SOURCE_DIR/tests/e2e/office_lib.sh"
grid_green() {
  import -window "$1" "$E2E_TMP/shot.png"
  count_colour "$E2E_TMP/shot.png" "#C0DCC0" 179x300+3+16
}
"$VELLORIA" 1 5 "$data" "" &
first=$!
E2E_PIDS+=($first)
main=$(wait_window "$caption")
sleep 0.5
[ "$(grid_green "$main")" = 0 ] || fail "type 1 shows green rows"
"$VELLORIA" 2 14 "${data%/}" "" &
second=$!
wait_exit "$second" 10
[ "$EXIT_CODE" = 0 ] || fail "a second start on the same office exited with $EXIT_CODE"
for _ in $(seq 40); do
  [[ "$(xdotool getwindowname "$main")" == *"(Ver. 14 - "* ]] && break
  sleep 0.05
done
[[ "$(xdotool getwindowname "$main")" == *"(Ver. 14 - "* ]] || fail "the caption kept the old code"
sleep 0.3
[ "$(grid_green "$main")" -gt 1000 ] || fail "the grid did not turn to the categories of type 2"
echo "a second start on the same office turned the window to type 2 and code 14"

# Another office: the later start tells the user and ends with 1; the window stays as it is.
other=$(mktemp -d -p "$E2E_TMP")
bash "$SOURCE_DIR/demo/make-demo.sh" "$other/office" "$(dirname "$VELLORIA")" >/dev/null
"$VELLORIA" 1 5 "$other/office/DATI/" "" &
second=$!
E2E_PIDS+=($second)
box=$(wait_window '^(Information|Informazione)$')
[ "$(count_windows "$caption")" = 1 ] || fail "another office opened a second main window"
keys "$box" Return
wait_exit "$second" 10
[ "$EXIT_CODE" = 1 ] || fail "a start on another office exited with $EXIT_CODE"
[[ "$(xdotool getwindowname "$main")" == *"(Ver. 14 - "* ]] || fail "another office changed the window"
echo "a start on another office was told and ended with 1"
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
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
wait_gone() { for _ in $(seq 100); do [ "$(count_windows "$caption")" = 0 ] && return; sleep 0.05; done; }
wait_gone

if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
  echo "SKIP another account's part: it needs root to run a second account with setpriv"
  echo "PASS"
  exit 0
fi

# other_account MODE NAME: tests/support/other_account.py as the account 65534, which needs
# no file of ours: the script comes on standard input, opened by this shell.
# Called in a subshell (background or command substitution), so that it may leave the folder.
other_account() {
  cd / && exec setpriv --reuid=65534 --regid=65534 --clear-groups /usr/bin/python3 - "$@" \
    <"$SOURCE_DIR/tests/support/other_account.py"
}
name="Velloria-$(id -un)-$DISPLAY"
other_account squat "$name" >"$E2E_TMP/squat" &
E2E_PIDS+=($!)
for _ in $(seq 100); do grep -q listening "$E2E_TMP/squat" && break; sleep 0.05; done
grep -q listening "$E2E_TMP/squat" || fail "the other account could not take the name"

# With the private runtime folder the abstract name plays no part; without it the program
# passes over the name the other account holds.
for runtime in private none; do
  unset_runtime=()
  [ "$runtime" = none ] && unset_runtime=(-u XDG_RUNTIME_DIR)
  env "${unset_runtime[@]}" "$VELLORIA" 1 5 "$data" "" &
  first=$!
  E2E_PIDS+=($first)
  main=$(wait_window "$caption")
  echo "runtime folder $runtime: the program started beside the other account's listener"
  [ "$runtime" = none ] || { kill "$first"; wait_exit "$first" 10; wait_gone; continue; }

  xmessage -geometry 600x300+300+300 "altra finestra" &
  E2E_PIDS+=($!)
  wait_window '^xmessage$' >/dev/null
  top_level_window_above '^Tarvolo' '^xmessage$' && fail "the program stayed on top"
  answer=$(other_account raise "$name-2")
  [ "$answer" = closed ] || fail "the other account's raise request was answered: $answer"
  sleep 1
  top_level_window_above '^Tarvolo' '^xmessage$' && fail "the other account raised the window"
  kill -0 "$first" || fail "the program ended on the other account's request"

  env -u XDG_RUNTIME_DIR "$VELLORIA" 1 5 "$data" "" &
  second=$!
  wait_exit "$second" 10
  [ "$EXIT_CODE" = 0 ] || fail "our own second start exited with $EXIT_CODE"
  for _ in $(seq 40); do
    top_level_window_above '^Tarvolo' '^xmessage$' && break
    sleep 0.05
  done
  top_level_window_above '^Tarvolo' '^xmessage$' || fail "our own second start did not raise the window"
  [ "$(count_windows "$caption")" = 1 ] || fail "more than one main window"
  echo "the other account's raise was ignored; our own second start raised window $main"
done
echo "PASS"
