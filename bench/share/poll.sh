#!/usr/bin/env bash
# The document list's poll of a network folder on a folder of 10,000 documents, on the
# local disk and on the simulated share (0.2 ms a call by default): the time of one check
# and the calls it makes, beside a full listing (names and a stat of each).
# Usage: bench/share/poll.sh [BUILD_DIR] [DOCUMENTS] [DELAY_US]   (defaults: build, 10000, 200)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
documents=${2:-10000}
delay=${3:-200}
bench=$build/bin/folder_poll_bench
source bench/share/share_lib.sh
require_built "$bench" "$shim"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/share"
echo "local disk:"
"$bench" "$tmp/share" "$documents"
echo "simulated share ($delay us a call):"
LD_PRELOAD="$shim" VELLORIA_SHARE_FOLDER="$tmp/share" VELLORIA_SHARE_DELAY_US="$delay" \
  VELLORIA_SHARE_COUNTS="$tmp/counts" "$bench" "$tmp/share" "$documents"
echo "calls of the whole share run (9 checks, then 9 listings):"
sed 's/^/  /' "$tmp/counts"
