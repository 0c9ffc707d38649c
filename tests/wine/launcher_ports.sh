#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
#
# The steps kv718st-demo-wine runs before the program (prepare.sh), in the
# prefix WINEPREFIX: COM1 to COM7 are mapped by KV718ST_SERIAL_DEVICE and Wine
# uses the mapping; an unchanged mapping is not written again; a mapping whose
# devices are all missing is reported.
# usage: launcher_ports.sh PREPARE_SH
set -u
prepare=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $1"; cat "$work/said" 2>/dev/null; exit 1; }
mkdir -p "$work/readers" "$work/dev"
: >"$work/dev/tty2"
export KV718ST_SERIAL_DEVICE="$work/dev/tty{n}"

prepare() { (readers=$work/readers && set -eu && . "$prepare") 2>"$work/said" || fail "prepare.sh failed"; }

prepare
grep -q 'serial ports: COM1 to COM7' "$work/said" || fail "the mapping was not written"
grep -q 'no serial device' "$work/said" && fail "COM2's device exists, yet none was reported"
wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine)
"$wine" "$(dirname "$KV718ST_WINDOWS_LIBRARY")/../../../readers/wine/kv718st-reader-host64.exe" </dev/null
for n in 1 2 7; do
    [ "$(readlink "$WINEPREFIX/dosdevices/com$n")" = "$work/dev/tty$n" ] || fail "COM$n is $(readlink "$WINEPREFIX/dosdevices/com$n")"
done
echo "ok: COM1 to COM7 follow KV718ST_SERIAL_DEVICE in Wine"

prepare
grep -q 'serial ports:' "$work/said" && fail "an unchanged mapping was written again"
rm "$work/dev/tty2"
prepare
grep -q 'no serial device for COM1 to COM7' "$work/said" || fail "missing devices were not reported"
echo "ok: an unchanged mapping is kept; missing devices are reported"
