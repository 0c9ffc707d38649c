# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT
# The Debian 12 packages the project's scripts need, in named lists, and the
# functions that install them (as root, or through sudo). Sourced by run.sh,
# fuzz/run.sh, .ci/run and .ci/fresh-root.sh, on this machine and inside the
# fresh root:
#
#   . setup/packages.sh
#   install_missing "${build_packages[@]}" "${test_packages[@]}"

# The program's build and its start: CMake, g++, Qt 6 Widgets and Test, Qt's
# translation tools (lupdate and lrelease, and their CMake package in
# qt6-tools-dev) for the English texts built into the programs, a font that
# shows Chinese, a virtual X server for a machine without a display, and
# rsvg-convert for the PNG icons drawn from the SVG one.
build_packages=(cmake make g++ qt6-base-dev qt6-tools-dev qt6-l10n-tools fonts-wqy-microhei xvfb xauth librsvg2-bin)

# What the test suite adds: MinGW-w64 for the reader hosts and Windows DLLs of
# the Wine bridge's tests, and 64-bit Wine. 32-bit Wine (wine32_packages)
# would need the foreign architecture i386 added to the system, which is left
# to the user; without it the tests of 32-bit programs report themselves
# skipped.
test_packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64)

# The Windows build: MinGW-w64 for 64-bit Windows (the program) and 32-bit
# Windows (the reader host), Qt's host tools (in qt6-base-dev; lupdate and
# lrelease in qt6-tools-dev and qt6-l10n-tools), 64-bit Wine for its tests.
# NSIS makes the installer. The packages' checks run the program on a virtual
# X server and click it with xdotool.
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix qt6-base-dev
                  qt6-tools-dev qt6-l10n-tools
                  wine64 fonts-wqy-microhei xz-utils xvfb xauth xdotool unzip nsis)

# The checkers of the release packages (packaging/check-packages.sh); the
# install test of the suite uses them too. Ninja for the build configured by
# hand.
release_packages=(lintian reuse appstream desktop-file-utils dpkg-dev librsvg2-bin man-db ninja-build)

# The Wine bridge's tests with none skipped: the cross compilers, and Wine
# with its 32-bit part, a package of the foreign architecture i386, which the
# installation adds.
wine32_packages=(wine wine64 wine32:i386 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix)

# The fuzzer: clang with libFuzzer and the sanitizers' run-time.
fuzz_packages=(cmake make clang-14 libclang-rt-14-dev)

# The fresh root's maker (.ci/fresh-root.sh), on this machine.
fresh_root_packages=(mmdebstrap)

# The window check in the fresh root (.ci/window-check.sh): xwininfo.
window_check_packages=(x11-utils)

# Runs a command as root: directly when this is root, else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# Adds the foreign architectures that packages named PACKAGE:ARCH belong to
# (wine32:i386), unless dpkg knows them already.
add_architectures() {
    local package architecture
    for package in "$@"; do
        [[ $package == *:* ]] || continue
        architecture=${package##*:}
        [ "$architecture" = "$(dpkg --print-architecture)" ] && continue
        dpkg --print-foreign-architectures | grep -qx "$architecture" || as_root dpkg --add-architecture "$architecture"
    done
}

# Installs the packages, or their newer versions, whether installed or not,
# after a fresh look at the archive.
install_packages() {
    add_architectures "$@"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
}

# Installs those of the packages that are not installed; nothing, not even
# apt-get update, when all are.
install_missing() {
    local package missing=()
    for package in "$@"; do
        [[ $(dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null) == *"install ok installed"* ]] ||
            missing+=("$package")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}"
    install_packages "${missing[@]}"
}
