#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Runs COMMAND, shows its output, and fails unless it ended with status 0 and
# a line of its output matches PATTERN (an extended regular expression). A
# CTest pass expression alone would ignore the status. Status 77 (skipped)
# is passed on.
# usage: expect_output.sh PATTERN COMMAND [ARGUMENTS...]
set -u
pattern=$1
shift
out=$("$@" 2>&1)
status=$?
printf '%s\n' "$out"
[ "$status" -eq 77 ] && exit 77
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
grep -qE -- "$pattern" <<<"$out" || { echo "FAIL: no line matches '$pattern'"; exit 1; }
