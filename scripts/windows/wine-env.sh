# Sourced: the environment the Windows programs of build folder $1 run in under Wine: a
# prefix of their own, the MinGW runtime and the Qt libraries on the DLL search path, and a
# wineserver kept for the run.
build="$(cd "$1" && pwd)"
export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
deps="$(sed -n 's/^QUORBIX_WIN_DEPS:[A-Z]*=//p' "$build/CMakeCache.txt")"
gcc_dir="$(dirname "$(x86_64-w64-mingw32-g++-posix -print-libgcc-file-name)")"
winepath=""
for d in "$gcc_dir" /usr/x86_64-w64-mingw32/lib "$deps/bin"; do
  winepath="${winepath:+$winepath;}Z:${d//\//\\}"
done
export WINEPATH="$winepath"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init >/dev/null 2>&1 || true
fi
wineserver --persistent=60 >/dev/null 2>&1 || true
