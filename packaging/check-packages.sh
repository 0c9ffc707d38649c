#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Builds the release packages and checks them with the distribution's own
# checkers; any finding of any of them fails the run:
#   lintian                 every .deb (Debian's default profile: errors and warnings)
#   reuse lint              the source tree's licence information
#   appstreamcli validate   the AppStream data in the packages, --pedantic; --no-net
#                           because the screenshot's address is not fetched here
#   desktop-file-validate   every desktop entry in the packages
#   man --warnings          every manual page in the packages, and one for
#                           every command they install
# Needs lintian, reuse, appstream, desktop-file-utils, dpkg-dev, librsvg2-bin,
# man-db; .ci/run installs them.
# usage: packaging/check-packages.sh
set -uo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null && cmake --build --preset release || exit 1
rm -rf build/release/packages
cpack --preset release >/dev/null || { echo "FAIL: cpack --preset release"; exit 1; }
debs=(build/release/packages/*.deb)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=0
report() { # report WHAT OUTPUT STATUS: a finding when OUTPUT is not empty or STATUS is not 0
    if [ -n "$2" ] || [ "$3" -ne 0 ]; then
        printf 'FAIL: %s (status %d)\n%s\n' "$1" "$3" "$2"
        findings=$((findings + 1))
    else
        echo "ok: $1"
    fi
}

# Its tags go to standard output; standard error (e.g. its note on running as
# root) is shown as it comes.
out=$(lintian --fail-on error,warning "${debs[@]}")
report "lintian ${debs[*]##*/}" "$out" $?

out=$(reuse lint 2>&1)
status=$?
report "reuse lint" "$([ $status -eq 0 ] || echo "$out")" $status

for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$work/root" || report "dpkg-deb -x $deb" "" 1
done
shopt -s nullglob
root=$work/root/usr/share
metainfo=("$root"/metainfo/*.xml)
[ ${#metainfo[@]} -gt 0 ] || report "AppStream data in the packages" "none found" 1
for file in "${metainfo[@]}"; do
    out=$(appstreamcli validate --pedantic --no-net "$file" 2>&1)
    status=$?
    report "appstreamcli validate --pedantic --no-net ${file##*/}" "$(grep -E '^[EWIP]:' <<<"$out")" $status
done
for file in "$root"/applications/*.desktop; do
    out=$(desktop-file-validate "$file" 2>&1)
    report "desktop-file-validate ${file##*/}" "$out" $?
done
for command in "$work"/root/usr/bin/*; do
    page="$root/man/man1/${command##*/}.1.gz"
    if [ ! -f "$page" ]; then
        report "manual page of ${command##*/}" "missing: ${page#"$work/root"}" 1
        continue
    fi
    out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    report "man --warnings ${page##*/}" "$out" $?
done

echo "check-packages: ${#debs[@]} packages, $findings findings"
[ "$findings" -eq 0 ]
