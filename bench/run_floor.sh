#!/usr/bin/env bash
# The floor under a catalog's load: the time to read the file once from a warm cache, and the
# reader process's time to decode the Software table's pages and send its rows with nothing
# kept (its output thrown away). Run it beside bench_catalog, on the same files.
# Usage: bench/run_floor.sh [BUILD-DIR] CATALOG.mdb [CATALOG.mdb ...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build"
if [ -d "${1:-}" ]; then build="$1"; shift; fi
reader="$build/bin/quorbix-reader"
# One ReadTable request (frame kind 16, the name as a counted string), then end of input.
request() {
  local name="$1" n=${#1}
  printf '%08x' $((n + 5)) | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf '\x10'
  printf '%08x' "$n" | sed 's/\(..\)\(..\)\(..\)\(..\)/\\x\4\\x\3\\x\2\\x\1/' | xargs -0 printf
  printf '%s' "$name"
}
for catalog in "$@"; do
  cat "$catalog" > /dev/null  # warm the cache first
  echo "$catalog"
  TIMEFORMAT="  cat FILE > /dev/null (warm):            %3R s wall, %3U s user, %3S s system"
  time cat "$catalog" > /dev/null
  TIMEFORMAT="  reader, Software decoded, nothing kept: %3R s wall, %3U s user, %3S s system"
  time (request Software | "$reader" "$catalog" > /dev/null)
done
