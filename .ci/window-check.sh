#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Starts the program as the README says for a machine without a display,
# `xvfb-run -a bash run.sh`, and checks that its window comes up, is shown
# with its title, and is still there some seconds later; then ends it.
# Needs xwininfo (package x11-utils) besides what run.sh installs.
# usage: .ci/window-check.sh [SECONDS]     (default 8)
set -u
cd "$(dirname "$0")/.."
seconds=${1:-8}
program=$PWD/build/dev/src/kv718st-demo
title=KV718ST演示软件
log=$(mktemp)

# A process group of its own (setsid), so that everything xvfb-run started
# can be ended by the group's id.
setsid xvfb-run -a bash run.sh >"$log" 2>&1 &
group=$!
finish() {
    kill -TERM -- "-$group" 2>/dev/null
    wait "$group" 2>/dev/null
    rm -f "$log"
}
trap finish EXIT
fail() {
    echo "FAIL: $1"
    echo "---- xvfb-run -a bash run.sh said:"
    cat "$log"
    exit 1
}

# The program of this tree, started in that group.
program_pid() {
    local entry stat fields
    for entry in /proc/[0-9]*; do
        [ "$(readlink "$entry/exe" 2>/dev/null)" = "$program" ] || continue
        stat=$(cat "$entry/stat" 2>/dev/null) || continue
        read -r -a fields <<<"${stat##*) }" # state ppid pgrp ...
        [ "${fields[2]}" = "$group" ] && echo "${entry#/proc/}" && return 0
    done
    return 1
}
pid=
for _ in $(seq 240); do
    pid=$(program_pid) && break
    kill -0 "$group" 2>/dev/null || fail "xvfb-run -a bash run.sh ended before the program started"
    sleep 0.5
done
[ -n "$pid" ] || fail "the program did not start within 120 s"

# The X server the program talks to.
display=$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^DISPLAY=//p')
xauthority=$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XAUTHORITY=//p')
shown() { DISPLAY=$display XAUTHORITY=$xauthority xwininfo -name "$title" 2>/dev/null | grep -q 'Map State: IsViewable'; }
for _ in $(seq 60); do
    shown && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before its window was shown"
    sleep 0.5
done
shown || fail "no window \"$title\" was shown within 30 s"
sleep "$seconds"
kill -0 "$pid" 2>/dev/null || fail "the program ended within $seconds s of showing its window"
shown || fail "the window \"$title\" was gone after $seconds s"
DISPLAY=$display XAUTHORITY=$xauthority xwininfo -name "$title" | grep -E 'Width|Height'
echo "ok: xvfb-run -a bash run.sh shows the window \"$title\", still up after $seconds s"
