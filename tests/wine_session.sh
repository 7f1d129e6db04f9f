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
    # processes; waiting for the server to end lets all of them finish first. Now and then a new
    # prefix comes out unable to start a program (kernel32.dll not found); one made again from
    # scratch does not.
    for attempt in 1 2; do
      DISPLAY= "$wine" wineboot --init >>"$log" 2>&1 || true
      "$wineserver" -w
      "$wineserver" -p >>"$log" 2>&1
      # The first program in a new prefix is slow to start; later ones are not.
      if DISPLAY= "$wine" cmd /c exit >>"$log" 2>&1; then
        echo "Wine prefix ready: $WINEPREFIX"
        exit 0
      fi
      echo "attempt $attempt: the new prefix starts no program; making it again" >>"$log"
      "$wineserver" -k || true
      "$wineserver" -w || true
      find "$WINEPREFIX" -mindepth 1 -not -name session.log -delete
    done
    cat "$log"
    exit 1
    ;;
  stop)
    "$wineserver" -k || true
    ;;
esac
