#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# wine_machine_cause over real outputs of failed runs under Wine (outputs/):
# a fatal line of Wine, its loader or the kernel makes the run a cause of the
# machine (the test skips); a notice beside a failing program does not (the
# test fails), nor does a refused 32-bit loader for a 64-bit program.
# Needs no Wine: the programs are PE headers of each machine type.
# usage: machine_causes.sh
set -u
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/wine_machine_cause.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# pe FILE MACHINE: a header with the PE signature at 0x40 and MACHINE (two
# bytes, little-endian, as octal escapes) after it.
pe() {
    { printf 'MZ'; head -c 58 /dev/zero; printf '\100\000\000\000PE\000\000'"$2"; head -c 20 /dev/zero; } >"$1"
}
pe "$work/program32.exe" '\114\001'
pe "$work/program64.exe" '\144\206'
pe "$work/arm64.exe" '\144\252'
printf '#!/bin/sh\n' >"$work/script.exe"

failures=0
check() {
    if [ "$2" = "$3" ]; then
        echo "ok: $1: $2"
    else
        echo "FAIL: $1: $2, wanted $3"
        failures=$((failures + 1))
    fi
}
for program in program32:32 program64:64; do
    check "pe_bits ${program%%:*}" "$(pe_bits "$work/${program%%:*}.exe")" "${program#*:}"
done
for program in arm64 script; do
    check "pe_bits $program" "$(pe_bits "$work/$program.exe" || echo none)" none
done

# output | program | verdict
while IFS='|' read -r output program verdict; do
    [ -n "$output" ] || continue
    text=$(cat "$here/outputs/$output.txt") || { failures=$((failures + 1)); continue; }
    if cause=$(wine_machine_cause "$work/$program.exe" "$text"); then
        got="skip ($cause)"
    else
        got=fail
    fi
    check "$output, $program" "${got%% *}" "$verdict"
    [ "$got" = fail ] || echo "    $got"
done <<'CASES'
kernel-refuses-the-32-bit-loader|program32|skip
kernel-refuses-the-32-bit-loader|program64|fail
64-bit-wine-without-its-32-bit-part|program32|skip
64-bit-wine-without-its-32-bit-part|program64|fail
64-bit-wine-cannot-start-a-32-bit-program|program32|skip
64-bit-wine-cannot-start-a-32-bit-program|program64|fail
loader-without-ntdll|program64|skip
loader-without-ntdll|program32|skip
loader-without-ntdll|script|fail
prefix-of-another-user|program64|skip
working-directory-notice|program64|fail
working-directory-notice|program32|fail
wine32-hint|program64|fail
wine32-hint|program32|fail
prefix-created-notices|program64|fail
CASES
echo "machine_causes: $failures failed"
[ "$failures" -eq 0 ]
