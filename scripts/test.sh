#!/usr/bin/env bash
# Builds Quorbix and runs every test (headless), then builds with clang in a second folder
# under AddressSanitizer and UndefinedBehaviorSanitizer (float-cast-overflow included): the
# catalog tests run there (the damaged-file walks too, each reader's sanitizer reports kept
# where the test reads them), and each fuzz target gets a short run (ctest label fuzz). Any
# finding fails. Last, the Windows programs are cross-built and their tests run under Wine.
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
cmake --build "$fuzz" -j "$(nproc)" --target fuzz_reader fuzz_criteria fuzz_filter_batch fuzz_frames fuzz_listing \
  catalog_tests
QT_QPA_PLATFORM=offscreen ctest --test-dir "$fuzz" -R '^catalog_test_' --output-on-failure -j "$(nproc)"
ctest --test-dir "$fuzz" -L fuzz --output-on-failure -j "$(nproc)"

# The Windows programs, cross-built, and their tests under Wine.
"$here/scripts/windows/test.sh" "$build-win"
