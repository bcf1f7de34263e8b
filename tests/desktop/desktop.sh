#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What only a desktop shows, under Xvfb with a window manager (openbox):
#   1. tools/run opens its demo on the simulator's table, without a first-start
#      message, and the window's outer height is the design's from the start;
#   2. a close asked for while the program waits on a silent device is carried
#      out once the action, its message box included, has ended.
#   desktop.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
for tool in Xvfb openbox xdotool xwininfo xprop wmctrl; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done
work=$(mktemp -d)
cleanup() {
  pkill -f "$work" || true # tools/run's simulator and program, and the others
  kill "${pids[@]}" 2>/dev/null || true
  rm -rf "$work"
}
pids=()
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
until_ok() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "timed out: $*"
}
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until_ok test -s "$work/display"
export DISPLAY=:$(cat "$work/display")
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
pids+=($!)
until_ok wmctrl -m
not_running() { ! pgrep -f "$1" >/dev/null; }
# The outer height: the client's and the frame's top and bottom.
outer() {
  local id ext
  id=$(xdotool search --onlyvisible --name '^Morvane$' | head -n1)
  ext=$(xprop -id "$id" _NET_FRAME_EXTENTS | tr -dc '0-9,' | cut -d, -f3,4 | tr , +)
  echo $(($(xwininfo -id "$id" | awk '/Height:/ {print $2}') + ext))
}

MORVANE_DEMO=$work/demo "$top/tools/run" >"$work/run.out" 2>&1 &
pids+=($!)
until_ok grep -q L9 "$work/demo/sim.log"
sleep 1
! xdotool search --onlyvisible --name '^Error Message$' >/dev/null || fail "a message at the demo's start"
[ "$(outer)" = 405 ] || fail "first outer height $(outer), not 405"
wmctrl -c Morvane
until_ok not_running "$bin/morvane\$"

mkdir "$work/silent" && cd "$work/silent"
printf 'COMPORT,1,\r\n' >Morvane.SYS
"$bin/morvane-sim" --silent --link COM1 >/dev/null &
pids+=($!)
until_ok test -L COM1
"$bin/morvane" >app.out 2>&1 &
until_ok xdotool search --onlyvisible --name '^Morvane$'
wmctrl -c Morvane # while the device is waited on
until_ok xdotool search --onlyvisible --name '^Error Message$'
! not_running "$bin/morvane\$" || fail "closed before the action ended"
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Error Message$')" key Return
until_ok not_running "$bin/morvane\$"
echo "desktop passed"
