#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# Packs the build tree as a .deb and runs the distribution's checkers on it:
# lintian (errors and warnings fail, informational tags pass), appstreamcli
# on the metadata, desktop-file-validate on the menu entry and
# hardening-check on every program.
#   test_lint.sh BUILD_DIR CPACK
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/morvane-lint.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$2" --config "$1/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; exit 1; }
deb=$(echo "$work"/*.deb)
dpkg -x "$deb" "$work/root"
share=$work/root/usr/share
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

lintian --fail-on error,warning "$deb" || fail lintian
appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml || fail appstreamcli
desktop=$(desktop-file-validate "$share"/applications/*.desktop 2>&1 | grep -v ': hint: ' || true)
[ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
# Debian 12's own start files (Scrt1.o, crti.o) carry no control-flow marks,
# so no program linked here can show them. Fortified calls exist only where
# the compiler knows a buffer's size, which not every program has; the flags
# are the same for all, so one fortified program shows they are applied.
hardening-check --nocfprotection --nofortify "$work"/root/usr/bin/* || fail hardening-check
grep -q 'Fortify Source functions: yes' <<<"$(hardening-check "$work"/root/usr/bin/* || true)" ||
    fail "no program has fortified calls"
[ "$status" -eq 0 ] && echo PASS
exit "$status"
