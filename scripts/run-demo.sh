#!/usr/bin/env bash
# Installs whatever is missing, builds the program and the table tool (not the tests),
# creates the demo office when absent and starts the program on it: category type 1,
# caller code 5, which never closes the window by itself (CODE=12 shows the idle close).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target velloria xbtool
bash demo/make-demo.sh demo/office build/bin
exec build/bin/velloria "${TIPO:-1}" "${CODE:-5}" "$PWD/demo/office/DATI/" ""
