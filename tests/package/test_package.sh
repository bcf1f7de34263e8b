#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the build tree as a .deb, checks that it depends on the Qt runtime
# and a Japanese font, unpacks it into a scratch root and runs the installed
# programs against the installed simulator, in a folder whose settings file
# names port 3: the window (headless) reads the whole table without touching
# a file, and morvane-cli shows the same table.
#   test_package.sh BUILD_DIR CPACK
set -euo pipefail
build=$1
cpack=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-package.XXXXXX")
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    tail -n 20 "$work"/run/*.out "$work"/run/sim.log >&2 2>/dev/null || true
    exit 1
}
wait_until() {
    for _ in $(seq 200); do "$@" && return 0; sleep 0.1; done
    fail "timed out: $*"
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(echo "$work"/pkg/*.deb)
[ -f "$deb" ] || fail "expected one .deb, got: $deb"
# Each dependency a word of its own, alternatives split at "|".
deps=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//')
for d in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 fonts-ipafont-gothic; do
    grep -qx "$d" <<<"$deps" || fail "Depends does not name $d"
done
dpkg -x "$deb" "$work/root"
bin=$work/root/usr/bin
version=$(dpkg-deb -f "$deb" Version)
[ "$("$bin/morvane-sim" --version)" = "morvane-sim $version" ] || fail "morvane-sim is not $version"

run=$work/run
mkdir -p "$run" && cd "$run"
printf 'COMPORT,3,\r\n' >Morvane.SYS
"$bin/morvane-sim" --link COM3 --log sim.log --table table.txt >sim.out 2>&1 &
pids+=($!)
wait_until test -L COM3
QT_QPA_PLATFORM=offscreen "$bin/morvane" >morvane.out 2>&1 &
pids+=($!)
wait_until grep -qx L9 sim.log
sleep 0.5
kill -0 "${pids[1]}" 2>/dev/null || fail "the program ended after start-up"
[ "$(cat Morvane.SYS)" = "$(printf 'COMPORT,3,\r\n')" ] && [ ! -e Morvane.DAT ] ||
    fail "start-up changed a file"
kill "${pids[1]}"
"$bin/morvane-cli" show >cli.out 2>&1 || fail "morvane-cli show failed"
[ "$(wc -l <cli.out)" = 11 ] && grep -q "^予約9:" cli.out || fail "morvane-cli showed another table"
echo "PASS"
