#!/usr/bin/env bash
# Cross-builds the libraries the Windows programs link (Qt and SQLite) with MinGW-w64 from
# Debian's own source packages, the same versions as the host's, into a cache outside the
# clone keyed by those versions: only the first run on a machine pays for them.
# Prints the folder that holds them (the value for QUORBIX_WIN_DEPS).
# Usage: scripts/windows/deps.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
cache="${QUORBIX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorbix}/win64"
jobs="$(nproc)"
# Raised when the options below change, so that a cache built with other options is not used.
recipe=1
srcver() { dpkg-query -W -f='${source:Version}' "$1"; }
qt_ver="$(srcver qt6-base-dev)"
sqlite_ver="$(srcver libsqlite3-dev)"
prefix="$cache/deps-qt${qt_ver}-sqlite${sqlite_ver}-r${recipe}"
log() { echo "deps: $*" >&2; }

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$cache/src" "$prefix"

# The sources come from Debian's archive: a deb-src entry for the same suites as the binaries.
if ! apt-get source --print-uris -qq qt6-base="$qt_ver" >/dev/null 2>&1; then
  log "adding the source entries of Debian's archive"
  sed -n '/^Types:/s/deb$/deb-src/;p' /etc/apt/sources.list.d/debian.sources \
    > /etc/apt/sources.list.d/quorbix-deb-src.sources
  apt-get update -q >&2
fi

fetch_source() {  # package version -> extracted folder (Debian's patches applied)
  local pkg="$1" ver="$2" dir="$cache/src/$1-$2"
  if [ ! -d "$dir" ]; then
    (cd "$cache/src" && apt-get source -q --download-only "$pkg=$ver" >&2)
    local dsc="$cache/src/${pkg}_${ver#*:}.dsc"
    dpkg-source --no-check -x "$dsc" "$dir" >&2
  fi
  echo "$dir"
}

triple=x86_64-w64-mingw32

# SQLite: the amalgamation made on the host from Debian's tree, compiled for Windows.
if [ ! -f "$prefix/lib/libsqlite3.a" ]; then
  log "SQLite $sqlite_ver"
  src="$(fetch_source sqlite3 "$sqlite_ver")"
  b="$cache/build/sqlite3-$sqlite_ver"
  mkdir -p "$b" && (cd "$b" && "$src/configure" -q --disable-tcl >&2 && make -s sqlite3.c >&2)
  flags="-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_OMIT_LOAD_EXTENSION"
  $triple-gcc-posix $flags -c "$b/sqlite3.c" -o "$b/sqlite3.o"
  mkdir -p "$prefix/lib" "$prefix/include" "$prefix/lib/pkgconfig"
  $triple-ar rcs "$prefix/lib/libsqlite3.a" "$b/sqlite3.o"
  cp "$b/sqlite3.h" "$b/sqlite3ext.h" "$prefix/include/"
fi

# Qt: qtbase with the modules the programs use (Core, Gui, Widgets, Test), the windows and
# offscreen platforms and the native style, with its own copies of the small libraries.
# Tablets are left out: Debian's source does not carry the tablet interface's header. So is
# the DirectWrite 3 font database, which Qt builds only together with Direct2D.
if [ ! -f "$prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ]; then
  log "Qt $qt_ver (the first build takes a while)"
  src="$(fetch_source qt6-base "$qt_ver")"
  b="$cache/build/qt6-base-$qt_ver-r$recipe"
  cmake -S "$src" -B "$b" -G Ninja -Wno-dev \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=x86_64 \
    -DCMAKE_C_COMPILER=$triple-gcc-posix -DCMAKE_CXX_COMPILER=$triple-g++-posix \
    -DCMAKE_RC_COMPILER=$triple-windres -DCMAKE_FIND_ROOT_PATH="/usr/$triple" \
    -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
    -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DQT_BUILD_BENCHMARKS=OFF -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
    -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
    -DFEATURE_ico=OFF -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_directwrite3=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF >&2
  cmake --build "$b" -j "$jobs" >&2
  cmake --install "$b" >&2
fi

# Qt's offscreen platform on Windows draws with the fonts in its own lib/fonts folder.
mkdir -p "$prefix/lib/fonts"
cp /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf /usr/share/fonts/truetype/liberation2/*.ttf "$prefix/lib/fonts/" 2>/dev/null || true

touch "$prefix/.complete"
echo "$prefix"
