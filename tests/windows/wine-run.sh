#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs a 64-bit Windows program of the build tree under Wine, in the build's
# own Wine prefix; CTest's emulator for cross-built tests.
#
#   wine-run.sh --init PREFIX                     makes the prefix (once)
#   wine-run.sh PREFIX DLLDIRS PROGRAM [ARGS...]  runs PROGRAM in it
#
# DLLDIRS are Linux folders separated by ':', searched for DLLs after the
# program's own folder and any WINEPATH the caller set. A machine without a
# working 64-bit Wine reports the test skipped: the output starts with
# "wine-run: skipped:".
set -uo pipefail

wine=""
for candidate in /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then wine=$candidate; break; fi
done
skip() { echo "wine-run: skipped: $*"; exit 0; }
[ -n "$wine" ] || skip "64-bit Wine (wine64) is not installed"

export WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEARCH=win64

if [ "${1:-}" = "--init" ]; then
    export WINEPREFIX=$2
    if [ -f "$WINEPREFIX/system.reg" ]; then echo "wine prefix ready: $WINEPREFIX"; exit 0; fi
    mkdir -p "$WINEPREFIX"
    if ! output=$("$wine" wineboot --init 2>&1) || [ ! -f "$WINEPREFIX/system.reg" ]; then
        rm -rf "$WINEPREFIX"
        skip "64-bit Wine cannot run here: $(printf '%s' "$output" | tail -n 3)"
    fi
    # Let the prefix's wineserver finish writing the registry before others use it.
    server=${wine%/*}/wineserver64
    [ -x "$server" ] || server=wineserver
    "$server" -w 2>/dev/null || true
    echo "wine prefix made: $WINEPREFIX"
    exit 0
fi

export WINEPREFIX=$1
dll_dirs=$2
shift 2
[ -f "$WINEPREFIX/system.reg" ] || skip "no Wine prefix at $WINEPREFIX (64-bit Wine could not make one)"

# Wine takes Windows paths in WINEPATH; drive Z: is the Linux root.
windows_dirs=""
IFS=: read -r -a dirs <<<"$dll_dirs"
for dir in "${dirs[@]}"; do
    [ -n "$dir" ] && windows_dirs+="${windows_dirs:+;}Z:${dir//\//\\}"
done
export WINEPATH="${WINEPATH:+$WINEPATH;}$windows_dirs"
exec "$wine" "$@"
