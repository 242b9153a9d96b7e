#!/usr/bin/env bash
# Runs the Windows driver under Wine and waits for Wine to finish before the display goes away.
# Usage: run-windows-driver.sh WINE DRIVER.exe KORAVEL.exe
set -u
wine=$1
shift
"$wine" "$@"
status=$?
wineserver -w 2>/dev/null
exit $status
