#!/usr/bin/env bash
# Shows the Windows program's information box in a real window under Xvfb and dismisses it as a
# user would: with the mouse on OK, with the Escape key, and with the close action (Alt+F4).
# Each time the box must appear titled "Corvenmark Studio", wait while it is shown, and then
# let the program exit 0 having written nothing to standard output. Screenshots of the box are
# left in SCREENSHOT_DIR.
#
# Usage: desktop_window_test.sh WINE PROGRAM.exe SCREENSHOT_DIR
set -uo pipefail

wine=$1
program=$2
shots=$3
mkdir -p "$shots"
work=$(mktemp -d)
failures=0
passes=0

fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}

start_display() {
  for number in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do
      xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$xvfb" 2>/dev/null
  done
  echo "no X display could be started" >&2
  exit 1
}

# Runs the program with the given arguments, waits for its box and checks that it stays up,
# dismisses it with the named action, then checks how the program ended.
check_box() {
  local name=$1 action=$2
  local failuresBefore=$failures
  shift 2
  "$wine" "$program" "$@" >"$work/$name.out" 2>"$work/$name.err" &
  local pid=$!
  local window
  window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvenmark Studio$' | head -n 1)
  if [ -z "$window" ]; then
    fail "$name: no window titled 'Corvenmark Studio' appeared (the screen is in $shots/$name.png)"
    import -window root "$shots/$name.png"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  sleep 1
  kill -0 "$pid" 2>/dev/null || fail "$name: the program did not wait while its box was shown"
  import -window root "$shots/$name.png" || fail "$name: no screenshot"

  eval "$(xdotool getwindowgeometry --shell "$window")"
  case $action in
    # OK is the box's only button, centred at the foot of the box.
    click) xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 21)) click 1 ;;
    escape) xdotool windowfocus "$window" key Escape 2>/dev/null ;;
    close) xdotool windowfocus "$window" key alt+F4 2>/dev/null ;;
  esac

  local status=""
  for _ in $(seq 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"
      status=$?
      break
    fi
    sleep 0.1
  done
  if [ -z "$status" ]; then
    fail "$name: the box did not close on $action"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  [ "$status" -eq 0 ] || fail "$name: exit status $status, expected 0"
  [ -s "$work/$name.out" ] && fail "$name: wrote to standard output: $(head -c 200 "$work/$name.out")"
  [ "$failures" -eq "$failuresBefore" ] && passes=$((passes + 1))
}

# A Wine desktop started without a display (by a console test) cannot show windows, and Wine
# reuses the running one; end it so that the next start opens one on this display.
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver64)
"$wineserver" -k 2>/dev/null

start_display
trap '"$wineserver" -k 2>/dev/null; kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT

check_box no_arguments click
check_box gui_with_arguments escape --gui --query x y
check_box close_action close

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
