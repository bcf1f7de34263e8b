#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the two .debs and runs the distribution's checkers on them: lintian
# (errors and warnings fail), appstreamcli, desktop-file-validate,
# hardening-check and systemd-analyze. Every checker runs; any failure fails.
#   test_lint.sh BUILD_DIR CPACK
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-lint.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$2" --config "$1/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
cli=$(echo "$work"/morvane-cli_*.deb) app=$(echo "$work"/morvane_*.deb)
dpkg -x "$cli" "$work/cli" && dpkg -x "$app" "$work/app"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

lintian --fail-on error,warning "$cli" || fail "lintian morvane-cli"
lintian --fail-on error,warning "$app" || fail "lintian morvane"
appstreamcli validate --no-net "$work"/app/usr/share/metainfo/*.metainfo.xml || fail appstreamcli
desktop=$(desktop-file-validate "$work"/app/usr/share/applications/*.desktop 2>&1 | grep -v ': hint: ' || true)
[ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
# Debian 12's start files carry no control-flow marks; fortified calls exist
# only where a buffer's size is known, so one fortified program will do.
programs=("$work"/cli/usr/bin/* "$work"/app/usr/bin/*)
hardening-check --nocfprotection --nofortify "${programs[@]}" || fail hardening-check
grep -q 'Fortify Source functions: yes' <<<"$(hardening-check "${programs[@]}" || true)" ||
    fail "no program has fortified calls"

# The units as installed, but naming the unpacked program, since systemd looks
# for a bare name on its own path. Any output (an unknown key, a bad value) fails.
if command -v systemd-analyze >/dev/null; then
    mkdir -m 700 "$work/units" "$work/xdg"
    cp "$work"/cli/usr/lib/systemd/user/* "$work/units"
    sed -i "s|^ExecStart=morvane-cli |ExecStart=$work/cli/usr/bin/morvane-cli |" "$work"/units/*.service
    man=()
    command -v man >/dev/null || man=(--man=no)
    out=$(XDG_RUNTIME_DIR=$work/xdg MANPATH=$work/cli/usr/share/man \
        systemd-analyze verify --user "${man[@]}" "$work"/units/* 2>&1) || out+=" (failed)"
    [ -z "$out" ] || fail "systemd-analyze verify: $out"
else
    echo "SKIP: no systemd-analyze, user units not verified"
fi
exit "$status"
