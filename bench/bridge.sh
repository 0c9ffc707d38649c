#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
#
# Wine bridge benchmark: what the bridge adds to each reader call, against the
# same simulated reader in process (latency off), and the read-all handler
# time both ways; and how long the reader host takes to start on an existing
# Wine prefix.
#
# usage: bench/bridge.sh [BUILD_DIR] [CALLS] [CLICKS]
#   BUILD_DIR  an already built tree (default: build/release) with the Windows
#              pieces (MinGW-w64 present at build time); Wine must be installed
#   CALLS      timed card reads and LED calls per library (default 2000)
#   CLICKS     timed read-all clicks per library (default 50)
# The bridge runs the 64-bit simulated DLL through kv718st-reader-host64.exe
# (a 32-bit host runs the same code, where the system can run it) in the prefix
# WINEPREFIX, by default a private one in the build tree made on the first run.
# Prints a table and a last line "result: key=value ...".
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build/release}
calls=${2:-2000}
clicks=${3:-50}
source "$root/bench/locate.sh"
kv_locate "$build" bench/kv_bench_bridge readers/wine/libVeltronanew125K.so win64/readers/simulated/Veltronanew125K.dll

export WINEPREFIX=${WINEPREFIX:-$build/bench/wine-prefix} WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export KV718ST_WINDOWS_LIBRARY=$build/win64/readers/simulated/Veltronanew125K.dll KV718ST_SIM_OPTIONS=latency=off
bridge=$build/readers/wine
wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX ..." >&2
    "$wine" wineboot --init >/dev/null 2>&1
    wineserver -w
fi
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p"; }

# Host start with no Wine process running (the prefix's server starts too),
# then with the server still up from a previous start.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
cold=$("$build/bench/kv_bench_bridge" "$bridge/libVeltronanew125K.so" 1 2>/dev/null | field first_ms)
warm=$("$build/bench/kv_bench_bridge" "$bridge/libVeltronanew125K.so" 1 2>/dev/null | field first_ms)

in_process=$("$build/bench/kv_bench_bridge" "$readers/libVeltronanew125K.so" "$calls" 2>/dev/null)
through=$("$build/bench/kv_bench_bridge" "$bridge/libVeltronanew125K.so" "$calls" 2>/dev/null)

# readall READER_DIR: median and max handler ms of CLICKS read-all clicks
readall() {
    QT_QPA_PLATFORM=offscreen LD_PRELOAD=$driver LD_LIBRARY_PATH=$1 \
        KV718ST_DRIVE="paint; click cmdReadAll within 60000; repeat $clicks click cmdReadAll; close" \
        timeout 600 "$program" 2>&1 >/dev/null | sed -n 's/^driver: clicks name=cmdReadAll .*median_ms=\([^ ]*\).*max_ms=\([^ ]*\).*/\1 \2/p'
}
read -r ra_in ra_in_max <<<"$(readall "$readers")"
read -r ra_br ra_br_max <<<"$(readall "$bridge")"

awk -v a="$in_process" -v b="$through" -v cold="$cold" -v warm="$warm" \
    -v ri="$ra_in" -v rim="$ra_in_max" -v rb="$ra_br" -v rbm="$ra_br_max" -v calls="$calls" -v clicks="$clicks" '
function get(line, key,   n, i, kv, parts) {
    n = split(line, parts, " ")
    for (i = 1; i <= n; i++) { split(parts[i], kv, "="); if (kv[1] == key) return kv[2] }
    return ""
}
BEGIN {
    printf "reader calls, simulated reader with latency off, %d calls each (microseconds)\n", calls
    printf "%-22s %10s %10s %10s   %10s %10s %10s\n", "", "read p50", "read p99", "read max", "LED p50", "LED p99", "LED max"
    printf "%-22s %10s %10s %10s   %10s %10s %10s\n", "in process", get(a, "request_p50_us"), get(a, "request_p99_us"), get(a, "request_max_us"), get(a, "light_p50_us"), get(a, "light_p99_us"), get(a, "light_max_us")
    printf "%-22s %10s %10s %10s   %10s %10s %10s\n", "through the bridge", get(b, "request_p50_us"), get(b, "request_p99_us"), get(b, "request_max_us"), get(b, "light_p50_us"), get(b, "light_p99_us"), get(b, "light_max_us")
    added50 = get(b, "request_p50_us") - get(a, "request_p50_us")
    added99 = get(b, "request_p99_us") - get(a, "request_p99_us")
    printf "added by the bridge to a card read: p50 %.1f us (target <= 100), p99 %.1f us (target <= 1000)\n", added50, added99
    printf "read-all handler, %d clicks: in process median %s ms (max %s), through the bridge median %s ms (max %s)\n", clicks, ri, rim, rb, rbm
    printf "host start to the first answer: %s ms with no Wine process running, %s ms with the prefix server up (target < 2000)\n", cold, warm
    printf "result: added_p50_us=%.1f added_p99_us=%.1f readall_in_process_ms=%s readall_bridge_ms=%s host_start_cold_ms=%s host_start_warm_ms=%s %s\n",
        added50, added99, ri, rb, cold, warm, (added50 <= 100 && added99 <= 1000 && cold < 2000) ? "PASS" : "MISS"
}'
