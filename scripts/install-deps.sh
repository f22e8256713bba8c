#!/usr/bin/env bash
# Installs the Debian packages needed to build, run, test and benchmark the program.
# Safe to run again: only missing packages are installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libgl-dev libfontconfig-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-dbf python3-dbfread shapelib libshp-dev libdbd-xbase-perl
  fonts-wine fonts-dejavu-core adwaita-icon-theme shared-mime-info xdg-utils
  xvfb xauth xdotool x11-utils imagemagick
  zip trash-cli
  valgrind
  qt6-base-private-dev librsvg2-bin
  libreoffice-writer
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n locales
  dbus-daemon at-spi2-core python3-pyatspi
  samba smbnetfs fuse3 gvfs-fuse gvfs-backends iproute2
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

# The file server test runs its own smbd in a private network namespace: Debian's smbd and
# nmbd services must not start at install. A policy-rc.d that refuses every start does that
# for this run; one that was there before is kept as it is.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod 755 "$policy"
  trap '"${sudo_cmd[@]}" rm -f "$policy"' EXIT
fi
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 update -qq
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

# Where an init system runs, the services stay off at later boots too.
if command -v systemctl >/dev/null && [ -d /run/systemd/system ]; then
  for service in smbd nmbd samba-ad-dc; do
    "${sudo_cmd[@]}" systemctl disable --now "$service" >/dev/null 2>&1 || true
  done
fi
