#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Starts the real program offscreen on the simulated reader with a test
# record, has the preloaded driver read all formats, run the automatic test
# briefly and close the window, and checks that the program ends at once with
# status 0, after the library said where it was loaded from, and that the
# record holds the run. Arguments other than --help, --version and --record
# are ignored, so the run is given some. Then --help and --version: answered
# on standard output with status 0 and nothing on standard error, without a
# window system, the first of them wins; --record without a file is a usage
# error.
# usage: program_start_close.sh PROGRAM DRIVER SIMULATED_READER_DIR VERSION
set -u
program=$1 driver=$2 readers=$3 version=$4
log=$(mktemp) out=$(mktemp) record=$(mktemp -u)
trap 'rm -f "$log" "$out" "$record"' EXIT

QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$readers LD_PRELOAD=$driver \
KV718ST_SIM_OPTIONS=latency=off \
KV718ST_DRIVE='paint; click cmdReadAll; until Label_RetInfo is "串口关闭成功！"; text lblCount
               click cmdZiDongCeShi; until lblStatSteps reaches 22 within 60000; click cmdZiDongCeShi
               until txtTestResult has 第10步 within 60000
               text lblStatSteps; text lblStatFailures; close' \
    timeout 150 "$program" --no-such-option -h --record "$record" version 2>"$log"
status=$?
cat "$log"
fail() { echo "FAIL: $1"; exit 1; }
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "reader library loaded from $(readlink -f "$readers")/libVeltronanew125K.so" "$log" || fail "no load line"
grep -q 'driver: text name=lblCount value=11$' "$log" || fail "counter is not 11 after read-all"
grep -q '^driver: close' "$log" || fail "the window was not closed by the driver"
echo "ok: read all formats, closed, exit status 0"

# Two passes or more, then a stop, perhaps in the middle of a pass: the pass
# then logs its remaining steps as failures (the port is closed), and its
# last step ends the log; the labels and the record show the same totals.
steps=$(sed -n 's/^driver: text name=lblStatSteps value=//p' "$log")
failures=$(sed -n 's/^driver: text name=lblStatFailures value=//p' "$log")
[ -n "$steps" ] && [ "$steps" -ge 22 ] && [ -n "$failures" ] || fail "the steps label says '$steps'"
printf '\xEF\xBB\xBFtime,event,pass,step,reference,reading,status,passes,steps,failures,failure_rate,elapsed,%s\r\n' \
    'kind,no_reading,wrong_reading,port_not_open,first_failure,failures_by_step,library,port,baud,version' >"$out"
cmp -s <(head -c "$(wc -c <"$out")" "$record") "$out" || { cat -A "$record"; fail "the record does not begin with the header"; }
sed -n 2p "$record" | grep -q -E '^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\.[0-9]{3},start,,,,,串口打开成功！,,,,,,,,,,,,/.*/simulated/libVeltronanew125K\.so,2,19200,'"$version"$'\r''$' ||
    { cat -A "$record"; fail "no start line"; }
# The steps after the stop found the port closed.
tail -n 1 "$record" | grep -q -E ',stop,,,,,,[0-9]+,'"$steps,$failures"',[0-9.]+%,0:00:0[0-9],,0,0,'"$failures"',[0-9]{4}-[^,]+,"[0-9,]+",,,,'$'\r''$' ||
    { cat -A "$record"; fail "no stop line"; }
[ "$(grep -c ',fail,' "$record")" -eq "$failures" ] && [ "$(wc -l <"$record")" -eq $((3 + failures)) ] ||
    { cat -A "$record"; fail "the record does not hold one line per failed step"; }
echo "ok: the record holds the run's start and its totals"

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
--help|Usage: kv718st-demo [--language en|zh] [--record FILE] [--help | --version]
-x --version --help|kv718st-demo $version
--help --version|Usage: kv718st-demo [--language en|zh] [--record FILE] [--help | --version]
CASES
[ "$(wc -l <"$out")" -gt 5 ] && grep -q -- '--version' "$out" && grep -q 'kv718st-demo(1)' "$out" ||
    fail "--help does not name both options and the manual page"
# An answer that could not be written is not a success.
"$program" --version >/dev/full 2>/dev/null && fail "--version into a full device: exit status 0"
echo "ok: --help and --version answered on standard output with status 0"

for args in "--record" "--record=" "--record ''"; do
    eval "set -- $args"
    env -u DISPLAY QT_QPA_PLATFORM=no-such-platform timeout 10 "$program" "$@" >"$out" 2>"$log"
    status=$?
    [ "$status" -eq 2 ] || fail "'$args': exit status $status, not 2"
    grep -q -- '--record needs a file name' "$log" || fail "'$args': no message on standard error"
done
echo "ok: --record without a file is a usage error"
