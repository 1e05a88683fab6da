#!/usr/bin/env bash
# Installs the Debian 12 packages that cross-building, running (Wine) and packaging (NSIS)
# the Windows programs need, and only those that are missing.
set -euo pipefail
"$(dirname "$0")/../setup.sh"
packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 ninja-build
          wine64 wine nsis dpkg-dev xz-utils tcl)
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
