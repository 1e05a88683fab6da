#!/usr/bin/env bash
# Makes the seeded catalogs in the build folder unless they are there: large-4m.mdb with
# 4,000,000 titles, and large-7m.mdb at the Jet 4.0 ceiling (7,430,000 titles, the most whose
# file stays under 2 GB); checks each against the generator, and runs the catalog,
# results-window and start-up benchmarks and the floor on them, and on large-1m.mdb when the
# build folder holds that too.
# Usage: bench/run_large_catalog_bench.sh [BUILD-DIR]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_large_catalog bench_catalog bench_results bench_startup quorbix-reader -j "$(nproc)"
catalogs=()
if [ -s "$build/large-1m.mdb" ]; then catalogs+=("$build/large-1m.mdb"); fi
for made in large-4m:4000000 large-7m:7430000; do
  catalog="$build/${made%%:*}.mdb" titles="${made##*:}"
  if [ ! -s "$catalog" ]; then
    "$build/bin/bench_large_catalog" build "$titles" "$catalog"
    "$build/bin/bench_large_catalog" check "$titles" "$catalog"
  fi
  catalogs+=("$catalog")
done
"$build/bin/bench_catalog" "${catalogs[@]}"
for c in "${catalogs[@]}"; do "$build/bin/bench_results" "$c"; done
"$build/bin/bench_startup" "${catalogs[@]}"
"$here/bench/run_floor.sh" "$build" "${catalogs[@]}"
