# Shared by the scripts that run the program under a private X server. Sourcing it makes a
# scratch folder $tmp, removed at exit with every process listed in session_pids;
# start_xvfb [WIDTHxHEIGHT] then starts Xvfb on a free display and exports DISPLAY,
# QT_QPA_PLATFORM and a private XDG_RUNTIME_DIR (the single-instance socket lives there).

session_pids=()
tmp=$(mktemp -d)
session_cleanup() {
  for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do
    kill "${session_pids[i]}" 2>/dev/null || true
  done
  rm -rf "$tmp"
}
trap session_cleanup EXIT

# -noreset: a server that resets when its last client leaves drops a client connecting
# meanwhile.
start_xvfb() {
  Xvfb -displayfd 5 -screen 0 "${1:-1280x1024}x24" -nolisten tcp -noreset 5>"$tmp/display" 2>/dev/null &
  session_pids+=($!)
  for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
  [ -s "$tmp/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
}
