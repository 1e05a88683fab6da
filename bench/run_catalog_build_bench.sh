#!/usr/bin/env bash
# Builds the seeded 100,000- and 1,000,000-title catalogs with catalog-build and reads them
# back with our reader and mdb-export, printing times and peak memory.
# Usage: bench/run_catalog_build_bench.sh [BUILD-DIR]   (the catalogs go to BUILD-DIR/bench-work)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_catalog_build -j "$(nproc)"
mkdir -p "$build/bench-work"
for titles in 100000 1000000; do
  "$build/bin/bench_catalog_build" "$titles" "$build/bench-work"
done
