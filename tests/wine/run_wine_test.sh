#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs one test of the Wine bridge. It reports the test skipped (exit 77) only
# for a cause of this machine: the cross compilers were not there when the
# build was configured, Wine or its 32-bit part is not installed, or Wine
# cannot run a program of that width here (its loader says so, or the kernel
# refuses 32-bit programs). It fails (exit 1) for a fault of the project: a
# host or DLL missing from a build whose cross compilers were there, or a host
# that does not end cleanly on an empty input.
# usage: run_wine_test.sh --built=WIDTHS 32|64 PREFIX BRIDGE_DIR --make-prefix
#        run_wine_test.sh --built=WIDTHS 32|64 PREFIX BRIDGE_DIR COMMAND [ARGUMENTS...]
# WIDTHS lists the Windows widths the build cross-compiled, e.g. "32,64", or is
# empty. A COMMAND that ends in .exe runs under Wine. The DLL under test is
# named by KV718ST_WINDOWS_LIBRARY; KV718ST_WINE names the Wine to use, as for
# the bridge.
set -u
built=${1#--built=} bits=$2 prefix=$3 bridge=$4
shift 4
. "$(dirname "${BASH_SOURCE[0]}")/wine_machine_cause.sh"
skip() { echo "skipped: $1"; exit 77; }
fail() { echo "FAIL: $1"; exit 1; }

if [ "$bits" = 64 ]; then
    host=$bridge/kv718st-reader-host64.exe compiler=x86_64-w64-mingw32-g++-posix
else
    host=$bridge/kv718st-reader-host.exe compiler=i686-w64-mingw32-g++-posix
fi
case ",$built," in
*",$bits,"*) ;;
*) skip "the $bits-bit Windows pieces were not built: $compiler (MinGW-w64) was not found when the build was configured" ;;
esac
[ -f "$host" ] || fail "no $host, although the $bits-bit Windows pieces were built"
[ -n "${KV718ST_WINDOWS_LIBRARY:-}" ] && [ ! -f "$KV718ST_WINDOWS_LIBRARY" ] &&
    fail "no $KV718ST_WINDOWS_LIBRARY, although the $bits-bit Windows pieces were built"

# The Wine the bridge takes: KV718ST_WINE, else wine64 for a 64-bit host and
# Debian's wrapper wine for a 32-bit one.
if [ -n "${KV718ST_WINE:-}" ]; then
    wine=$(command -v "$KV718ST_WINE") || skip "Wine is not installed: no $KV718ST_WINE (KV718ST_WINE)"
elif [ "$bits" = 64 ]; then
    wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; }) ||
        skip "64-bit Wine is not installed (Debian: apt-get install wine wine64)"
else
    wine=$(command -v wine) || skip "Wine is not installed (Debian: apt-get install wine)"
    wine_without_32bit && skip "32-bit Wine is not installed ($wine_add_32bit)"
fi
server=${wine%/*}/wineserver64
[ -x "$server" ] || server=$(command -v wineserver) || server=
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='

if [ "$1" = --make-prefix ]; then
    [ -f "$prefix/system.reg" ] && exit 0
    mkdir -p "$(dirname "$prefix")"
    echo "making the Wine prefix $prefix"
    out=$(timeout 300 "$wine" wineboot --init 2>&1)
    # The registry reaches the disk when the prefix's wineserver ends.
    [ -n "$server" ] && timeout 60 "$server" -w
    [ -f "$prefix/system.reg" ] || skip "$wine could not make a Wine prefix here: $(tail -n 3 <<<"$out")"
    exit 0
fi
[ -f "$prefix/system.reg" ] || skip "no Wine prefix at $prefix: $wine could not make one (see the test wine_prefix)"

# The host ends at once, with status 0, on an empty input.
out=$(timeout 120 "$wine" "$host" </dev/null 2>&1)
status=$?
if [ "$status" -ne 0 ]; then
    cause=$(wine_machine_cause "$host" "$out") && skip "$wine cannot run the $bits-bit reader host on this system: $cause"
    fail "the $bits-bit reader host ended with status $status on an empty input under $wine: $(tail -n 3 <<<"$out")"
fi
# A Windows program runs under the same Wine.
[[ $1 == *.exe ]] && exec "$wine" "$@"
exec "$@"
