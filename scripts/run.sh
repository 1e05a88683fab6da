#!/usr/bin/env bash
# Builds Quorbix and starts it beside the demonstration catalog. Usage: scripts/run.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
"$here/scripts/setup.sh"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The program, its reader process and the catalog copied beside them into $build/bin.
cmake --build "$build" -j "$(nproc)" --target quorbix quorbix-reader
exec "$build/bin/quorbix"
