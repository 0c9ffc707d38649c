#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs one test of the Wine bridge, or reports it skipped (exit 77) where it
# cannot run: the Windows pieces were not cross-built, Wine is missing, or
# this system cannot run the host of that width under Wine.
# usage: run_wine_test.sh 32|64 PREFIX BRIDGE_DIR --make-prefix
#        run_wine_test.sh 32|64 PREFIX BRIDGE_DIR COMMAND [ARGUMENTS...]
# A COMMAND that ends in .exe runs under Wine.
# The DLL under test is named by KV718ST_WINDOWS_LIBRARY.
set -u
bits=$1 prefix=$2 bridge=$3
shift 3
skip() { echo "skipped: $1"; exit 77; }

if [ "$bits" = 64 ]; then
    host=$bridge/kv718st-reader-host64.exe
    wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine)
else
    host=$bridge/kv718st-reader-host.exe
    wine=$(command -v wine)
fi
[ -f "$host" ] || skip "no $host: the Windows pieces were not cross-built (MinGW-w64 is missing)"
[ -n "$wine" ] || skip "Wine is not installed"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

if [ "$1" = --make-prefix ]; then
    [ -f "$prefix/system.reg" ] && exit 0
    mkdir -p "$(dirname "$prefix")"
    echo "making the Wine prefix $prefix"
    timeout 300 "$wine" wineboot --init
    # The registry reaches the disk when the prefix's wineserver ends.
    timeout 60 wineserver -w
    [ -f "$prefix/system.reg" ] || skip "Wine could not make a prefix"
    exit 0
fi
[ -n "${KV718ST_WINDOWS_LIBRARY:-}" ] && [ ! -f "$KV718ST_WINDOWS_LIBRARY" ] &&
    skip "no $KV718ST_WINDOWS_LIBRARY: the Windows pieces were not cross-built"
# The host ends at once on an empty input; if it cannot, neither can the test.
if ! out=$(timeout 120 "$wine" "$host" </dev/null 2>&1); then
    skip "$wine cannot run the $bits-bit reader host on this system: $(echo "$out" | tail -n 1)"
fi
# A Windows program runs under the same Wine.
[[ $1 == *.exe ]] && exec "$wine" "$@"
exec "$@"
