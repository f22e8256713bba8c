#!/usr/bin/env bash
# Builds the Debian package with CPack and checks it end to end: its file list and
# dependencies, the program run from the unpacked files under Xvfb, then installed with apt,
# run from PATH on the demo office, and removed again without a file left behind.
# Usage: scripts/package-check.sh [BUILD_DIR]   (default build-package; needs root or sudo)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-package}
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

fail() { echo "package-check: FAIL: $*" >&2; exit 1; }
step() { echo "package-check: $*"; }

tmp=$(mktemp -d)
pids=()
installed=no
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  if [ "$installed" = yes ]; then
    "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 purge -y -qq velloria >/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# --- Build the package -------------------------------------------------------------------
step "building in $build"
[ -f "$build/CMakeCache.txt" ] ||
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELLORIA_WERROR=ON \
    -DVELLORIA_TESTS=OFF -DVELLORIA_BENCH=OFF >/dev/null
cmake --build "$build" --target velloria xbtool xbengine -j2 >/dev/null
rm -f "$build"/velloria_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velloria_*.deb)
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
step "built $(basename "$deb")"

# --- File list and dependencies ----------------------------------------------------------
expected="./usr/bin/velloria
./usr/bin/xbtool
./usr/lib/libxbengine.so
./usr/share/applications/velloria.desktop
./usr/share/icons/hicolor/scalable/apps/velloria.svg
./usr/share/man/man1/velloria.1
./usr/share/man/man1/xbtool.1"
actual=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
[ "$actual" = "$expected" ] || fail "unexpected file list:
$actual"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 fonts-wine; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
step "file list and dependencies as expected (Depends: $depends)"

# --- A private X server and the demo office ---------------------------------------------
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$tmp/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$tmp/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Runs a program under the X server with a private HOME and the dynamic loader's log,
# which shows where the engine library was loaded from; returns the program's status.
run_logged() {
  local log=$1; shift
  HOME="$tmp/home" LD_DEBUG=files LD_DEBUG_OUTPUT="$log" timeout 30 "$@" >/dev/null 2>&1
}
# The engine library the loader mapped, as a canonical path.
engine_loaded_from() {
  cat "$1".* 2>/dev/null | sed -n 's/.*calling init: \(.*libxbengine\.so\)$/\1/p' |
    sort -u | xargs -r realpath
}

# --- The unpacked package ----------------------------------------------------------------
root="$tmp/root"
dpkg-deb -x "$deb" "$root"
mkdir "$tmp/home"
step "starting the unpacked program without arguments"
run_logged "$tmp/unpacked" "$root/usr/bin/velloria" &
runner=$!
# The general message is an error box, as a failed load of the engine library is: which
# one it was the loader's record tells below.
box=$(timeout 15 xdotool search --sync --onlyvisible --name '^Error$' | head -1) ||
  fail "the unpacked program did not show its start-up box"
# The box closes on the key, so xdotool's own follow-up on the window may fail.
xdotool key --window "$box" Return 2>/dev/null || true
status=0
wait "$runner" || status=$?
[ "$status" -eq 1 ] || fail "the unpacked program ended with status $status, not 1"
loaded=$(engine_loaded_from "$tmp/unpacked")
[ "$loaded" = "$(realpath "$root/usr/lib/libxbengine.so")" ] ||
  fail "engine library not loaded from the unpacked package: ${loaded:-nothing}"
step "unpacked program reached its start-up box; engine loaded from $loaded"

# --- Installed with apt ------------------------------------------------------------------
before="$tmp/before.txt"
find /usr /etc -xdev \( -type f -o -type l \) 2>/dev/null | sort >"$before"
step "apt install $(basename "$deb")"
installed=yes
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq "$deb" >/dev/null
[ "$(command -v velloria)" = /usr/bin/velloria ] || fail "velloria is not on PATH"
man -w velloria >/dev/null && man -w xbtool >/dev/null || fail "manual pages not found"

bash demo/make-demo.sh "$tmp/office" /usr/bin >/dev/null
step "starting velloria from PATH on the demo office"
export VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING=1
status=0
run_logged "$tmp/installed" velloria 1 5 "$tmp/office/DATI/" "" || status=$?
unset VELLORIA_EXIT_AFTER_SHOW_FOR_TESTING
[ "$status" -eq 0 ] || fail "installed velloria ended with status $status"
loaded=$(engine_loaded_from "$tmp/installed")
[ "$loaded" = /usr/lib/libxbengine.so ] ||
  fail "engine library not loaded from /usr/lib: ${loaded:-nothing}"
/usr/bin/xbtool check "$tmp/office/Stampe/STAMPE.DBF" >/dev/null ||
  fail "the installed xbtool finds the demo table unsound"
step "installed velloria showed its window on the demo office and ended with status 0"

# --- Removed again -----------------------------------------------------------------------
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 purge -y -qq velloria >/dev/null
installed=no
after="$tmp/after.txt"
find /usr /etc -xdev \( -type f -o -type l \) 2>/dev/null | sort >"$after"
left=$(comm -13 "$before" "$after")
[ -z "$left" ] || fail "files left behind after removal:
$left"
dpkg-query -W velloria >/dev/null 2>&1 && fail "velloria still known to dpkg"
step "removed; no file left behind in /usr or /etc"
step "PASS"
