# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# Read by cpack before each generator runs. Without dpkg-shlibdeps CPack would
# build Debian packages that lack their library dependencies; refuse instead.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
    find_program(KV_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(NOT KV_DPKG_SHLIBDEPS)
        message(FATAL_ERROR "dpkg-shlibdeps not found: install the Debian package dpkg-dev "
                            "(apt-get install dpkg-dev) to build the packages")
    endif()
endif()
