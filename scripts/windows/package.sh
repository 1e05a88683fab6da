#!/usr/bin/env bash
# What a Windows user downloads, from the Windows build: quorbix-VERSION-win64.zip (the
# programs, the Qt libraries and plugins they load, the MinGW runtime, shareware.mdb and a
# README, ready to run from any folder) and quorbix-VERSION-setup.exe (NSIS), in the build folder.
# Usage: scripts/windows/package.sh [build-dir]
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(realpath -m "${1:-$here/build-win}")"
"$here/scripts/windows/build.sh" "$build"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
deps="$(sed -n 's/^QUORBIX_WIN_DEPS:[A-Z]*=//p' "$build/CMakeCache.txt")"
gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
name="quorbix-$version-win64"
stage="$build/package/$name"
rm -rf "$build/package" && mkdir -p "$stage/platforms" "$stage/styles"
cp "$build"/bin/{quorbix,quorbix-reader,catalog-dump,catalog-build}.exe "$build/bin/shareware.mdb" "$stage/"
cp "$deps"/bin/Qt6{Core,Gui,Widgets}.dll "$stage/"
cp "$deps/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$deps/plugins/styles/"*.dll "$stage/styles/" 2>/dev/null || true
for dll in libstdc++-6.dll libgcc_s_seh-1.dll; do cp "$gcc_dir/$dll" "$stage/"; done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$stage/"
# Qt finds its plugins beside the program.
printf '[Paths]\nPrefix = .\nPlugins = .\n' > "$stage/qt.conf"
sed 's/$/\r/' "$here/packaging/windows/README.txt" > "$stage/README.txt"
x86_64-w64-mingw32-strip "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll
(cd "$build/package" && rm -f "$build/$name.zip" && python3 -m zipfile -c "$build/$name.zip" "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$build/quorbix-$version-setup.exe" \
  "$here/packaging/windows/quorbix.nsi"
ls -l "$build/$name.zip" "$build/quorbix-$version-setup.exe"
