#!/usr/bin/env bash
# Makes the seeded catalog at the Jet 4.0 ceiling (7,430,000 generated titles: the most whose
# file stays under 2 GB) in the build folder unless it is there, checks it against the
# generator, and runs the catalog, results-window and start-up benchmarks on it, and on
# large-1m.mdb when the build folder holds that too.
# Usage: bench/run_large_catalog_bench.sh [BUILD-DIR] [TITLES]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
titles="${2:-7430000}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_large_catalog bench_catalog bench_results bench_startup -j "$(nproc)"
catalog="$build/large-4m.mdb"
if [ ! -s "$catalog" ]; then
  "$build/bin/bench_large_catalog" build "$titles" "$catalog"
  "$build/bin/bench_large_catalog" check "$titles" "$catalog"
fi
catalogs=()
if [ -s "$build/large-1m.mdb" ]; then catalogs+=("$build/large-1m.mdb"); fi
catalogs+=("$catalog")
"$build/bin/bench_catalog" "${catalogs[@]}"
for c in "${catalogs[@]}"; do "$build/bin/bench_results" "$c"; done
"$build/bin/bench_startup" "${catalogs[@]}"
