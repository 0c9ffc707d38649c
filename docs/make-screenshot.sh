#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Makes docs/window.png and docs/window-en.png, the pictures of the window in
# Chinese and in English shown in README.md.
#
# usage: docs/make-screenshot.sh [--language zh|en] [BUILD_DIR] [OUTPUT]
#   --language the window's language (default zh)
#   BUILD_DIR  an already built tree (default: build/release, else build/dev,
#              under the repository); it needs src/kv718st-demo,
#              bench/libkv_driver.so and readers/simulated/
#   OUTPUT     the PNG to write (default: docs/window.png in Chinese,
#              docs/window-en.png in English)
# Builds nothing. Needs xvfb-run (package xvfb) and a font with Chinese
# glyphs (fonts-wqy-microhei); `bash run.sh` installs both.
#
# The real program runs on a virtual X server with the simulated reader
# (latency off) that misreads about one card read in twenty once read-all has
# taken the references. The preloaded driver reads all formats, starts the
# automatic test, lets it run for some twenty passes, stops it right after a
# pass has logged its last step, so the log shows one whole pass and the
# statistics some failures, and grabs the window. A run whose log is not one
# whole pass is tried again, up to 3 times.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
language=zh
if [[ ${1:-} == --language ]]; then
    language=${2:-}
    shift 2 || true
fi
# The log's last step, and its words for a passed and a failed step.
case $language in
zh) picture=window.png last_step='第10步' passed='测试成功' failed='测试错误' ;;
en) picture=window-en.png last_step='Step 10 ' passed='passed,' failed='failed,' ;;
*)
    echo "make-screenshot.sh: --language takes zh or en, not '$language'" >&2
    exit 2
    ;;
esac
if [[ $# -ge 1 ]]; then
    build=$1
elif [[ -x $root/build/release/src/kv718st-demo ]]; then
    build=$root/build/release
else
    build=$root/build/dev
fi
out=${2:-$root/docs/$picture}

source "$root/bench/locate.sh"
kv_locate "$build"
if ! command -v xvfb-run >/dev/null; then
    echo "make-screenshot.sh: xvfb-run not found (apt-get install xvfb, or run 'bash run.sh' once)" >&2
    exit 1
fi
if ! fc-list :lang=zh family | grep -q .; then
    echo "make-screenshot.sh: no font with Chinese glyphs (apt-get install fonts-wqy-microhei)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shot=$work/window.png

# The first pass starts 100 ms after the start and a pass takes some 120 ms:
# after 2500 ms twenty have run. The log then holds step 10 only between the
# end of a pass and the start of the next, when the stop lands cleanly.
script="paint
click cmdReadAll
click cmdZiDongCeShi
wait 2500
until txtTestResult has \"$last_step\" within 5000
click cmdZiDongCeShi
text txtTestResult
text lblStatFailures
grab \"$shot\"
close"

for attempt in 1 2 3; do
    rm -f "$shot"
    if ! xvfb-run -a -s "-screen 0 1600x900x24" env -u QT_QPA_PLATFORM \
        LD_PRELOAD="$driver" LD_LIBRARY_PATH="$readers" \
        KV718ST_SIM_OPTIONS=latency=off,misread=0.05,faults_from=12,seed=7 \
        KV718ST_DRIVE="$script" timeout 60 "$program" --language "$language" >/dev/null 2>"$work/log"; then
        echo "make-screenshot.sh: the run failed:" >&2
        cat "$work/log" >&2
        exit 1
    fi
    logged=$(grep '^driver: text name=txtTestResult ' "$work/log" || true)
    passed_lines=$(grep -o "$passed" <<<"$logged" | wc -l || true)
    failed_lines=$(grep -o "$failed" <<<"$logged" | wc -l || true)
    failures=$(sed -n 's/^driver: text name=lblStatFailures value=//p' "$work/log")
    if [[ -s $shot && $((passed_lines + failed_lines)) -eq 11 && ${failures:-0} -gt 0 ]]; then
        mkdir -p "$(dirname "$out")"
        cp "$shot" "$out"
        grep '^driver: grab ' "$work/log" | sed "s|$shot|$out|"
        exit 0
    fi
    echo "make-screenshot.sh: attempt $attempt: the log is not one whole pass ($passed_lines passed, $failed_lines failed lines)" \
         "or no failure was counted (${failures:-none})" >&2
done
exit 1
