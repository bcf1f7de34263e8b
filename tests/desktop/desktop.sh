#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What only a desktop shows, under Xvfb with a window manager (openbox):
#   1. tools/run opens its demo on the simulator's table, without a first-start
#      message, and the window's outer height is the design's from the start;
#   2. a close asked for while the program waits on a silent device is carried
#      out once the action, its message box included, has ended;
#   3. with the keyboard alone, the port is set on the system panel and
#      confirmed, a row is loaded, changed and sent.
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

# Port 9 has no device; the simulator is COM3.
mkdir "$work/keys" && cd "$work/keys"
printf 'COMPORT,9,\r\n' >Morvane.SYS
"$bin/morvane-sim" --link COM3 --log sim.log >/dev/null &
pids+=($!)
until_ok test -L COM3
"$bin/morvane" >app.out 2>&1 &
until_ok xdotool search --onlyvisible --name '^Morvane$'
id=$(xdotool search --onlyvisible --name '^Morvane$' | head -n1)
keys() { xdotool windowactivate --sync "$id" key --delay 80 "$@"; }
# The system panel by its key, port 3 typed into Text1, Return confirms.
keys ctrl+comma ctrl+a 3 Return
until_ok grep -qx L9 sim.log
# Row 4 (reservation 3) loaded from the list, which has the focus now.
keys Down Down Down Down Down Return
until_ok grep -qx L3 sim.log
# The hour box is four Tab stops on; 21 typed there; Tab to 設定送信, Return.
keys Tab Tab Tab Tab ctrl+a 2 1 Tab Tab Tab Return
until_ok grep -q '^D300150000' sim.log
[ "$(grep -c . sim.log)" = 26 ] || fail "keyboard scenario sent: $(tr '\n' ' ' <sim.log)"
! xdotool search --onlyvisible --name '^Error Message$' >/dev/null || fail "a message in the keyboard scenario"
echo "desktop passed"
