#!/usr/bin/env bash
# Starts or stops the Wine session that the Windows tests share: the prefix named by WINEPREFIX,
# made once, and a Wine server kept running between tests so that each start is quick.
#
# Usage: wine_session.sh start|stop WINE
set -euo pipefail

wine=$2
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)

case $1 in
  start)
    mkdir -p "$WINEPREFIX"
    # Wine's helper processes outlive the commands that start them and keep their output open;
    # sent to a file, it cannot hold up whoever reads this script's output.
    log=$WINEPREFIX/session.log
    # Without a display, making the prefix opens no window. Setting it up goes on in background
    # processes; waiting for the server to end lets all of them finish first.
    DISPLAY= "$wine" wineboot --init >>"$log" 2>&1
    "$wineserver" -w
    "$wineserver" -p >>"$log" 2>&1
    # The first program in a new prefix is slow to start; later ones are not.
    DISPLAY= "$wine" cmd /c exit >>"$log" 2>&1
    echo "Wine prefix ready: $WINEPREFIX"
    ;;
  stop)
    "$wineserver" -k || true
    ;;
esac
