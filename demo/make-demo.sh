#!/usr/bin/env bash
# Creates the demo office in DEST when it is absent: DATI/ (the calling application's
# data folder, with its marker file) and Stampe/ (STAMPE.DBF and the category folders).
# Usage: make-demo.sh DEST BIN_DIR   (BIN_DIR: where the build put velloria and its tools)
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 DEST BIN_DIR" >&2
  exit 2
fi
dest=$1
here=$(cd "$(dirname "$0")" && pwd)

if [ -e "$dest/Stampe/STAMPE.DBF" ] && [ -d "$dest/DATI" ]; then
  exit 0
fi
if [ -e "$dest" ] && [ -n "$(ls -A "$dest" 2>/dev/null)" ]; then
  echo "make-demo: $dest exists but is not a complete demo office; remove it and retry" >&2
  exit 1
fi

work="$dest.tmp.$$"
trap 'rm -rf "$work"' EXIT
rm -rf "$work"
# The engine's own tool writes the tables when the build has it.
xbtool=()
if [ -x "$2/xbtool" ]; then xbtool=("$2/xbtool"); fi
/usr/bin/python3 "$here/make_demo.py" "$work" "${xbtool[@]}"
rm -rf "$dest"
mv "$work" "$dest"
trap - EXIT
echo "make-demo: demo office created in $dest"
