#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# The real program on the Wine bridge, scripted by the preloaded driver, with
# the simulated reader as a Windows DLL (KV718ST_WINDOWS_LIBRARY) in the
# prefix WINEPREFIX:
#   1. read-all fills every box, and a pass of the automatic test logs, exactly
#      as with the Linux simulated reader;
#   2. the recording DLL receives, through the bridge, every argument and
#      buffer byte in the order the program passes them to the same library
#      in process, and the program shows the same outputs;
#   3. the DLL crashes in the middle of a pass: that step fails, the window
#      goes on, the next steps get a new host and pass; the program ends with
#      status 0 and no Wine process of the prefix is left behind.
# usage: program_on_wine.sh PROGRAM DRIVER LINUX_SIMULATED_DIR BRIDGE_DIR
#                           LINUX_RECORDING_DIR RECORDING_DLL
set -u
program=$1 driver=$2 linux_reader=$3 bridge=$4 linux_recording=$5 recording_dll=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $1"; exit 1; }

boxes='text txtZiFu_0; text txtZiFu_1; text txtZiFu_2; text txtZiFu_3; text txtZiFu_4; text txtZiFu_5;
text txtZiFu_6; text txtZiFu_7; text txtZiFu_8; text txtZiFu_9; text txtZiFu_10; text txtZiFu2_0;
text txtZiFu2_1; text txtZiFu2_2; text txtZiFu2_3; text txtZiFu2_4; text lblCount; text Label_RetInfo'
read_all="paint; click cmdReadAll within 120000; until Label_RetInfo is \"串口关闭成功！\"; $boxes"

# run NAME READER_DIR OPTIONS SCRIPT: the program's standard error in $work/NAME.log
run() {
    QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=$2 LD_PRELOAD=$driver KV718ST_SIM_OPTIONS=$3 \
        KV718ST_DRIVE="$4" timeout 150 "$program" 2>"$work/$1.log"
    local status=$?
    [ "$status" -eq 0 ] || { cat "$work/$1.log"; fail "$1: exit status $status"; }
}
texts() { grep '^driver: text ' "$work/$1.log"; }

# Read-all, then the automatic test until a pass has ended, its log read at once.
passes='click cmdZiDongCeShi; until txtTestResult has "第10步测试成功" within 60000; text txtTestResult;
    click cmdZiDongCeShi; until cmdZiDongCeShi is "自动测试开始"; text Label_RetInfo'
run linux "$linux_reader" latency=off "$read_all; $passes; close"
run wine "$bridge" latency=off "$read_all; $passes; close"
grep -q 'reader library loaded from .*Veltronanew125K.dll' "$work/wine.log" || { cat "$work/wine.log"; fail "the host loaded no DLL"; }
diff <(texts linux) <(texts wine) || fail "the window differs between the Linux and the Windows simulated reader"
[ "$(grep -c '步测试成功' <<<"$(texts wine)")" -ge 1 ] || fail "no pass was logged"
echo "ok: read-all and a pass of the automatic test show the same texts as on the Linux simulated reader"

# The version, LED and buzzer commands before the port was ever opened (they
# call the library then), read-all, the boxes, and the close at shut-down.
recorded="paint; click cmdReadVersion; click cmdLED; click cmdBuzzer; $read_all; text txtVersion"
KV718ST_RECORD_SUCCEED=1 KV718ST_RECORD_FILE=$work/linux.record run linux-recorded "$linux_recording" "" "$recorded; close"
KV718ST_RECORD_SUCCEED=1 KV718ST_RECORD_FILE=$work/wine.record KV718ST_WINDOWS_LIBRARY=$recording_dll \
    run wine-recorded "$bridge" "" "$recorded; close"
[ "$(wc -l <"$work/linux.record")" -eq 17 ] || fail "the program made $(wc -l <"$work/linux.record") calls, not 17"
cmp "$work/linux.record" "$work/wine.record" || fail "the DLL saw other calls than the library in process"
diff <(texts linux-recorded) <(texts wine-recorded) || fail "the program shows other outputs through the bridge"
echo "ok: the DLL saw every argument and buffer byte of all 17 calls (the last one the close at shut-down) as the library in process did"

# Calls: read-all 1 to 13, the test's open 14, step 0's read and two LED
# cues 15 to 17, step 1's read 18, step 2's read 19, step 3's read 20.
card10=$(sed -n 's/^driver: text name=txtZiFu_10 value=//p' "$work/linux.log")
card3=$(sed -n 's/^driver: text name=txtZiFu_3 value=//p' "$work/linux.log")
run crash "$bridge" latency=off,crash_at=20 "$read_all;
    click cmdZiDongCeShi; until txtTestResult has \"第3步测试错误，卡号为\" within 60000;
    until txtTestResult has \"第10步测试成功，卡号为$card10\" within 60000;
    until txtTestResult has \"第3步测试成功，卡号为$card3\" within 60000;
    click cmdZiDongCeShi; until cmdZiDongCeShi is \"自动测试开始\"; text Label_RetInfo; close"
grep -q 'the reader library crashed' "$work/crash.log" || { cat "$work/crash.log"; fail "the DLL did not crash"; }
grep -q 'rf_request_125K failed: the reader host' "$work/crash.log" || fail "the failed call was not reported"
echo "ok: a crash mid-pass failed one step; the test went on through a new host and passed again"

# Nothing of the prefix may outlive the program for long.
for _ in $(seq 1 30); do
    left=0
    for environment in $(grep -l -z -x "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        program=$(readlink "${environment%/environ}/exe" 2>/dev/null)
        [[ ${program##*/} == wine* ]] && left=$((left + 1))
    done
    [ "$left" -eq 0 ] && { echo "ok: no Wine process of the prefix is left"; exit 0; }
    sleep 0.5
done
fail "$left Wine processes of $WINEPREFIX are still running 15 s after the program ended"
