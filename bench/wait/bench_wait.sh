#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real window waiting on a silent device, under a virtual X server with a
# window manager: the CPU share of one core over SECONDS inside the reply wait,
# read from /proc/PID/stat (and, finer, from the threads' scheduler times), and
# whether the window repaints within that wait once another window has covered
# it and gone. As a control, the same cover with the program stopped must show
# a window that was not repainted. Prints figures; asserts no time.
#
#   build/bin/bench_wait [SECONDS=20] [PROGRAM...]
#
# PROGRAM defaults to the morvane beside this script; name an older build as
# well to compare the two on the same machine. MORVANE_SIM overrides the
# simulator beside this script; BENCH_WAIT_SHOTS=DIR keeps the pictures there.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-20}
[ $# -gt 0 ] && shift
programs=()
for p in "$@"; do programs+=("$(realpath "$p")"); done
[ ${#programs[@]} -gt 0 ] || programs=("$here/morvane")
sim=$(realpath "${MORVANE_SIM:-$here/morvane-sim}")

# A session bus of its own: without one each Qt program under X starts a bus
# daemon and leaves it running.
if [ -z "${BENCH_WAIT_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
  exec env BENCH_WAIT_BUS=1 MORVANE_SIM="$sim" dbus-run-session -- \
    "$here/$(basename "$0")" "$seconds" "${programs[@]}"
fi

for tool in Xvfb openbox xdotool xwininfo xmessage import compare identify; do
  command -v "$tool" >/dev/null || { echo "bench_wait: $tool is missing (tools/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
# shellcheck disable=SC2317 # run by the trap
cleanup() {
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null || true; kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
wait_for() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "bench_wait: timed out: $*" >&2
  exit 1
}

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for test -s "$work/display"
DISPLAY=:$(cat "$work/display")
export DISPLAY
unset QT_QPA_PLATFORM
openbox >/dev/null 2>&1 &
pids+=($!)
wait_for sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

hz=$(getconf CLK_TCK)
# User and system time of every thread, in clock ticks (fields 14 and 15).
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
# Time on a CPU of every thread, in nanoseconds.
run_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ s += $1 } END { printf "%.0f", s }'; }
now() { date +%s.%N; }

# The window's place on the screen as X, Y, WIDTH and HEIGHT (xwininfo: the
# position xdotool gives is off by the frame's title bar under openbox).
place() {
  eval "$(xwininfo -id "$1" | awk -F: '
    /Absolute upper-left X/ { print "X=" $2 } /Absolute upper-left Y/ { print "Y=" $2 }
    /Width/ { print "WIDTH=" $2 } /Height/ { print "HEIGHT=" $2 }' | tr -d ' ')"
}
# The screen where the window is, as a picture.
shoot() { # window file
  place "$1"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}
# How many pixels of two same-sized pictures differ.
differ() { compare -metric AE "$1" "$2" null: 2>&1 >/dev/null | cut -d' ' -f1 || true; }
# Another window over the whole of this one, then gone; the picture taken
# a second after.
cover() { # window file
  place "$1"
  xmessage -geometry "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" \
    -bg black -fg black covered >/dev/null 2>&1 &
  local m=$!
  wait_for xdotool search --onlyvisible --class '^Xmessage$'
  sleep 1
  shoot "$1" "$work/covered.png"
  kill "$m"
  wait "$m" 2>/dev/null || true
  sleep 1
  shoot "$1" "$2"
}

status=0
n=0
for program in "${programs[@]}"; do
  n=$((n + 1))
  dir=$work/run$n
  mkdir -p "$dir"
  cd "$dir"
  # Port 1, 30 silent seconds an attempt, three attempts: a wait of 90 s.
  printf 'COMPORT,1,\r\nComTimeOut,30,\r\nComReTry,3,\r\n' >Morvane.SYS
  "$sim" --silent --link COM1 --log sim.log >/dev/null &
  simpid=$!
  pids+=("$simpid")
  wait_for test -L COM1
  "$program" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  wait_for grep -qx QT sim.log # the start-up's first command: the wait has begun
  win=$(xdotool search --sync --onlyvisible --pid "$pid" --name '^Morvane$' | head -n1)
  sleep 2 # the start-up's own work over

  t0=$(cpu_ticks "$pid") r0=$(run_ns "$pid") w0=$(now)
  sleep "$seconds"
  t1=$(cpu_ticks "$pid") r1=$(run_ns "$pid") w1=$(now)

  shoot "$win" "$dir/before.png"
  cover "$win" "$dir/after.png"
  hidden=$(differ "$dir/before.png" "$work/covered.png")
  changed=$(differ "$dir/before.png" "$dir/after.png")
  colours=$(identify -format %k "$dir/after.png")
  # The control: stopped, the program cannot repaint what the cover hid.
  kill -STOP "$pid"
  cover "$win" "$dir/stopped.png"
  kill -CONT "$pid"
  stale=$(differ "$dir/before.png" "$dir/stopped.png")
  place "$win"
  area=$((WIDTH * HEIGHT))
  # All of it happened inside the one wait: no message box has come yet.
  waiting=no
  if kill -0 "$pid" 2>/dev/null && ! xdotool search --onlyvisible --name '^Error Message$' >/dev/null; then
    waiting=yes
  fi

  awk -v p="$program" -v t="$((t1 - t0))" -v hz="$hz" -v r="$((r1 - r0))" \
    -v w0="$w0" -v w1="$w1" -v waiting="$waiting" 'BEGIN {
      wall = w1 - w0
      printf "%s\n", p
      printf "  silent reply wait, real window under Xvfb and openbox, %.1f s measured\n", wall
      printf "  CPU share        %.3f %% of one core (/proc/PID/stat: %d ticks of 1/%d s)\n",
        100 * t / hz / wall, t, hz
      printf "  scheduler time   %.3f %% of one core (%.1f ms over all threads)\n",
        100 * r / 1e9 / wall, r / 1e6
      printf "  still waiting    %s (no message box yet, after the repaint checks too)\n", waiting
    }'
  # Repainted: the cover hid most of the window, and a second after it went
  # the window looks as before, not blank; while the stopped program could
  # not repaint, most of it looked otherwise.
  painted=no control=no
  [ "$stale" -gt $((area / 2)) ] && control=yes
  if [ "$hidden" -gt $((area / 2)) ] && [ "$changed" -lt $((area / 100)) ] && [ "$colours" -gt 8 ] &&
    [ "$control" = yes ]; then
    painted=yes
  else
    status=1
  fi
  printf '  repaint          %s: of %d pixels, %d hidden by the cover, %d differ after it (%d colours)\n' \
    "$painted" "$area" "$hidden" "$changed" "$colours"
  printf '  control          %s: the program stopped, %d pixels differ after the same cover\n' \
    "$control" "$stale"
  sent=$(grep -c . sim.log || true)
  [ "$sent" -eq 1 ] || printf '  note             the simulator logged %d commands\n' "$sent"

  if [ -n "${BENCH_WAIT_SHOTS:-}" ]; then
    mkdir -p "$BENCH_WAIT_SHOTS/$n"
    cp "$dir"/*.png "$BENCH_WAIT_SHOTS/$n/"
  fi
  kill "$pid" "$simpid" 2>/dev/null || true
  wait "$pid" "$simpid" 2>/dev/null || true
  cd "$work"
done
exit "$status"
