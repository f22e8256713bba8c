#!/usr/bin/env bash
# Start-up failures on disk: a missing Stampe folder and a damaged table give the
# general message, the program ends, and the table file is left byte for byte.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/office_lib.sh"
start_xvfb

expect_general_message() {
  "$VELLORIA" 1 12 "$1" "" &
  local pid=$!
  E2E_PIDS+=($pid)
  local box
  box=$(wait_window '^Error$')
  keys "$box" Return
  wait_exit "$pid" 10
  [ "$EXIT_CODE" != 0 ] || fail "the program ended with 0 after a failed start"
}

mkdir -p "$E2E_TMP/nostampe/DATI"
expect_general_message "$E2E_TMP/nostampe/DATI/"

make_category_office "$E2E_TMP/office"
printf '\003damaged table' >"$E2E_TMP/office/Stampe/STAMPE.DBF"
sum=$(sha256sum <"$E2E_TMP/office/Stampe/STAMPE.DBF")
expect_general_message "$E2E_TMP/office/DATI/"
[ "$(sha256sum <"$E2E_TMP/office/Stampe/STAMPE.DBF")" = "$sum" ] || fail "the damaged table was changed"
echo "PASS"
