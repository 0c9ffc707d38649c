#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Starts the real program offscreen on the simulated reader, has the preloaded
# driver read all formats and close the window, and checks that the program
# ends at once with status 0, after the library said where it was loaded from.
# Arguments other than --help and --version are ignored, so the run is given
# some. Then --help and --version: answered on standard output with status 0
# and nothing on standard error, without a window system, the first of them
# wins.
# usage: program_start_close.sh PROGRAM DRIVER SIMULATED_READER_DIR VERSION
set -u
program=$1 driver=$2 readers=$3 version=$4
log=$(mktemp) out=$(mktemp)
trap 'rm -f "$log" "$out"' EXIT

QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$readers LD_PRELOAD=$driver \
KV718ST_SIM_OPTIONS=latency=off \
KV718ST_DRIVE='paint; click cmdReadAll; until Label_RetInfo is "串口关闭成功！"; text lblCount; close' \
    timeout 30 "$program" --no-such-option -h version 2>"$log"
status=$?
cat "$log"
fail() { echo "FAIL: $1"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "reader library loaded from $(readlink -f "$readers")/libVeltronanew125K.so" "$log" || fail "no load line"
grep -q 'driver: text name=lblCount value=11$' "$log" || fail "counter is not 11 after read-all"
grep -q '^driver: close' "$log" || fail "the window was not closed by the driver"
echo "ok: read all formats, closed, exit status 0"

# arguments | first line of standard output
while IFS='|' read -r args first; do
    # No display and no usable platform plugin: answering must not need one.
    # shellcheck disable=SC2086
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform \
        timeout 10 "$program" $args >"$out" 2>"$log"
    status=$?
    [ "$status" -eq 0 ] || fail "'$args': exit status $status"
    [ ! -s "$log" ] || { cat "$log"; fail "'$args': wrote to standard error"; }
    [ "$(head -n 1 "$out")" = "$first" ] || { cat "$out"; fail "'$args': first line is not '$first'"; }
done <<CASES
--version|kv718st-demo $version
--help|Usage: kv718st-demo [--help | --version]
-x --version --help|kv718st-demo $version
--help --version|Usage: kv718st-demo [--help | --version]
CASES
[ "$(wc -l <"$out")" -gt 5 ] && grep -q -- '--version' "$out" && grep -q 'kv718st-demo(1)' "$out" ||
    fail "--help does not name both options and the manual page"
# An answer that could not be written is not a success.
"$program" --version >/dev/full 2>/dev/null && fail "--version into a full device: exit status 0"
echo "ok: --help and --version answered on standard output with status 0"
