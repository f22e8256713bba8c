# Shared helpers of the end-to-end tests: a private Xvfb display, a fresh demo office,
# waiting for windows and processes. Sourced by the *_test.sh scripts.
set -euo pipefail

E2E_TMP=$(mktemp -d)
E2E_PIDS=()
# What the program deletes goes to a Trash of the test's own.
export XDG_DATA_HOME="$E2E_TMP/data"

e2e_cleanup() {
  for pid in "${E2E_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$E2E_TMP"
}
trap e2e_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Starts Xvfb on a free display, with a screen of $1 (WxH, 1280x1024 by default), and
# exports DISPLAY. Without -noreset the server resets each time its last client leaves and
# drops a client connecting meanwhile: a program starting while xdotool looks for its
# window would end with "could not connect to display".
start_xvfb() {
  if [ -n "${E2E_FIRST_DISPLAY:-}" ]; then
    start_xvfb_from "$E2E_FIRST_DISPLAY" "${1:-1280x1024}"
  else
    Xvfb -displayfd 5 -screen 0 "${1:-1280x1024}x24" -nolisten tcp -noreset 5>"$E2E_TMP/display" 2>/dev/null &
    E2E_PIDS+=($!)
  fi
  for _ in $(seq 100); do
    [ -s "$E2E_TMP/display" ] && break
    sleep 0.05
  done
  [ -s "$E2E_TMP/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(cat "$E2E_TMP/display")"
  export QT_QPA_PLATFORM=xcb
  if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
  fi
}

# start_xvfb_from FIRST SIZE: Xvfb on the first display from FIRST that no server has
# locked. A test in a process namespace of its own sets E2E_FIRST_DISPLAY for it: there
# the servers outside are not seen, their lock files look stale, and -displayfd would take
# one of their numbers.
start_xvfb_from() {
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "$2x24" -nolisten tcp -noreset 2>/dev/null &
  E2E_PIDS+=($!)
  for _ in $(seq 100); do
    if [ -S "/tmp/.X11-unix/X$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
      echo "$n" >"$E2E_TMP/display"
      return
    fi
    sleep 0.05
  done
}

# Makes a demo office under the temporary folder and prints its data path.
make_office() {
  bash "$SOURCE_DIR/demo/make-demo.sh" "$E2E_TMP/office" "$(dirname "$VELLORIA")" >/dev/null
  echo "$E2E_TMP/office/DATI/"
}

# Prints the id of the first visible window whose name matches the regex $1, waiting
# up to 15 seconds; fails when none appears.
wait_window() {
  local id
  id=$(timeout 15 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1) ||
    fail "no window named /$1/ appeared"
  echo "$id"
}

# Number of visible windows whose name matches the regex $1.
count_windows() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l
}

# Waits up to $2 seconds for process $1 (a child of this shell) to end and sets EXIT_CODE;
# fails on timeout.
wait_exit() {
  local pid=$1 limit=$2
  for _ in $(seq $((limit * 20))); do
    if ! kill -0 "$pid" 2>/dev/null; then
      EXIT_CODE=0
      wait "$pid" || EXIT_CODE=$?
      return
    fi
    sleep 0.05
  done
  fail "process $pid still runs after ${limit}s"
}

# True when the first top-level window named /$1/ is stacked above the first named /$2/
# (without a window manager the program's windows are children of the root window,
# which xwininfo lists from top to bottom).
top_level_window_above() {
  local topmost
  topmost=$(xwininfo -root -children | sed -nE 's/^ +0x[0-9a-f]+ "([^"]*)".*/\1/p' |
            grep -E "$1|$2" | head -1)
  [[ "$topmost" =~ $1 ]]
}

VELLORIA=$1
SOURCE_DIR=$2
