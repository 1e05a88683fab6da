#!/usr/bin/env bash
# The Windows program on a desktop under Wine, on its own windows platform: Xvfb with openbox,
# the program started as users start it, driven by keys and by the window manager. Checks the
# results window's first outer size, that a drag below its least size is held there, the size
# kept in the registry (read back with `wine reg`) and a new process opening at it, a link
# handed to the platform's opener, and Exit ending every process, the reader's too.
# Usage: desktop_under_wine.sh BUILD-DIR
set -uo pipefail
build="$(cd "$1" && pwd)"
here="$(cd "$(dirname "$0")/../.." && pwd)"
source "$here/scripts/windows/wine-env.sh" "$build"
unset QT_QPA_PLATFORM
key='HKCU\Software\VB and VBA Program Settings\Quorbix\Options'
failures=0
check() {  # what, got, expected
  if [ "$2" = "$3" ]; then echo "ok: $1: $2"; else echo "FAIL: $1: got '$2', expected '$3'"; failures=$((failures + 1)); fi
}
display=":$((90 + RANDOM % 50))"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
export DISPLAY="$display"
sleep 1
openbox >/dev/null 2>&1 & wm=$!
# The address the platform's opener is handed, logged instead of opening a browser.
opened="$build/wine-opened.txt"; rm -f "$opened"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$here/tests/windows/log_address.sh" /f >/dev/null 2>&1
export QUORBIX_OPENED_LOG="$opened"
wine reg delete "$key" /f >/dev/null 2>&1
cleanup() { wineserver -k 2>/dev/null; kill "$wm" "$xvfb" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT

outer() {  # window id -> WxH of its frame, as the window manager draws it
  local frame
  frame="$(xwininfo -id "$1" -frame 2>/dev/null | sed -n 's/.*Width: //p;s/.*Height: //p' | paste -sd x)"
  echo "$frame"
}
start() {
  (cd "$build/bin" && exec wine quorbix.exe) >/dev/null 2>&1 &
  main="$(xdotool search --sync --onlyvisible --name '^Vantarel ver 2\.0$' | head -1)"
  sleep 1
}
open_results() {
  xdotool windowactivate --sync "$main" >/dev/null 2>&1; sleep 0.5
  xdotool type --delay 50 zip; xdotool key Return
  results="$(xdotool search --sync --onlyvisible --name "Search Results for 'zip'" | head -1)"
  sleep 1
}

start
open_results
check "first outer size of the results window" "$(xdotool getwindowgeometry "$results" | sed -n 's/.*Geometry: //p')" "699x453"
# A drag below the least size: the window answers the size query, and stays at its least size.
xdotool windowsize "$results" 400 300; sleep 1
check "a drag below the least size" "$(xdotool getwindowgeometry "$results" | sed -n 's/.*Geometry: //p')" "699x453"
xdotool windowsize "$results" 900 600; sleep 1
xdotool windowactivate --sync "$results" >/dev/null 2>&1; xdotool key Escape; sleep 1
stored="$(wine reg query "$key" 2>/dev/null | tr -d '\r' | awk '/ScreenWidth|ScreenHeight/ {print $1 "=" $3}' | sort | paste -sd ' ')"
echo "stored in the registry: $stored"
width="$(echo "$stored" | sed -n 's/.*ScreenWidth=\([0-9]*\).*/\1/p')"
check "a width kept in the registry" "$([ -n "$width" ] && [ "$width" -gt 10480 ] && echo kept)" "kept"
xdotool windowactivate --sync "$main" >/dev/null 2>&1; xdotool key alt+x; sleep 2
check "Exit ends every process" "$(pgrep -f 'quorbix(-reader)?\.exe' | wc -l)" "0"

start
open_results
check "a new process opens at the kept size" "$(xdotool getwindowgeometry "$results" | sed -n 's/.*Geometry: //p')" "900x600"
xdotool key Return; sleep 2  # the first title's details
detail="$(xdotool search --onlyvisible --name 'Software Details|Details' | head -1)"
echo "detail window: ${detail:-none}"
exit $((failures > 0))
