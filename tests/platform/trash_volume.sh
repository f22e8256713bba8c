#!/usr/bin/env bash
# Runs the volume Trash cases of platform_tests ($1) on a tmpfs of their own, mounted in a
# private mount namespace so that no other process sees it. Exits 77 (skipped) with the
# reason when that cannot be done.
set -euo pipefail
tests=$1
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: mounting a file system for the volume Trash needs root"
  exit 77
fi
if ! unshare -m --propagation private true 2>/dev/null; then
  echo "skipped: no private mount namespace can be made here"
  exit 77
fi
volume=$(mktemp -d)
trap 'rmdir "$volume"' EXIT
unshare -m --propagation private bash -c '
  mount -t tmpfs -o mode=0755 velloria-volume "$1" || exit 77
  VELLORIA_TEST_VOLUME="$1" "$2" --gtest_filter="VolumeTrash.*"
' volume-trash "$volume" "$tests"
