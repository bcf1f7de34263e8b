#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# shellcheck disable=SC2015 # "A && B || fail": fail when either does not hold
# Packs the two .debs, checks what each depends on, and runs each from a root
# of its own: morvane-cli shows the installed simulator's table before the
# window's package is there, then the window reads it without touching a file.
#   test_package.sh BUILD_DIR CPACK
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-package.XXXXXX")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; tail -n 20 "$work"/run/*.out "$work"/run/sim.log >&2 2>/dev/null; exit 1; }
wait_until() { for _ in {1..200}; do "$@" && return 0; sleep 0.1; done; fail "timed out: $*"; }
# Each dependency of a field a line of its own, alternatives split at "|".
names() { dpkg-deb -f "$1" "$2" | tr ',|' '\n' | sed 's/(.*)//; s/^ *//; s/ *$//'; }
has() { grep -qx "$2" <<<"$(names "$1" "$3")" || fail "$(basename "$1"): no $2 in $3"; }

"$2" --config "$1/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
arch=$(dpkg --print-architecture)
cli=$(echo "$work"/pkg/morvane-cli_*_"$arch".deb)
version=$(dpkg-deb -f "$cli" Version) || fail "no morvane-cli package in: $(ls "$work/pkg")"
app=$work/pkg/morvane_${version}_$arch.deb
[ "$(dpkg-deb -f "$app" Version)" = "$version" ] || fail "no morvane $version in: $(ls "$work/pkg")"

for d in libqt6core6 libqt6serialport6; do has "$cli" "$d" Depends; done
gui='libqt6(gui|widgets|waylandclient)6|qt6-wayland|fonts-.*|libx11-.*|libxcb.*|libwayland-.*|lib(e?gl|opengl)[0-9]'
gui=$(grep -Ex "$gui" <<<"$(names "$cli" Depends)" || true)
[ -z "$gui" ] || fail "morvane-cli depends on ${gui//$'\n'/ }"
for d in libqt6widgets6 fonts-ipafont-gothic; do has "$app" "$d" Depends; done
has "$app" qt6-wayland Recommends
grep -qF "morvane-cli (= $version)" <<<"$(dpkg-deb -f "$app" Depends)" ||
    fail "morvane does not depend on morvane-cli (= $version)"
dups=$(comm -12 <(dpkg-deb -c "$cli" | awk '!/\/$/ {print $6}' | sort) \
                <(dpkg-deb -c "$app" | awk '!/\/$/ {print $6}' | sort))
[ -z "$dups" ] || fail "in both packages: $dups"

dpkg -x "$cli" "$work/cli"
bin=$work/cli/usr/bin
for p in morvane-sim morvane-cli; do [ "$("$bin/$p" --version)" = "$p $version" ] || fail "$p is not $version"; done
mkdir "$work/run" && cd "$work/run"
printf 'COMPORT,3,\r\n' >Morvane.SYS
"$bin/morvane-sim" --link COM3 --log sim.log --table table.txt >sim.out 2>&1 & pids+=($!)
wait_until test -L COM3
"$bin/morvane-cli" show >cli.out 2>&1 || fail "morvane-cli show failed"
[ "$(wc -l <cli.out)" = 11 ] && grep -q "^予約9:" cli.out || fail "morvane-cli showed another table"

# The window, from its own root; it must ask for the last row itself.
dpkg -x "$app" "$work/app"
: >sim.log
QT_QPA_PLATFORM=offscreen "$work/app/usr/bin/morvane" >morvane.out 2>&1 & pids+=($!)
wait_until grep -qx L9 sim.log
sleep 0.5
kill -0 "${pids[-1]}" 2>/dev/null || fail "the program ended after start-up"
cmp -s Morvane.SYS <(printf 'COMPORT,3,\r\n') && [ ! -e Morvane.DAT ] || fail "start-up changed a file"
