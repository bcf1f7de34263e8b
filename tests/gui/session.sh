#!/usr/bin/env bash
# One whole session as a person drives it: real mouse clicks and keys under
# Xvfb against morvane-sim. Start, click a reservation, change its time, send,
# open the system panel, restore the backup, confirm the settings. The
# simulator's traffic log is the evidence; screenshots land in OUT_DIR.
#   session.sh BIN_DIR [OUT_DIR]
set -euo pipefail
bin=$(cd "$1" && pwd)
out=${2:-$(mktemp -d)}
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  cp "$work"/{app.out,sim.log,Morvane.SYS,Morvane.DAT} "$out"/ 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done

fail() {
  echo "FAIL: $*"
  cat "$log" "$work/app.out" 2>/dev/null
  exit 1
}
# Waits (bounded) until "$@" succeeds.
until_ok() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  fail "timed out: $*"
}
logged() { [ "$(wc -l <"$log")" -ge "$1" ]; }
line() { sed -n "$1p" "$log"; }
shot() { sleep 0.6; import -window root "$out/$1.png"; }
click() { xdotool mousemove "$1" "$2" click 1; }

# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until_ok test -s "$work/display"
export DISPLAY=:$(cat "$work/display")
until_ok xdotool getdisplaygeometry
unset QT_QPA_PLATFORM

log=$work/sim.log
"$bin/morvane-sim" --link "$work/COM1" --log "$log" >"$work/sim.out" &
pids+=($!)
until_ok test -L "$work/COM1"
(cd "$work" && exec "$bin/morvane") >"$work/app.out" 2>&1 &
pids+=($!)

# First start in an empty folder: the settings file is missing.
until_ok xdotool search --onlyvisible --name '^Error Message$'
shot 01-first-start-message
xdotool mousemove 400 300 key Return # without a window manager the keys follow the pointer
until_ok logged 12
[ -f "$work/Morvane.SYS" ] || fail "no settings file"
shot 02-main-panel

# The list starts at (22,138), rows 21 pixels high: row 4 is reservation 3.
click 120 234
until_ok logged 13
[ "$(line 13)" = L3 ] || fail "row 4 did not send L3"
click 195 57 # the hour box
xdotool key ctrl+a type 21
xdotool key Tab
shot 03-edited
click 65 89 # 設定送信
until_ok logged 26
[ "$(line 14)" = D30015000000 ] || fail "the send was $(line 14)"
grep -q "21:00:00" <(iconv -f CP932 -t UTF-8 "$work/Morvane.DAT") || fail "backup lacks 21:00:00"
shot 04-sent

# A double-click on the main frame's empty border opens the system panel.
xdotool mousemove 200 366 click --repeat 2 --delay 80 1
shot 05-system-panel
click 327 190 # Back Up 読込: the clock, then the file's lines in order
until_ok logged 41
[ "$(line 27)" = QT ] && line 29 | grep -q '^N ' && [ "$(line 30)" = D00000000000 ] &&
  [ "$(line 33)" = D30015000000 ] || fail "the restore sent $(sed -n 27,41p "$log" | tr '\n' ' ')"
shot 06-restored
click 372 41 # 決　定: the table is read again
until_ok logged 53
shot 07-confirmed
xdotool key alt+F4 >/dev/null 2>&1 || true
echo "session passed: $(wc -l <"$log") commands; screenshots in $out"
