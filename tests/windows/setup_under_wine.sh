#!/usr/bin/env bash
# setup_under_wine.sh SETUP.exe WINDOW_RECT.exe CATALOG: the setup program as a Windows user
# runs it, under Wine in a prefix of its own: a silent install for all users, the installed
# program (with nothing but what it installed) showing its main window on the demonstration
# catalog and on CATALOG opened the way the shell opens a file with it, then a silent
# uninstall that leaves no file or key behind. Prints what it saw; exits 1 at the first fault.
set -u
setup=$1 rect=$2 catalog=$3
for tool in Xvfb openbox wine; do
  command -v $tool >/dev/null || { echo "SKIP: needs $tool"; exit 0; }
done
unset WINEPATH WINEQT_QPA_PLATFORM  # the installed program brings its own libraries
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=":$((200 + $$ % 500))"
export WINEPREFIX="$(cd "$(dirname "$setup")" && pwd)/wine-setup-prefix"
pids=()
finish() {
  wineserver -k 2>/dev/null
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }
Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids+=($!)
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
unix() { winepath -u "$1" 2>/dev/null; }
programs=$(unix "$(wine cmd /c 'echo %ProgramFiles%' 2>/dev/null | tr -d '\r')")
dir="$programs/Quorbix"
rm -rf "$dir"

wine "$setup" /S /AllUsers || fail "the setup program failed"
echo "installed: $(cd "$dir" 2>/dev/null && find . -type f | wc -l) files, $(du -sk "$dir" | cut -f1) KiB in $dir"
for f in quorbix.exe quorbix-reader.exe catalog-dump.exe catalog-build.exe shareware.mdb uninstall.exe platforms/qwindows.dll; do
  [ -f "$dir/$f" ] || fail "$f is not installed"
done
shown() {  # until the main window is shown, then close it
  for i in $(seq 100); do
    wine "$rect" "Vantarel ver 2.0" >/dev/null 2>&1 && { wineserver -k 2>/dev/null; return 0; }
    wine "$rect" "Confirmation Message" >/dev/null 2>&1 && fail "the catalog could not be opened"
    sleep 0.2
  done
  fail "no main window"
}
(cd /tmp && wine "$dir/quorbix.exe" >/dev/null 2>&1) & pids+=($!)
shown && echo "the installed program shows its main window on the demonstration catalog"

# Opened with it, as the shell opens a file with the program its class names.
command=$(wine reg query 'HKLM\Software\Classes\Quorbix.Catalog\shell\open\command' /ve 2>/dev/null | tr -d '\r' \
          | sed -n 's/.*REG_SZ *//p')
[ -n "$command" ] || fail "no open command registered"
mine="$(dirname "$programs")/users/Public/katalog.mdb"
cp "$catalog" "$mine"
wine reg query 'HKLM\Software\Classes\.mdb\OpenWithProgids' 2>/dev/null | grep -q Quorbix.Catalog || fail ".mdb does not list the program"
exe=${command%%\" *}; exe=${exe#\"}
(wine "$exe" 'C:\users\Public\katalog.mdb' >/dev/null 2>&1) & pids+=($!)
for i in $(seq 50); do pgrep -af 'quorbix-reader' | grep -q 'katalog.mdb' && break; sleep 0.2; done
pgrep -af 'quorbix-reader' | grep -q 'katalog.mdb' || fail "the catalog opened with the program was not read"
shown && echo "opened with the program ($command): its reader reads katalog.mdb"
rm -f "$mine"

wine "$dir/uninstall.exe" /S /AllUsers
for i in $(seq 100); do [ -d "$dir" ] || break; sleep 0.2; done
[ -d "$dir" ] && fail "left behind: $(cd "$dir" && find . | head)"
wine reg query 'HKLM\Software\Classes\Quorbix.Catalog' >/dev/null 2>&1 && fail "the file class is still registered"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorbix' >/dev/null 2>&1 && fail "still listed as installed"
echo "uninstalled: no file, no class, no entry left"
echo PASS
