#!/usr/bin/env bash
# One whole session as a person drives it: real mouse clicks and keys under
# Xvfb against morvane-sim. Start, click a reservation, change its time, send,
# open the system panel, restore the backup, confirm the settings. The
# simulator's traffic log is the evidence; screenshots land in $OUT.
#
#   session.sh BIN_DIR [OUT_DIR]
set -euo pipefail
bin=$(cd "$1" && pwd)
out=${2:-$(mktemp -d)}
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  cp "$work/app.out" "$out/app.out" 2>/dev/null || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 0; }
done

# Xvfb picks a free display itself and writes its number to a file.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
dispnum=
for _ in $(seq 100); do
  dispnum=$(tr -dc 0-9 <"$work/display" 2>/dev/null || true)
  [ -n "$dispnum" ] && break
  sleep 0.1
done
[ -n "$dispnum" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=:$dispnum
ready=0
for _ in $(seq 100); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && { ready=1; break; }
  sleep 0.1
done
[ "$ready" = 1 ] || { echo "FAIL: display $DISPLAY not ready"; exit 1; }
unset QT_QPA_PLATFORM

log=$work/sim.log
"$bin/morvane-sim" --link "$work/COM1" --log "$log" >"$work/sim.out" &
pids+=($!)
for _ in $(seq 50); do [ -L "$work/COM1" ] && break; sleep 0.1; done

fail() {
  echo "FAIL: $*"
  echo "simulator log:"; cat "$log" 2>/dev/null
  echo "program output:"; cat "$work/app.out" 2>/dev/null
  exit 1
}
shot() { import -window root "$out/$1.png"; }
# Waits until the log has at least $1 lines (bounded).
wait_log() {
  for _ in $(seq 100); do
    [ "$(wc -l <"$log" 2>/dev/null || echo 0)" -ge "$1" ] && return 0
    sleep 0.1
  done
  fail "expected $1 commands in the log"
}
settle() { sleep 0.6; }
# Waits until a window with this title is mapped (bounded); prints its id.
wait_window() {
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$id" ] && {
      echo "$id"
      return 0
    }
    sleep 0.1
  done
  fail "no window \"$1\""
}
click() { xdotool mousemove "$1" "$2" click 1; }

(cd "$work" && exec "$bin/morvane") >"$work/app.out" 2>&1 &
app=$!
pids+=($app)

# First start in an empty folder: the settings file is missing.
wait_window "Error Message" >/dev/null
sleep 0.3
shot 01-first-start-message
# Without a window manager the keyboard follows the pointer.
xdotool mousemove 400 300 key Return
wait_window Morvane >/dev/null
wait_log 12
settle
shot 02-main-panel
[ -f "$work/Morvane.SYS" ] || fail "no settings file"

# The list starts at (22,138); rows are 21 pixels high. Row 4 is reservation 3.
click 120 234
wait_log 13
settle
[ "$(sed -n 13p "$log")" = "L3" ] || fail "row 4 did not send L3"

# The hour box: select its text and type a new hour.
click 195 57
xdotool key ctrl+a type 21
xdotool key Tab
settle
shot 03-edited
click 65 89 # 設定送信
wait_log 26
settle
shot 04-sent
[ "$(sed -n 14p "$log")" = "D30015000000" ] || fail "the send was not D30015000000: $(sed -n 14p "$log")"
[ -f "$work/Morvane.DAT" ] || fail "no backup file after the send"
grep -q "21:00:00" <(iconv -f CP932 -t UTF-8 "$work/Morvane.DAT") || fail "backup lacks the new time"

# Double-click the main frame's empty border area: the system panel.
xdotool mousemove 200 366 click --repeat 2 --delay 80 1
settle
shot 05-system-panel

click 327 190 # Back Up 読込
wait_log 41
settle
shot 06-restored
# Clock first, then the ten lines in file order, then a clock query.
[ "$(sed -n 27p "$log")" = "QT" ] || fail "the restore did not start with a clock query"
sed -n 29p "$log" | grep -q '^N ' || fail "the restore did not set the clock first"
[ "$(sed -n 30p "$log")" = "D00000000000" ] || fail "reservation 0 was not restored first"
[ "$(sed -n 33p "$log")" = "D30015000000" ] || fail "reservation 3 was not restored as sent"

click 372 41 # 決　定
wait_log 53
settle
shot 07-confirmed
kill -0 $app 2>/dev/null || fail "the program ended"

xdotool key alt+F4 >/dev/null 2>&1 || true
echo "session passed: $(wc -l <"$log") commands; screenshots in $out"
