#!/usr/bin/env bash
# Builds the Windows programs and runs their tests under Wine (CMake's cross-compiling
# emulator), in a Wine prefix of their own.
# Usage: scripts/windows/test.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$here/build-win}")"
"$here/scripts/windows/build.sh" "$build"
source "$here/scripts/windows/wine-env.sh" "$build"
# One at a time: Wine serves every program of a prefix through one server, and a test that
# Wine itself stalls gets one more run.
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j 1 --repeat until-pass:2
# What a Windows user downloads, installed, opened and removed as a user would.
"$here/scripts/windows/package.sh" "$build"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
bash "$here/tests/windows/setup_under_wine.sh" "$build/quorbix-$version-setup.exe" "$build/bin/window-rect.exe" \
  "$here/tests/data/many-categories.mdb"
