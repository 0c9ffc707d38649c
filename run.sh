#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Sets up a Debian 12 machine for kv718st-demo, builds it, and then either
# starts the program on the simulated reader or runs the whole test suite.
#
#   bash run.sh                 build (dev preset) and start the program
#   bash run.sh test [PRESET]   build and run every test headless (default preset: dev)
#   bash run.sh windows [package]
#                               cross-build for 64-bit Windows (preset windows), run
#                               its tests under Wine, and with "package" make the zip
#                               and the installer and check both under Wine
set -euo pipefail
cd "$(dirname "$0")"

# The packages each command needs: the lists and install_missing are in
# setup/packages.sh (the Windows build's list is windows_packages).
. setup/packages.sh

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

case "${1:-run}" in
windows) install_missing "${windows_packages[@]}" ;;
test) install_missing "${build_packages[@]}" "${test_packages[@]}" ;;
*) install_missing "${build_packages[@]}" ;;
esac
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
windows)
    # Qt for Windows, from a cache outside the tree (made on first use).
    KV_QT_WINDOWS_PREFIX=$(bash packaging/windows/qt-for-windows.sh)
    export KV_QT_WINDOWS_PREFIX
    build windows
    ctest --preset windows
    if [ "${2:-}" = package ]; then
        cpack --preset windows
        # The packages of this build, whatever others of other versions lie beside them.
        name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' build/windows/CPackConfig.cmake)
        bash tests/windows/zip_run.sh "build/windows/packages/$name.zip"
        bash tests/windows/installer_run.sh "build/windows/packages/$name.exe" "build/windows/packages/$name.zip" \
            build/windows/CPackConfig.cmake
    fi
    ;;
*)
    echo "usage: bash run.sh [run | test [dev|asan|release] | windows [package]]" >&2
    exit 2
    ;;
esac
