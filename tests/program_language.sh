#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# The real program's language, scripted by the preloaded driver offscreen on
# the simulated reader that misreads now and then:
#  - with --language en: read-all, the notice of a port already open, and an
#    endurance test that the toggle starts and stops; no Chinese character in
#    any control, list entry, screen-reader name, message box, log line or
#    status of the record;
#  - --language wins over KV718ST_LANGUAGE, which chooses when it is absent;
#  - with neither, under an English locale, the window is the Chinese one,
#    text for text;
#  - a language other than en or zh is a usage error (status 2).
# usage: program_language.sh PROGRAM DRIVER SIMULATED_READER_DIR
set -u
program=$1 driver=$2 readers=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $1"; exit 1; }

# run LOG SCRIPT ENVIRONMENT [ARGUMENT...]: the program under the driver, with
# the variables ENVIRONMENT sets (NAME=VALUE words) and no other that chooses
# a language; its status.
run() {
    local log=$1 script=$2 environment=$3
    shift 3
    # shellcheck disable=SC2086
    env -u LC_ALL -u LC_MESSAGES -u LANGUAGE -u KV718ST_LANGUAGE $environment \
        QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH="$readers" LD_PRELOAD="$driver" \
        KV718ST_SIM_OPTIONS=latency=off,misread=0.05,faults_from=12,seed=3 KV718ST_DRIVE="$script" \
        timeout 60 "$program" "$@" 2>"$log"
}

# Chinese characters and the full-width punctuation the Chinese texts use.
chinese='[\p{Han}\x{3000}-\x{303F}\x{FF00}-\x{FFEF}]'
# The lines of what the operator reads: controls, list entries, screen-reader
# names, message boxes.
readable() { grep -E '^driver: (text|item|accessible|box) ' "$1"; }

# ---- English: read-all, a notice, an endurance test -------------------------
log=$work/english.log record=$work/record.csv
run "$log" 'paint; boxes; texts
            click cmdReadAll; until Label_RetInfo is "Port closed."; texts
            click cmdZiDongCeShi; until cmdZiDongCeShi is "Stop test"
            wait 1000; until txtTestResult has "Step 10 " within 5000
            texts
            click cmdReadAll
            click cmdZiDongCeShi; until cmdZiDongCeShi is "Start test"; wait 300
            texts; wait 300; text lblStatSteps
            close' "" --language en --record "$record"
status=$?
[ "$status" -eq 0 ] || { cat "$log"; fail "English run: exit status $status"; }
# Enough of the window was seen that a missed Chinese text would show.
[ "$(readable "$log" | wc -l)" -gt 200 ] || { cat "$log"; fail "English run: too few texts printed"; }
if readable "$log" | LC_ALL=C.UTF-8 grep -P "$chinese"; then
    fail "English window: Chinese text above"
fi
grep -q '^driver: text name=Form1 value="KV718ST Demo"$' "$log" || fail "English window: no English title"
grep -q '^driver: box title="KV718ST Demo" text="The port is already open and ready for use."$' "$log" ||
    { cat "$log"; fail "English window: the notice of a port already open was not shown in English"; }
# One whole pass in the log, every step a passed or failed line with its card.
pass=$(sed -n 's/^driver: text name=txtTestResult value="\(Step 0 .*\)"$/\1/p' "$log" | head -n 1)
lines=$(sed 's/\\n/\n/g' <<<"$pass" | grep -c -E '^Step ([0-9]|10) (passed|failed), card [0-9A-F]*$')
[ "$lines" -eq 11 ] || { echo "$pass"; fail "English log: $lines of 11 step lines"; }
echo "ok: English window, message box and log without a Chinese character"

# The toggle started the test and stopped it: the step count, seen at the
# start, after read-all, while the test ran, after the stop and later, grew
# while it ran and stands still after the stop.
mapfile -t steps < <(sed -n 's/^driver: text name=lblStatSteps value=//p' "$log")
[ "${#steps[@]}" -eq 5 ] && [ "${steps[1]}" -eq 0 ] && [ "${steps[2]}" -ge 11 ] &&
    [ "${steps[3]}" -gt "${steps[2]}" ] && [ "${steps[4]}" = "${steps[3]}" ] || fail "English toggle: steps ${steps[*]}"
LC_ALL=C.UTF-8 grep -P "$chinese" "$record" && fail "English record: Chinese status above"
cut -d, -f2,7 "$record" | grep -q '^start,Port opened\.$' || { cat "$record"; fail "English record: no start line"; }
[ "$(grep -c ',stop,' "$record")" -eq 1 ] || { cat "$record"; fail "English record: no stop line"; }
grep ',fail,' "$record" | cut -d, -f7 | grep -v -x -E 'Card read\.|Card read failed\.|Port not open\.' &&
    fail "English record: a status above is no status line's"
echo "ok: the toggle starts and stops the test; the record's statuses are English"

# ---- The option, the variable and the locale ---------------------------------
# environment | arguments | the window's title
while IFS='|' read -r environment arguments title; do
    # shellcheck disable=SC2086
    run "$work/title.log" 'paint; text Form1; close' "$environment" $arguments
    status=$?
    [ "$status" -eq 0 ] || { cat "$work/title.log"; fail "'$environment $arguments': exit status $status"; }
    grep -q -E "^driver: text name=Form1 value=\"?$title\"?\$" "$work/title.log" ||
        { cat "$work/title.log"; fail "'$environment $arguments': the title is not $title"; }
done <<CASES
KV718ST_LANGUAGE=en||KV718ST Demo
KV718ST_LANGUAGE=en|--language zh|KV718ST演示软件
KV718ST_LANGUAGE=zh|--language=en|KV718ST Demo
KV718ST_LANGUAGE=fr|--language en|KV718ST Demo
KV718ST_LANGUAGE=|--language en|KV718ST Demo
LANG=en_US.UTF-8 KV718ST_LANGUAGE=||KV718ST演示软件
CASES
echo "ok: --language wins over KV718ST_LANGUAGE, which chooses without it"

# Under an English locale the window without an option is the Chinese one,
# text for text, at the start and after read-all.
script='paint; texts; click cmdReadAll; until Label_RetInfo is "串口关闭成功！"; texts; close'
run "$work/locale.log" "$script" "LANG=en_US.UTF-8" || { cat "$work/locale.log"; fail "English locale: the run failed"; }
run "$work/chinese.log" "$script" "LANG=C.UTF-8" --language zh ||
    { cat "$work/chinese.log"; fail "--language zh: the run failed"; }
readable "$work/locale.log" >"$work/locale.texts"
readable "$work/chinese.log" >"$work/chinese.texts"
diff "$work/chinese.texts" "$work/locale.texts" || fail "English locale: the window differs from the Chinese one"
[ "$(LC_ALL=C.UTF-8 grep -c -P "$chinese" "$work/locale.texts")" -gt 30 ] || fail "English locale: the window is not Chinese"
grep -q '^driver: text name=cmdZiDongCeShi value=自动测试开始$' "$work/locale.texts" || fail "English locale: toggle caption"
echo "ok: under LANG=en_US.UTF-8 the window is Chinese, text for text"

# ---- Usage errors --------------------------------------------------------------
# environment | arguments | standard error
while IFS='|' read -r environment arguments message; do
    # shellcheck disable=SC2086
    env -u DISPLAY -u KV718ST_LANGUAGE QT_QPA_PLATFORM=no-such-platform $environment \
        timeout 10 "$program" $arguments >"$work/out" 2>"$work/err"
    status=$?
    [ "$status" -eq 2 ] || fail "'$environment $arguments': exit status $status, not 2"
    [ "$(cat "$work/err")" = "kv718st-demo: $message" ] || { cat "$work/err"; fail "'$environment $arguments': message"; }
    [ ! -s "$work/out" ] || fail "'$environment $arguments': wrote to standard output"
done <<CASES
|--language fr|--language: 'fr' is not a language (en or zh)
|--language EN|--language: 'EN' is not a language (en or zh)
|--language|--language needs a language: en or zh
|--language=|--language needs a language: en or zh
KV718ST_LANGUAGE=english||KV718ST_LANGUAGE: 'english' is not a language (en or zh)
CASES
echo "ok: a language other than en or zh is a usage error"
