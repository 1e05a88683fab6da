#!/usr/bin/env bash
# Builds Quorbix and runs every test (headless), then builds the fuzz targets with clang in
# a second folder and gives each a short run (ctest label fuzz), which fails on any finding.
# Usage: scripts/test.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
fuzz="$build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORBIX_FUZZ=ON
cmake --build "$fuzz" -j "$(nproc)" --target fuzz_reader fuzz_criteria
ctest --test-dir "$fuzz" -L fuzz --output-on-failure
