#!/usr/bin/env bash
# Packs the build tree as a .deb, checks that it depends on the Qt runtime
# and a Japanese font, unpacks it into a scratch root and runs the installed
# program against the installed simulator:
#   1. headless (offscreen) in a directory with a settings file that names
#      port 3, linked to the simulator: the whole table must be read;
#   2. first start in an empty directory on a virtual X server: the error box
#      comes up before any file exists, and once it is dismissed the settings
#      file holds the defaults and the whole table is read.
#
#   test_package.sh BUILD_DIR CPACK
set -euo pipefail

build=$1
cpack=$2
table_read="QT QS L0 L1 L2 L3 L4 L5 L6 L7 L8 L9 "

work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-package.XXXXXX")
pids=()
cleanup() {
    kill -TERM "${pids[@]}" 2>/dev/null || true
    sleep 0.5
    kill -KILL "${pids[@]}" 2>/dev/null || true
    wait
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*" >&2
    local f
    for f in "$work"/run*/*.out "$work"/run*/sim.log; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 20 "$f" >&2; }
    done
    exit 1
}

# Waits (at most $2 tenths of a second) until the command in $3... succeeds.
wait_until() {
    local what=$1 tenths=$2
    shift 2
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    fail "timed out waiting for $what"
}

# The simulator's log holds exactly one full table read.
table_was_read() {
    [ -f "$1" ] && [ "$(tr '\n' ' ' <"$1")" = "$table_read" ]
}

# --- the package
echo "== cpack"
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$work"/pkg/*.deb)
[ -f "$deb" ] || fail "expected one .deb, got: $deb"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Each dependency as a word of its own, alternatives split at "|".
dep_names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//')
for d in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 fonts-ipafont-gothic; do
    grep -qx "$d" <<<"$dep_names" || fail "Depends does not name $d"
done

root=$work/root
dpkg -x "$deb" "$root"
morvane=$root/usr/bin/morvane
sim=$root/usr/bin/morvane-sim

# Starts the installed simulator linked as $1 with its log in $2.
start_sim() {
    "$sim" --link "$1" --log "$2" --table "$(dirname "$2")/table.txt" \
        >"$(dirname "$2")/sim.out" 2>&1 &
    pids+=($!)
    wait_until "the simulator's link $1" 50 test -L "$1"
}

# --- 1. headless, settings file present
echo "== headless start with port 3"
run=$work/run1
mkdir -p "$run"
printf 'COMPORT,3,\r\n' >"$run/Morvane.SYS"
start_sim "$run/COM3" "$run/sim.log"
(cd "$run" && QT_QPA_PLATFORM=offscreen exec "$morvane") >"$run/morvane.out" 2>&1 &
mpid=$!
pids+=("$mpid")
wait_until "the table read on COM3" 200 table_was_read "$run/sim.log"
sleep 0.5
kill -0 "$mpid" 2>/dev/null || fail "the program ended after start-up"
[ "$(cat "$run/Morvane.SYS")" = "$(printf 'COMPORT,3,\r\n')" ] || fail "settings file changed"
[ ! -e "$run/Morvane.DAT" ] || fail "start-up wrote a backup file"
kill -TERM "$mpid"

# --- 2. first start in an empty directory, on a virtual X server
echo "== first start in an empty directory"
command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
    fail "needs Xvfb and xdotool (tools/install-deps installs them)"
run=$work/run2
mkdir -p "$run"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" >"$run/xvfb.out" 2>&1 &
pids+=($!)
wait_until "the X server" 100 test -s "$run/display"
display=:$(cat "$run/display")
start_sim "$run/COM1" "$run/sim.log"
(cd "$run" && DISPLAY=$display QT_QPA_PLATFORM=xcb exec "$morvane") >"$run/morvane.out" 2>&1 &
mpid=$!
pids+=("$mpid")
box=$(DISPLAY=$display timeout 20 xdotool search --sync --name '^Error Message$' | head -n1) ||
    true
[ -n "$box" ] || fail "no error box on the first start"
[ ! -e "$run/Morvane.SYS" ] || fail "settings file written before the message was confirmed"
[ ! -s "$run/sim.log" ] || fail "device queried before the message was confirmed"
DISPLAY=$display xdotool windowfocus --sync "$box" key Return
wait_until "the settings file" 100 test -s "$run/Morvane.SYS"
wait_until "the table read on COM1" 200 table_was_read "$run/sim.log"
kill -0 "$mpid" 2>/dev/null || fail "the program ended after start-up"
# Defaults in code page 932 with CR LF; line 1's comment is 通信ﾎﾟｰﾄ番号.
mapfile -t sys <"$run/Morvane.SYS"
[ ${#sys[@]} -eq 9 ] || fail "settings file has ${#sys[@]} lines, expected 9"
[ "${sys[0]}" = "$(printf 'COMPORT,1,\x92\xca\x90\x4d\xce\xdf\xb0\xc4\x94\xd4\x8d\x86\r')" ] ||
    fail "line 1 of the settings file: $(printf '%s' "${sys[0]}" | od -An -tx1)"
[[ ${sys[1]} == "BAUDRATE,9600,  "* ]] || fail "line 2 of the settings file: ${sys[1]}"
[ "${sys[7]}" = "BackUpFile,$run/Morvane.DAT,"$'\r' ] || fail "line 8 of the settings file: ${sys[7]}"
[ "${sys[8]}" = $'\r' ] || fail "line 9 of the settings file is not empty"

echo "PASS"
