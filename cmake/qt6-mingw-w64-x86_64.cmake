# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# 64-bit Windows with Debian's MinGW-w64 (posix threads) and Qt 6 for Windows:
# Qt's own toolchain file, chain-loading mingw-w64-x86_64.cmake. Qt's prefix is
# KV_QT_WINDOWS_PREFIX (cache or environment) or, by default, the build that
# packaging/windows/qt-for-windows.sh keeps in
# ${XDG_CACHE_HOME:-$HOME/.cache}/kv718st-demo/.
if(NOT KV_QT_WINDOWS_PREFIX AND DEFINED ENV{KV_QT_WINDOWS_PREFIX})
    set(KV_QT_WINDOWS_PREFIX "$ENV{KV_QT_WINDOWS_PREFIX}")
endif()
if(NOT KV_QT_WINDOWS_PREFIX)
    if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
        set(cache "$ENV{XDG_CACHE_HOME}/kv718st-demo")
    else()
        set(cache "$ENV{HOME}/.cache/kv718st-demo")
    endif()
    file(GLOB candidates LIST_DIRECTORIES true "${cache}/qt6-*-x86_64-w64-mingw32")
    if(candidates)
        list(SORT candidates COMPARE NATURAL ORDER DESCENDING)
        list(GET candidates 0 KV_QT_WINDOWS_PREFIX)
    endif()
    unset(candidates)
    unset(cache)
endif()
if(NOT KV_QT_WINDOWS_PREFIX OR NOT EXISTS "${KV_QT_WINDOWS_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
    message(FATAL_ERROR "Qt 6 for Windows not found: run packaging/windows/qt-for-windows.sh, "
                        "or set KV_QT_WINDOWS_PREFIX to its prefix")
endif()
set(KV_QT_WINDOWS_PREFIX "${KV_QT_WINDOWS_PREFIX}" CACHE PATH "Prefix of Qt 6 for 64-bit Windows (MinGW-w64)")
# Try-compile projects see the same Qt.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KV_QT_WINDOWS_PREFIX)
set(QT_CHAINLOAD_TOOLCHAIN_FILE "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
include("${KV_QT_WINDOWS_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
