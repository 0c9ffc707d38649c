#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# Builds Qt 6 (qtbase: Core, Gui, Widgets, Test, the Windows and offscreen platform plugins) for 64-bit Windows
# with Debian 12's MinGW-w64 cross compiler, from Debian's own source package of the same version as the host
# Qt tools, and packs the installed tree as qt6-<version>-x86_64-w64-mingw32.tar.xz in WORKDIR.
# About 50 minutes on 2 cores. Needs root for apt-get. The machine's apt sources are left as they were.
#
#   bash build-qt6-mingw64.sh WORKDIR
set -euo pipefail
work=${1:?usage: bash build-qt6-mingw64.sh WORKDIR}
mkdir -p "$work"
export DEBIAN_FRONTEND=noninteractive

apt-get install -y -qq --no-install-recommends g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev xz-utils >/dev/null

# The source package, through a private source list: nothing of the machine's apt configuration changes.
srcdir=$work/apt
mkdir -p "$srcdir/lists/partial" "$srcdir/archives/partial"
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$srcdir/debian.sources"
else
  sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$srcdir/debian.list"
fi
apt_opts=(-o "Dir::Etc::SourceList=/dev/null" -o "Dir::Etc::SourceParts=$srcdir" -o "Dir::State::Lists=$srcdir/lists"
          -o "Dir::Cache::Archives=$srcdir/archives" -o "APT::Sandbox::User=root")
apt-get "${apt_opts[@]}" update -qq
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
(cd "$work" && apt-get "${apt_opts[@]}" source --download-only "qt6-base=$version" >/dev/null)
upstream=${version%%+*}
tar -C "$work" -xJf "$work"/qt6-base_*.orig.tar.xz
src=$work/qtbase-everywhere-src-$upstream
# Qt 6.4's Windows platform plugin uses the dynamic OpenGL loader even when OpenGL is configured out.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$src/src/plugins/platforms/windows/qwindowswindow.cpp"

cat >"$work/mingw64.cmake" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

prefix=$work/qt6-$upstream-x86_64-w64-mingw32
cmake -G Ninja -S "$src" -B "$work/build" \
  -DCMAKE_TOOLCHAIN_FILE="$work/mingw64.cmake" -DQT_HOST_PATH=/usr \
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF -DFEATURE_printsupport=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_jpeg=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
  >"$work/configure.log"
cmake --build "$work/build" --parallel "$(nproc)" >"$work/build.log"
cmake --install "$work/build" >"$work/install.log"
tar -C "$work" -cJf "$work/qt6-$upstream-x86_64-w64-mingw32.tar.xz" "$(basename "$prefix")"
echo "$work/qt6-$upstream-x86_64-w64-mingw32.tar.xz"
