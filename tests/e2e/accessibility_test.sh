#!/usr/bin/env bash
# The window as a screen reader reads it, through AT-SPI on a private session bus, in the
# Italian locale, on the demo office (atspi_probe.py says what is checked). Skipped, with
# the reason, where python3-pyatspi, at-spi2-core or dbus-run-session are missing.
source "$(dirname "$0")/e2e_lib.sh"
skip() {
  echo "SKIPPED: $*"
  exit 77
}
command -v dbus-run-session >/dev/null || skip "dbus-run-session missing (package dbus-daemon)"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi missing"
[ -x /usr/libexec/at-spi-bus-launcher ] || skip "at-spi2-core missing"

start_xvfb
data=$(make_office)
bash "$SOURCE_DIR/scripts/italian-locale.sh" "$E2E_TMP/locale"
export LOCPATH=$E2E_TMP/locale LANG=it_IT.UTF-8 LC_ALL= QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export NO_AT_BRIDGE=0 GTK_MODULES=

# The program and the probe share one private session bus, which starts the
# accessibility bus on demand.
dbus-run-session -- bash -c '
  "$1" 1 5 "$2" "" 2>"$3/err" &
  program=$!
  trap "kill $program 2>/dev/null" EXIT
  /usr/bin/python3 "$4"
' probe "$VELLORIA" "$data" "$E2E_TMP" "$SOURCE_DIR/tests/e2e/atspi_probe.py" || fail "the probe found faults"
! grep -q 'Sanitizer\|runtime error' "$E2E_TMP/err" || fail "sanitizer report: $(cat "$E2E_TMP/err")"
echo "PASS"
