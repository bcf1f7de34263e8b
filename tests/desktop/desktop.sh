#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# What only a desktop shows, under Xvfb and openbox: (1) tools/run's demo opens on the
# simulator's table, with no first-start message, at the design's outer height; (2) with
# the keyboard alone the port is set on the system panel, a row loaded, changed and sent.
#   desktop.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
tools=(Xvfb openbox xdotool xwininfo xprop wmctrl)
type -P "${tools[@]}" >/dev/null || { echo "SKIP: one of ${tools[*]} is missing"; exit 0; }
work=$(mktemp -d)
pids=()
# pkill: the demo's simulator, whose command line names $work.
trap 'pkill -f "$work" || true; kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
until_ok() { for _ in {1..100}; do "$@" &>/dev/null && return 0; sleep 0.1; done; fail "timed out: $*"; }
shown() { xdotool search --onlyvisible --name "^$1\$"; }
ended() { ! kill -0 "$1" 2>/dev/null; }
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 & pids+=($!)
until_ok test -s "$work/display"
read -r display <"$work/display"
export DISPLAY=:$display
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 & pids+=($!)
until_ok wmctrl -m

MORVANE_DEMO=$work/demo "$top/tools/run" >"$work/run.out" 2>&1 & pids+=($!)
until_ok grep -q L9 "$work/demo/sim.log"
sleep 1
! shown 'Error Message' >/dev/null || fail "a message at the demo's start"
id=$(shown Morvane | head -n1)
frame=$(xprop -id "$id" _NET_FRAME_EXTENTS | tr -dc '0-9,' | cut -d, -f3,4 | tr , +)
height=$(($(xwininfo -id "$id" | awk '/Height:/ {print $2}') + frame))
[ "$height" = 405 ] || fail "first outer height $height, not 405"
wmctrl -c Morvane
until_ok ended "${pids[-1]}" # tools/run ends with the program

# The program set to port 9, which has no device; the simulator as COM3.
mkdir "$work/keys" && cd "$work/keys"
printf 'COMPORT,9,\r\n' >Morvane.SYS
"$bin/morvane-sim" --link COM3 --log sim.log >/dev/null & pids+=($!)
until_ok test -L COM3
"$bin/morvane" >app.out 2>&1 & pids+=($!)
until_ok shown Morvane
id=$(shown Morvane | head -n1)
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
! shown 'Error Message' >/dev/null || fail "a message in the keyboard scenario"
