#!/usr/bin/env bash
# Builds and runs the catalog benchmark on the large fixture catalogs.
# Usage: bench/run_catalog_bench.sh FIXTURES-DIR [BUILD-DIR]
#   FIXTURES-DIR holds large-20k.mdb and large-100k.mdb.gz, and may hold large-1m.mdb.gz;
#   the packed ones are unpacked into BUILD-DIR (never into the source tree).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
fixtures="${1:?usage: $0 FIXTURES-DIR [BUILD-DIR]}"
build="${2:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target bench_catalog -j "$(nproc)"
catalogs=("$here/tests/data/basic.mdb" "$fixtures/large-20k.mdb")
for name in large-100k large-1m; do
  if [ ! -s "$build/$name.mdb" ] && [ -s "$fixtures/$name.mdb.gz" ]; then
    gunzip -c "$fixtures/$name.mdb.gz" > "$build/$name.mdb.part" && mv "$build/$name.mdb.part" "$build/$name.mdb"
  fi
  if [ -s "$build/$name.mdb" ]; then catalogs+=("$build/$name.mdb"); fi
done
# basic.mdb first: its start-up tables take as long as those of the large catalogs.
"$build/bin/bench_catalog" "${catalogs[@]}"
