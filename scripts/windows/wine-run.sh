#!/usr/bin/env bash
# CTest's emulator for the Windows test programs: runs one under Wine and prints its test log.
# (With no console window open, a Qt test on Windows logs to the debugger, not to stdout.)
log="$(mktemp)"
# Wine keeps the host's QT_* variables from Windows programs; WINE-prefixed, they reach them.
for v in $(compgen -e | grep '^QT_'); do export "WINE$v=${!v}"; done
wine "$@" -o "$log,txt"
rc=$?
cat "$log"
rm -f "$log"
exit $rc
