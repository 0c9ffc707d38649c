# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# Sourced by the scripts that run the real program with the preloaded driver.
# kv_locate BUILD_DIR [EXTRA_FILE...]: sets build (made absolute), program,
# driver and readers (the simulated reader's folder), and stops the calling
# script with a clear message when one of them, or an extra file, is missing.
kv_locate() {
    local caller
    caller=$(basename "$0")
    build=$(cd "$1" && pwd)
    shift
    program=$build/src/kv718st-demo
    driver=$build/bench/libkv_driver.so
    readers=$build/readers/simulated
    local f
    for f in "$program" "$driver" "$readers/libVeltronanew125K.so" "${@/#/$build/}"; do
        if [[ ! -e $f ]]; then
            echo "$caller: missing $f (build the tree first, e.g. cmake --preset release && cmake --build --preset release)" >&2
            exit 1
        fi
    done
}
