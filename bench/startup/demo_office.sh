# Sourced by the start-up benchmarks with $build set: checks that velloria and the bare
# window are built, starts a private X server (scripts/xvfb-lib.sh, scratch folder $tmp),
# sets the program to end after its first paint and makes the demo office in $tmp/office.
velloria=$build/bin/velloria
baseline=$build/bin/startup_baseline
for exe in "$velloria" "$baseline"; do
  [ -x "$exe" ] || { echo "missing $exe: build first" >&2; exit 1; }
done

source scripts/xvfb-lib.sh

start_xvfb 1280x1024
export VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1
bash demo/make-demo.sh "$tmp/office" "$build/bin" >/dev/null
