#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Checks the preloaded driver end to end on two small windows.
# usage: driver_smoke.sh LIBKV_DRIVER BASELINE FIXTURE
set -u
driver=$1 baseline=$2 fixture=$3
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# run NAME PROGRAM SCRIPT: leaves the exit status in $rc and stderr in $tmp/NAME.log
run() {
    local name=$1 program=$2 script=$3
    KV718ST_DRIVE=$script LD_PRELOAD=$driver timeout 20 "$program" >"$tmp/$name.out" 2>"$tmp/$name.log"
    rc=$?
}

fail() {
    echo "FAIL $1: $2"
    sed 's/^/    | /' "$tmp/$1.log"
    failures=$((failures + 1))
}

# expect NAME STATUS PATTERN...: each extended regex must match some line of the log
expect() {
    local name=$1 status=$2 p
    shift 2
    if [[ $rc != "$status" ]]; then
        fail "$name" "exit status $rc, expected $status"
        return
    fi
    for p in "$@"; do
        if ! grep -Eq -- "$p" "$tmp/$name.log"; then
            fail "$name" "no line matches: $p"
            return
        fi
    done
    echo "ok   $name"
}

# The script the start-up benchmark uses, plus a grab, on the baseline window.
png=$tmp/baseline.png
run baseline "$baseline" "paint; grab $png; memory; close"
expect baseline 0 \
    '^driver: start t0=load load_ms=0\.000 steps=4$' \
    '^driver: paint ms=[0-9]+\.[0-9]{3} frame_ms=[0-9]+\.[0-9]{3} t0=load$' \
    "^driver: grab path=$png width=1264 height=560 ms=[0-9.]+$" \
    '^driver: memory hwm_kb=[1-9][0-9]* rss_kb=[1-9][0-9]* hwm_mb=[0-9.]+ rss_mb=[0-9.]+$' \
    '^driver: close$' '^driver: done$'
if [[ $(head -c 8 "$png" 2>/dev/null | od -An -tx1 | tr -d ' \n') != 89504e470d0a1a0a ]]; then
    echo "FAIL baseline: $png is not a PNG file"
    failures=$((failures + 1))
fi
# The first frame cannot end before the first paint starts.
if ! awk '/^driver: paint /{ split($3, a, "="); split($4, b, "="); exit !(a[2] + 0 <= b[2] + 0) }' "$tmp/baseline.log"; then
    fail baseline "frame_ms is earlier than ms"
fi

# A launch time in the environment is the origin of the paint time; one a
# second earlier must show as at least a second.
t0=$(( $(date +%s%N) - 1000000000 ))
KV718ST_DRIVE_T0=$t0 run t0env "$baseline" "paint; close"
expect t0env 0 '^driver: start t0=env load_ms=(1[0-9]{3}|[2-9][0-9]{3})\.' \
    '^driver: paint ms=(1[0-9]{3}|[2-9][0-9]{3})\.[0-9]{3} frame_ms=[0-9.]+ t0=env$'
KV718ST_DRIVE_T0=12.5 run t0bad "$baseline" "paint; close"
expect t0bad 3 '^driver: error what="KV718ST_DRIVE_T0 is not a count of nanoseconds: 12.5"$'

# Without a script the driver stays silent and the program runs as usual.
rc=0
LD_PRELOAD=$driver timeout 2 "$baseline" 2>"$tmp/silent.log" || rc=$?
if [[ $rc != 124 ]] || grep -q '^driver:' "$tmp/silent.log"; then
    fail silent "expected no driver output and the window left open (status $rc)"
else
    echo "ok   silent"
fi

# Scripts on the fixture window: NAME|STATUS|SCRIPT|PATTERN;;PATTERN...
cases=(
"click-count|0|paint; click cmdAdd; click cmdAdd; until lblCount is 2 within 500; text lblCount; close|^driver: click name=cmdAdd handler_ms=[0-9.]+ total_ms=[0-9.]+$;;^driver: until name=lblCount ms=;;^driver: text name=lblCount value=2$;;^driver: done$"
"handler-time|0|paint; click cmdSlow; close|^driver: click name=cmdSlow handler_ms=(4[0-9]|[5-9][0-9]|[0-9]{3,})\.[0-9]{3} "
"repeat-summary|0|paint; repeat 5 { click cmdAdd; wait 1 }; text lblCount; close|^driver: clicks name=cmdAdd count=5 median_ms=[0-9.]+ mean_ms=[0-9.]+ min_ms=[0-9.]+ max_ms=[0-9.]+$;;^driver: text name=lblCount value=5$"
"repeat-no-single-lines|0|paint; repeat 3 click cmdAdd; close|^driver: clicks name=cmdAdd count=3 "
"until-waits|0|paint; click cmdLater; until lblState has later within 2000; text lblState; close|^driver: until name=lblState ms=(1[4-9][0-9]|[2-9][0-9]{2}|1[0-9]{3})\.;;^driver: text name=lblState value=\"later done\"$;;^driver: done$"
"caption-and-texts|0|paint; until Form1 has 测试窗口; text txtName; text txtNotes; close|^driver: text name=txtName value=\"卡号 12345\"$;;^driver: text name=txtNotes value=\"line one\\\\nline \\\\\"two\\\\\"\"$"
"unknown-control|3|paint; click cmdNothing; close|^driver: error step=\"click cmdNothing\" what=\"Form1 has no control named cmdNothing\"$"
"until-timeout|3|paint; until lblCount is 7 within 100; close|^driver: error step=\"until lblCount is 7\" what=\"timeout after 100 ms; text is 0\"$"
"disabled|3|paint; click cmdOff; close|what=\"cmdOff is disabled\""
"hidden|3|paint; click cmdHidden; close|what=\"cmdHidden is not visible\""
"not-a-button|3|paint; click lblCount; close|what=\"lblCount is a QLabel, not a button\""
"covered|3|paint; click cmdCovered within 300; close|what=\"cmdCovered did not report a click within 300 ms\""
"duplicate-name|3|paint; text dup; close|what=\"2 controls are named dup\""
"parse-error|3|paint; clack x|^driver: error what=\"KV718ST_DRIVE: unknown step 'clack'\"$"
"grab-unwritable|3|paint; grab /nonexistent-dir/x.png; close|what=\"cannot write /nonexistent-dir/x.png\""
)
for c in "${cases[@]}"; do
    IFS='|' read -r name status script patterns <<<"$c"
    run "$name" "$fixture" "$script"
    mapfile -t pats < <(awk 'BEGIN { RS = ";;" } { sub(/\n$/, ""); print }' <<<"$patterns")
    expect "$name" "$status" "${pats[@]}"
done
# Inside a repeat, clicks are summarised, not printed one by one.
if grep -q '^driver: click ' "$tmp/repeat-no-single-lines.log"; then
    fail repeat-no-single-lines "single click lines printed inside a repeat"
fi
if ((failures)); then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all driver checks passed"
