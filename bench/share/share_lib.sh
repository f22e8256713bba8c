# Shared by the benches that run beside the simulated share, sourced from the source tree's
# top once $build is set: $shim, the LD_PRELOAD library that delays and counts the calls on
# the office's files, and require_built.
shim=$PWD/$build/lib/libshare_shim.so

# require_built FILE...: stops the bench, saying what is missing, unless every FILE exists.
require_built() {
  local file
  for file in "$@"; do
    [ -e "$file" ] || { echo "missing $file: build it first" >&2; exit 1; }
  done
}
