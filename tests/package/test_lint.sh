#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Packs the build tree as the two .debs and runs the distribution's checkers
# on them: lintian on each (errors and warnings fail, informational tags
# pass), appstreamcli on the metadata, desktop-file-validate on the menu
# entry, hardening-check on every program and systemd-analyze on the user
# units.
#   test_lint.sh BUILD_DIR CPACK
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-lint.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$2" --config "$1/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
cli=$(echo "$work"/morvane-cli_*.deb)
app=$(echo "$work"/morvane_*.deb)
dpkg -x "$cli" "$work/cli"
dpkg -x "$app" "$work/app"
share=$work/app/usr/share
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

for deb in "$cli" "$app"; do
    lintian --fail-on error,warning "$deb" || fail "lintian $(basename "$deb")"
done
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml || fail appstreamcli
desktop=$(desktop-file-validate "$share"/applications/*.desktop 2>&1 | grep -v ': hint: ' || true)
[ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
# Debian 12's own start files (Scrt1.o, crti.o) carry no control-flow marks,
# so no program linked here can show them. Fortified calls exist only where
# the compiler knows a buffer's size, which not every program has; the flags
# are the same for all, so one fortified program shows they are applied.
programs=("$work"/cli/usr/bin/* "$work"/app/usr/bin/*)
hardening-check --nocfprotection --nofortify "${programs[@]}" || fail hardening-check
grep -q 'Fortify Source functions: yes' <<<"$(hardening-check "${programs[@]}" || true)" ||
    fail "no program has fortified calls"

# The units as installed, but for the command: systemd looks for a bare name
# on its own fixed path, not in the scratch root, so the copy names the
# unpacked program. Documentation= is looked up among the package's pages.
# Unknown keys and bad values are only warned about: any output fails.
if command -v systemd-analyze >/dev/null; then
    units=$work/units
    mkdir -p "$units" "$work/xdg"
    chmod 700 "$work/xdg"
    cp "$work"/cli/usr/lib/systemd/user/* "$units"
    sed -i "s|^ExecStart=morvane-cli |ExecStart=$work/cli/usr/bin/morvane-cli |" "$units"/*.service
    man=()
    command -v man >/dev/null || man=(--man=no)
    out=$(XDG_RUNTIME_DIR=$work/xdg MANPATH=$work/cli/usr/share/man \
        systemd-analyze verify --user "${man[@]}" "$units"/* 2>&1) && [ -z "$out" ] ||
        fail "systemd-analyze verify: $out"
else
    echo "SKIP: no systemd-analyze, user units not verified"
fi
[ "$status" -eq 0 ] && echo PASS
exit "$status"
