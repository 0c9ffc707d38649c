#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Finds Qt 6 for 64-bit Windows (MinGW-w64) and prints its prefix. The build is
# kept in a cache outside the source tree:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/kv718st-demo/qt6-<version>-x86_64-w64-mingw32
# When the cache has none, it is unpacked from the ready archive in
# ../shared/toolchains beside the repository (checksum checked), or else built
# from Debian's source package of the host Qt's version by
# build-qt6-mingw64.sh (about 50 minutes on two cores; needs root for apt-get).
#
#   bash packaging/windows/qt-for-windows.sh      prints the prefix
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/kv718st-demo

version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
version=${version%%+*}
[ -n "$version" ] || { echo "qt-for-windows: qt6-base-dev is not installed (its version is the one to use)" >&2; exit 1; }
name=qt6-$version-x86_64-w64-mingw32
prefix=$cache/$name

if [ -f "$prefix/lib/cmake/Qt6/qt.toolchain.cmake" ]; then
    echo "$prefix"
    exit 0
fi
mkdir -p "$cache"

shared=$repo/../shared/toolchains
if [ -f "$shared/$name.tar.xz" ] && [ -f "$shared/SHA256SUMS" ]; then
    echo "qt-for-windows: unpacking $name from ../shared/toolchains" >&2
    (cd "$shared" && grep " $name.tar.xz\$" SHA256SUMS | sha256sum --check --quiet -) \
        || { echo "qt-for-windows: $name.tar.xz does not match its checksum" >&2; exit 1; }
    unpacking=$(mktemp -d "$cache/unpack.XXXXXX")
    tar -C "$unpacking" -xJf "$shared/$name.tar.xz"
else
    echo "qt-for-windows: no ready build of $name; building it from Debian's source package (about 50 minutes)" >&2
    work=$cache/build-$name
    bash "$here/build-qt6-mingw64.sh" "$work" >&2
    unpacking=$(mktemp -d "$cache/unpack.XXXXXX")
    tar -C "$unpacking" -xJf "$work/$name.tar.xz"
    rm -rf "$work"
fi
# Moved into place whole, so that an interrupted unpack is never taken for a build.
rm -rf "$prefix"
mv "$unpacking/$name" "$prefix"
rmdir "$unpacking"
echo "$prefix"
