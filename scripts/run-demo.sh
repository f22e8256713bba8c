#!/usr/bin/env bash
# Installs whatever is missing, builds, creates the demo office when absent and
# starts the program on it: category type 1, caller code 12.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
bash demo/make-demo.sh demo/office build/bin
exec build/bin/velloria "${TIPO:-1}" "${CODE:-12}" "$PWD/demo/office/DATI/" ""
