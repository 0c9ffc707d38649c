#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Starts the real program offscreen on the simulated reader, has the preloaded
# driver read all formats and close the window, and checks that the program
# ends at once with status 0, after the library said where it was loaded from.
# usage: program_start_close.sh PROGRAM DRIVER SIMULATED_READER_DIR
set -u
program=$1 driver=$2 readers=$3
log=$(mktemp)
trap 'rm -f "$log"' EXIT

QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$readers LD_PRELOAD=$driver \
KV718ST_SIM_OPTIONS=latency=off \
KV718ST_DRIVE='paint; click cmdReadAll; until Label_RetInfo is "串口关闭成功！"; text lblCount; close' \
    timeout 30 "$program" 2>"$log"
status=$?
cat "$log"
fail() { echo "FAIL: $1"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "reader library loaded from $(readlink -f "$readers")/libVeltronanew125K.so" "$log" || fail "no load line"
grep -q 'driver: text name=lblCount value=11$' "$log" || fail "counter is not 11 after read-all"
grep -q '^driver: close' "$log" || fail "the window was not closed by the driver"
echo "ok: read all formats, closed, exit status 0"
