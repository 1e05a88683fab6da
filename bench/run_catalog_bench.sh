#!/usr/bin/env bash
# Builds and runs the catalog benchmark on the large fixture catalogs.
# Usage: bench/run_catalog_bench.sh FIXTURES-DIR [BUILD-DIR]
#   FIXTURES-DIR holds large-20k.mdb and large-100k.mdb.gz; the latter is unpacked into
#   BUILD-DIR (never into the source tree).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
fixtures="${1:?usage: $0 FIXTURES-DIR [BUILD-DIR]}"
build="${2:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_catalog -j "$(nproc)"
if [ ! -s "$build/large-100k.mdb" ]; then
  gunzip -c "$fixtures/large-100k.mdb.gz" > "$build/large-100k.mdb"
fi
# basic.mdb first: its start-up tables take as long as those of the large catalogs.
"$build/bin/bench_catalog" "$here/tests/data/basic.mdb" "$fixtures/large-20k.mdb" "$build/large-100k.mdb"
