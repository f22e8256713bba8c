#!/usr/bin/env bash
# Runs the volume Trash cases of platform_tests ($1) on a tmpfs of their own, mounted in a
# private mount namespace so that no other process sees it: first as root, then as the
# account nobody on a volume whose top it may not write. Exits 77 (skipped) with the
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
runtime=$(mktemp -d)
trap 'rmdir "$volume"; rm -rf "$runtime"' EXIT
unshare -m --propagation private bash -c '
  set -e
  mount -t tmpfs -o mode=0755 velloria-volume "$1" || exit 77
  VELLORIA_TEST_VOLUME="$1" "$2" --gtest_filter="VolumeTrash.*"
  umount "$1"
  mount -t tmpfs -o mode=0755 velloria-volume "$1"
  mkdir "$1/Ufficio"
  chown nobody:nogroup "$1/Ufficio" "$3"
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env XDG_RUNTIME_DIR="$3" VELLORIA_TEST_VOLUME_NO_RIGHTS="$1" \
    "$2" --gtest_filter="VolumeTrashWithoutRights.*"
' volume-trash "$volume" "$tests" "$runtime"
