#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Sets up a Debian 12 machine for kv718st-demo, builds it, and then either
# starts the program on the simulated reader or runs the whole test suite.
#
#   bash run.sh                 build (dev preset) and start the program
#   bash run.sh test [PRESET]   build and run every test headless (default preset: dev)
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake make g++ qt6-base-dev fonts-wqy-microhei xvfb xauth librsvg2-bin)

install_missing() {
    local missing=()
    for package in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

install_missing
case "${1:-run}" in
run)
    build dev
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "The program needs a display. Without one, start it under a virtual X server:" >&2
        echo "    xvfb-run -a bash run.sh" >&2
        exit 1
    fi
    LD_LIBRARY_PATH="$PWD/build/dev/readers/simulated${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
        exec build/dev/src/kv718st-demo
    ;;
test)
    preset="${2:-dev}"
    build "$preset"
    QT_QPA_PLATFORM=offscreen ctest --preset "$preset"
    ;;
*)
    echo "usage: bash run.sh [run | test [dev|asan|release]]" >&2
    exit 2
    ;;
esac
