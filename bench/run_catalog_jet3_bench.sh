#!/usr/bin/env bash
# Times the catalog layer on the 100,000-title catalog as Jet 3 beside its Jet 4.0 twin, in
# one run: large-100k is taken apart with catalog-dump and built again by catalog-build in
# both formats, so the two files hold the same rows.
# Usage: bench/run_catalog_jet3_bench.sh FIXTURES-DIR [BUILD-DIR]
#   FIXTURES-DIR holds large-100k.mdb.gz; everything unpacked or built goes to BUILD-DIR/bench-work.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
fixtures="${1:?usage: $0 FIXTURES-DIR [BUILD-DIR]}"
build="${2:-$here/build}"
work="$build/bench-work"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_catalog catalog-build catalog-dump -j "$(nproc)"
mkdir -p "$work"
if [ ! -s "$work/large-100k.mdb" ]; then
  gunzip -c "$fixtures/large-100k.mdb.gz" > "$work/large-100k.mdb"
fi
"$build/bin/catalog-dump" "$work/large-100k.mdb" > "$work/large-100k.txt"
"$build/bin/catalog-build" --format jet4 "$work/large-100k.txt" "$work/large-100k-jet4.mdb"
"$build/bin/catalog-build" --format jet3 "$work/large-100k.txt" "$work/large-100k-jet3.mdb"
ls -l "$work"/large-100k-jet?.mdb
"$build/bin/bench_catalog" "$work/large-100k-jet4.mdb" "$work/large-100k-jet3.mdb"
