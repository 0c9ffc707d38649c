#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Checks the Windows zip as a user gets it: unpacked into an empty folder and
# run in a fresh Wine prefix on a virtual X server, its start script starts the
# program on the simulated reader shipped in it; read-all is clicked and the
# window grabbed. The console program in it reads the card from that
# simulated reader too.
#
#   tests/windows/zip_run.sh ZIP [PICTURE]
# Needs 64-bit Wine, xvfb-run and xdotool; ImageMagick's import for PICTURE.
set -euo pipefail
zip=$(realpath "$1")
picture=${2:-}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)

work=$(mktemp -d)
trap 'WINEPREFIX=$work/prefix "${wine%/*}/wineserver64" -k 2>/dev/null || true; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/unpacked"
folder=$(find "$work/unpacked" -mindepth 1 -maxdepth 1 -type d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEARCH=win64
"$wine" wineboot --init >/dev/null 2>&1
"${wine%/*}/wineserver64" -w # until the new prefix is written and idle

export KV_WINE=$wine KV_FOLDER=$folder KV_PICTURE=$picture KV_LOG=$work/program.log
xvfb-run -a -s '-screen 0 1400x700x24' bash -c '
    set -e
    cd "$KV_FOLDER"
    # Wine traces every DLL it loads to the Linux standard error, which the
    # started program inherits (its Windows standard error is not the
    # script'"'"'s).
    WINEDEBUG=+loaddll "$KV_WINE" cmd /c kv718st-demo-simulated.cmd >"$KV_LOG" 2>&1
    window=$(timeout 60 xdotool search --sync --name "KV718ST" | head -n 1 || true)
    [ -n "$window" ] || { echo "zip_run: no window within 60 s" >&2; exit 1; }
    sleep 2
    # The read-all button, in the window'"'"'s own pixels (see src/ui/Layout.cpp).
    xdotool mousemove --window "$window" 584 340 click 1
    sleep 3
    [ -z "$KV_PICTURE" ] || import -window "$window" "$KV_PICTURE"
    xdotool windowclose "$window" || true
    sleep 2
'
# Windows found the simulated reader in the zip's simulated\ folder by its
# bare name (the trace doubles backslashes).
expected='Loaded L"Z:'$(printf '%s' "$folder/simulated/Veltronanew125K.dll" | sed 's|/|\\\\|g')'"'
grep -iF 'Veltronanew125K' "$KV_LOG" || true
if ! grep -qiF "$expected" "$KV_LOG"; then
    echo "zip_run: the program did not load the simulated reader from the zip (expected: $expected)" >&2
    exit 1
fi
[ -z "$picture" ] || [ -s "$picture" ] || { echo "zip_run: no picture of the window" >&2; exit 1; }
echo "zip_run: the zip's start script ran the program on its simulated reader"

here=$(dirname "$(realpath "$0")")
bash "$here/cli_run.sh" "$here/wine-run.sh" "$WINEPREFIX" "" "$folder/kv718st-cli.exe" ||
    { echo "zip_run: the zip's kv718st-cli.exe failed on its simulated reader" >&2; exit 1; }
echo "zip_run: the zip's kv718st-cli.exe read the card from its simulated reader"
