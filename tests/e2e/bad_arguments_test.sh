#!/usr/bin/env bash
# Bad arguments: the general failure message appears as an information box, the main
# window does not stay, and the program ends once the box is closed.
source "$(dirname "$0")/e2e_lib.sh"
start_xvfb
data=$(make_office)

check_refused() {
  "$VELLORIA" "$@" &
  local pid=$!
  E2E_PIDS+=($pid)
  local box
  box=$(wait_window '^Error$')
  [ "$(count_windows '^Tarvolo')" = 0 ] || fail "main window shown for arguments: $*"
  xdotool windowfocus --sync "$box" key Return
  wait_exit "$pid" 10
  [ "$EXIT_CODE" = 1 ] || fail "exit code $EXIT_CODE for arguments: $*"
}

check_refused                       # no arguments at all
check_refused uno 12 "$data" ""     # non-numeric category type
check_refused 1 dodici "$data" ""   # non-numeric caller code
check_refused 1 12 "/" ""           # data path too short for the Stampe folder
echo "PASS"
