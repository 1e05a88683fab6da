#!/usr/bin/env bash
# Installs the Debian 12 packages that cross-building, running (Wine) and packaging (NSIS)
# the Windows programs need, beside the Linux ones, and only those that are missing.
set -euo pipefail
exec "$(dirname "$0")/../setup.sh" g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 \
  ninja-build wine64 wine nsis xz-utils tcl
