#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quorbix need,
# and only those that are missing; packages named as arguments join them.
set -euo pipefail
packages=(
  g++ cmake make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  mdbtools mdbtools-dev libseccomp-dev
  clang libclang-rt-14-dev
  libsqlite3-dev sqlite3
  xvfb xauth x11-utils imagemagick libxcb1-dev
  openbox twm xdotool
  qt6-wayland weston sway mutter wtype dbus-daemon dbus at-spi2-core libatspi2.0-dev grim
  fonts-dejavu-core fonts-liberation2 qt6-translations-l10n xfwm4
  dpkg-dev file lintian appstream desktop-file-utils man-db groff-base
  "$@"
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The independent Jet reader the catalog-builder tests run (npm mdb-reader, version pinned
# in tests/jet_reader/package-lock.json). Node and npm come with the machine image.
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ ! -d "$here/tests/jet_reader/node_modules/mdb-reader" ]; then
  (cd "$here/tests/jet_reader" && npm ci --no-audit --no-fund --loglevel=error)
fi
