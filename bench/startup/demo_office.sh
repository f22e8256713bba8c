# Sourced by the start-up benchmarks with $build set: checks that velloria and the bare
# window are built, starts a private X server (scripts/xvfb-lib.sh, scratch folder $tmp),
# gives it a runtime folder on a tmpfs as a desktop session has, sets the program to end after
# its first paint and makes the demo office in $tmp/office.
velloria=$build/bin/velloria
baseline=$build/bin/startup_baseline
for exe in "$velloria" "$baseline"; do
  [ -x "$exe" ] || { echo "missing $exe: build first" >&2; exit 1; }
done

source scripts/xvfb-lib.sh

start_xvfb 1280x1024
# A desktop session's runtime folder (/run/user/UID) is a tmpfs; the single-instance
# socket and its lock file live there.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  XDG_RUNTIME_DIR=$(mktemp -d -p /dev/shm velloria-runtime.XXXXXX)
  trap 'rm -rf "$XDG_RUNTIME_DIR"; session_cleanup' EXIT
fi
export VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null
