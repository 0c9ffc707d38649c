#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Automatic-test benchmark: runs kv_bench_autotest, which drives the real
# window offscreen on a reader that answers at once, and prints its figures
# with the targets.
#
# usage: bench/autotest.sh [BUILD_DIR] [OPTIONS...]
#   BUILD_DIR  an already built tree (default: build/release under the
#              repository); it needs bench/kv_bench_autotest
#   OPTIONS    passed on, e.g. --passes 100 for a quick run (default 1000
#              passes, about two minutes); --help lists them
# Exits with the benchmark's status: 0 once the figures are printed, whether
# or not the targets hold; 1 if the run went wrong.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/release
if [[ $# -gt 0 && $1 != -* ]]; then
    build=$1
    shift
fi
build=$(cd "$build" && pwd)

bench=$build/bench/kv_bench_autotest
if [[ ! -x $bench ]]; then
    echo "autotest.sh: missing $bench (build the tree first, e.g. cmake --preset release && cmake --build --preset release)" >&2
    exit 1
fi

QT_QPA_PLATFORM=offscreen exec "$bench" "$@"
