#!/usr/bin/env bash
# desktop_under_wine.sh BIN WINDOW_RECT: the Windows program (BIN/quorbix.exe) as a user meets
# it under Wine, with Windows' own windows platform on Xvfb and openbox: the results window's
# first outer size, a drag below its minimum, the size stored in the registry and a new
# process reopening at it, a link handed to the shell's opener, and Exit ending every process.
# Prints what it saw; exits 1 at the first thing that is not as it should be.
set -u
bin=$1 rect=$2
for tool in Xvfb openbox xdotool wine; do
  command -v $tool >/dev/null || { echo "SKIP: needs $tool"; exit 0; }
done
work=$(mktemp -d)
display=":$((200 + $$ % 500))"
unset WINEQT_QPA_PLATFORM  # the real windows platform, whatever the tests around it use
export DISPLAY=$display WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix of its own: the test programs' prefix has no display.
export WINEPREFIX="$(cd "$bin/.." && pwd)/wine-desktop-prefix"
pids=()
finish() {
  wineserver -k 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for i in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
key='HKCU\Software\VB and VBA Program Settings\Quorbix\Options'
wine reg delete "$key" /f >/dev/null 2>&1
# The shell hands an address to winebrowser, which hands it to the first of these it can run.
printf '#!/bin/sh\necho "$1" >> %s/opened\n' "$work" > "$work/browser" && chmod +x "$work/browser"
wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$work/browser" /f >/dev/null 2>&1

main="Vantarel ver 2.0" results="Search Results for 'zip'"
waitFor() {  # title: until Windows shows it and X gives it the keyboard
  for i in $(seq 150); do
    wine "$rect" "$1" >/dev/null 2>&1 && [ "$(xdotool getwindowfocus getwindowname 2>/dev/null)" = "$1" ] && return 0
    sleep 0.2
  done
  fail "no window '$1' with the keyboard"
}
size() { wine "$rect" "$1" 2>/dev/null | tr -d '\r'; }
start() { (cd "$bin" && wine quorbix.exe >/dev/null 2>&1) & pids+=($!); waitFor "$main"; }
openResults() { xdotool type --delay 30 zip; xdotool key Return; waitFor "$results"; sleep 0.5; }
readers() { pgrep -fc 'quorbix-reader\.exe' || true; }

start
openResults
first=$(size "$results")
echo "first run: the results window: $first"
case "$first" in "outer 699x453 "*) ;; *) fail "first outer size is not 699x453";; esac
[ "$(readers)" -ge 1 ] || fail "no reader process while a catalog is open"
xdotool windowsize "$(xdotool getwindowfocus)" 200 100; sleep 1
dragged=$(size "$results")
echo "dragged to 200x100 client: $dragged"
case "$dragged" in "outer 699x453 "*) ;; *) fail "a drag below the minimum changed the size";; esac
xdotool windowsize "$(xdotool getwindowfocus)" 900 600; sleep 1
left=$(size "$results")
echo "dragged to 900x600 client: $left"
xdotool key Escape; waitFor "$main"
stored=$(wine reg query "$key" 2>/dev/null | tr -d '\r' | awk '/Screen(Width|Height)/ {printf "%s=%s ", $1, $3}')
echo "stored in the registry: $stored"
w=${left#outer }; w=${w%% *}
[ "$stored" = "ScreenHeight=$(( ${w#*x} * 15 )) ScreenWidth=$(( ${w%x*} * 15 )) " ] || fail "stored size is not the outer size in twips"
# Label3, the main window's web-site link, at 5760,240 twips: under the pointer, and a click.
xdotool mousemove --window "$(xdotool getwindowfocus)" $((5760 / 15 + 6)) $((240 / 15 + 6)) click 1
for i in $(seq 50); do [ -s "$work/opened" ] && break; sleep 0.2; done
echo "the shell's opener was handed: $(cat "$work/opened" 2>/dev/null)"
grep -q '^http' "$work/opened" 2>/dev/null || fail "no address reached the browser"
xdotool key alt+e
for i in $(seq 50); do [ "$(readers)" = 0 ] && ! pgrep -f 'quorbix\.exe' >/dev/null && break; sleep 0.2; done
echo "after Exit: $(pgrep -fc 'quorbix(-reader)?\.exe' || true) program processes left"
pgrep -f 'quorbix(-reader)?\.exe' >/dev/null && fail "a process outlived Exit"

start
openResults
again=$(size "$results")
echo "a new process: the results window: $again"
[ "${again%% at*}" = "${left%% at*}" ] || fail "the new process did not reopen at the stored size"
xdotool key Escape; waitFor "$main"; xdotool key alt+e
echo "PASS"
