#!/usr/bin/env bash
# Installs whatever is missing, builds from scratch and runs every test:
# the normal build (warnings are errors), the ASan+UBSan build, and a short
# run of every fuzz target on its committed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

runtime_dir=$(mktemp -d)
chmod 700 "$runtime_dir"
export XDG_RUNTIME_DIR=$runtime_dir
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
trap 'rm -rf "$runtime_dir"' EXIT

run_ctest() {
  # Widget tests run offscreen; end-to-end tests start their own Xvfb.
  (cd "$1" && ctest --output-on-failure --timeout 600 -j2)
}

echo "== Build (warnings are errors)"
rm -rf build build-asan build-fuzz
cmake -S . -B build -G Ninja -DVELLORIA_WERROR=ON
cmake --build build

echo "== Build with ASan+UBSan"
cmake -S . -B build-asan -G Ninja -DVELLORIA_WERROR=ON -DVELLORIA_SANITIZE=ON \
  -DVELLORIA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan

if [ -d tests/fuzz ]; then
  echo "== Fuzz targets: short runs on the committed corpora"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DVELLORIA_FUZZ=ON \
    -DVELLORIA_TESTS=OFF -DVELLORIA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
  fuzzers=$(for f in tests/fuzz/*_fuzz.cc; do basename "$f" .cc; done)
  # shellcheck disable=SC2086
  cmake --build build-fuzz --target $fuzzers
  bash scripts/fuzz-smoke.sh build-fuzz 20
fi

echo "== Tests with ASan+UBSan"
run_ctest build-asan

echo "== Tests"
run_ctest build
