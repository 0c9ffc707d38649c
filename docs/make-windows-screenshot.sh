#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Makes docs/window-windows.png: the Windows build (build/windows, preset
# windows) running under Wine on a virtual X server, on the simulated reader
# built as a 64-bit DLL, after read-all.
#
# usage: docs/make-windows-screenshot.sh [OUTPUT]
# Builds nothing. Needs xvfb-run (xvfb), xdotool, ImageMagick's import, and
# 64-bit Wine; uses the build's own Wine prefix (build/windows/wine-prefix,
# made by its tests).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/windows
out=${1:-$root/docs/window-windows.png}
for tool in xvfb-run xdotool import; do
    command -v $tool >/dev/null || { echo "make-windows-screenshot.sh: $tool not found" >&2; exit 1; }
done
[ -f "$build/wine-prefix/system.reg" ] || { echo "no Wine prefix: run ctest --preset windows first" >&2; exit 1; }

simulated=$build/readers/simulated
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
export WINEPATH="Z:${simulated//\//\\}" KV_OUT=$out KV_PROGRAM=$build/kv718st-demo.exe
xvfb-run -a -s '-screen 0 1400x700x24' bash -c '
    /usr/lib/wine/wine64 "$KV_PROGRAM" 2>&1 &
    program=$!
    window=$(timeout 60 xdotool search --sync --name "KV718ST" | head -n 1)
    sleep 2
    # The read-all button, in the window'"'"'s own pixels (see src/ui/Layout.cpp).
    xdotool mousemove --window "$window" 584 340 click 1
    sleep 3
    import -window "$window" "$KV_OUT"
    kill "$program"
    wineserver=/usr/lib/wine/wineserver64
    "$wineserver" -k 2>/dev/null || true
'
echo "$out"
