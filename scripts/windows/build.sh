#!/usr/bin/env bash
# Builds the Windows programs (quorbix.exe, quorbix-reader.exe, catalog-dump.exe,
# catalog-build.exe and the test programs) with MinGW-w64, from the same CMake files.
# Usage: scripts/windows/build.sh [build-dir]   (default: build-win beside the sources)
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$here/build-win}"
"$here/scripts/windows/setup.sh"
deps="$("$here/scripts/windows/deps.sh")"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DQUORBIX_WIN_DEPS="$deps"
cmake --build "$build" -j "$(nproc)"
