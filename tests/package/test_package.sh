#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the build tree as the two .debs and checks what each depends on: the
# CLI package on the Qt core and serial port runtimes and nothing of the GUI,
# the window's on morvane-cli of its own version, the widgets and a Japanese
# font. Each is unpacked into a root of its own. The CLI package's programs
# run first, before the window's package is unpacked: the simulator, and
# morvane-cli showing its table in a folder whose settings file names port 3.
# Then the window (headless) reads the whole table from the same simulator
# without touching a file.
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
# Each dependency of a field a line of its own, alternatives split at "|".
names() { dpkg-deb -f "$1" "$2" | tr ',|' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//'; }
has() { grep -qx "$2" <<<"$(names "$1" "${3:-Depends}")" || fail "$(basename "$1"): no $2 in ${3:-Depends}"; }
lacks() {
    local m
    m=$(grep -Ex "$2" <<<"$(names "$1" Depends)" || true)
    [ -z "$m" ] || fail "$(basename "$1") depends on" $m
}

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
cli=$(echo "$work"/pkg/morvane-cli_*_"$arch".deb)
[ -f "$cli" ] || fail "no morvane-cli package in: $(ls "$work/pkg")"
version=$(dpkg-deb -f "$cli" Version)
app=$work/pkg/morvane_${version}_$arch.deb
[ "$cli" = "$work/pkg/morvane-cli_${version}_$arch.deb" ] && [ -f "$app" ] ||
    fail "expected both packages at version $version, got: $(ls "$work/pkg")"

for d in libqt6core6 libqt6serialport6; do has "$cli" "$d"; done
lacks "$cli" 'libqt6(gui|widgets|waylandclient)6|qt6-wayland|fonts-.*|libx11-.*|libxcb.*|libwayland-.*|lib(e?gl|opengl)[0-9]'
for d in libqt6widgets6 fonts-ipafont-gothic; do has "$app" "$d"; done
has "$app" qt6-wayland Recommends
grep -qF "morvane-cli (= $version)" <<<"$(dpkg-deb -f "$app" Depends)" ||
    fail "morvane does not depend on morvane-cli (= $version)"
dups=$(comm -12 <(dpkg-deb -c "$cli" | awk '!/\/$/ {print $6}' | sort) \
                <(dpkg-deb -c "$app" | awk '!/\/$/ {print $6}' | sort))
[ -z "$dups" ] || fail "in both packages: $dups"

dpkg -x "$cli" "$work/cli"
bin=$work/cli/usr/bin
for p in morvane-sim morvane-cli; do
    [ "$("$bin/$p" --version)" = "$p $version" ] || fail "$p is not $version"
done
run=$work/run
mkdir -p "$run" && cd "$run"
printf 'COMPORT,3,\r\n' >Morvane.SYS
"$bin/morvane-sim" --link COM3 --log sim.log --table table.txt >sim.out 2>&1 &
pids+=($!)
wait_until test -L COM3
"$bin/morvane-cli" show >cli.out 2>&1 || fail "morvane-cli show failed"
[ "$(wc -l <cli.out)" = 11 ] && grep -q "^予約9:" cli.out || fail "morvane-cli showed another table"

# The window, from its own root; it must ask for the last row itself.
dpkg -x "$app" "$work/app"
asked=$(grep -cx L9 sim.log)
asked_again() { [ "$(grep -cx L9 sim.log)" -gt "$asked" ]; }
QT_QPA_PLATFORM=offscreen "$work/app/usr/bin/morvane" >morvane.out 2>&1 &
pids+=($!)
wait_until asked_again
sleep 0.5
kill -0 "${pids[1]}" 2>/dev/null || fail "the program ended after start-up"
[ "$(cat Morvane.SYS)" = "$(printf 'COMPORT,3,\r\n')" ] && [ ! -e Morvane.DAT ] ||
    fail "start-up changed a file"
echo "PASS"
