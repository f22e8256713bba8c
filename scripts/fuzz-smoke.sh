#!/usr/bin/env bash
# Short fuzzing run for CI: each libFuzzer executable <name>_fuzz in <build>/bin runs for N
# seconds on its committed corpus tests/fuzz/corpus/<name>/ (new inputs go to a temporary
# folder, never into the repository). Fails when a target crashes, leaks or times out.
# Usage: bash scripts/fuzz-smoke.sh <build-folder> <seconds>
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: fuzz-smoke.sh <build-folder> <seconds>}
seconds=${2:?usage: fuzz-smoke.sh <build-folder> <seconds>}
shopt -s nullglob
targets=("$build"/bin/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz-smoke: no fuzz targets in $build/bin" >&2
  exit 1
fi
status=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus=tests/fuzz/corpus/${name%_fuzz}
  scratch=$(mktemp -d)
  echo "== $name for ${seconds}s on $corpus"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$scratch/" "$scratch" "$corpus"; then
    echo "fuzz-smoke: $name failed; reproducer kept in $scratch" >&2
    status=1
    continue
  fi
  rm -rf "$scratch"
done
exit $status
