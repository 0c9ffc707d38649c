# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# Install helpers for kv718st-demo: desktop entries, and reader libraries with
# their launchers, desktop entries and Debian packages.
include_guard(GLOBAL)
include(GNUInstallDirs)
set(KV_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# Each reader library goes into a folder of its own below
# KV_INSTALL_READERDIR (set in the top-level CMakeLists.txt).

# kv_install_desktop_entry(<file> EXEC <command> NAME <Chinese> NAME_EN <English>
#                          COMMENT <Chinese> COMMENT_EN <English> COMPONENT <component>)
# Writes the desktop entry <file> (e.g. kv718st-demo.desktop) from the shared
# template and installs it into share/applications.
function(kv_install_desktop_entry file)
    cmake_parse_arguments(ARG "" "EXEC;NAME;NAME_EN;COMMENT;COMMENT_EN;COMPONENT" "" ${ARGN})
    foreach(key IN ITEMS EXEC NAME NAME_EN COMMENT COMMENT_EN COMPONENT)
        if(NOT ARG_${key})
            message(FATAL_ERROR "kv_install_desktop_entry(${file}): ${key} is missing")
        endif()
    endforeach()
    set(KV_DESKTOP_EXEC "${ARG_EXEC}")
    set(KV_DESKTOP_NAME "${ARG_NAME}")
    set(KV_DESKTOP_NAME_EN "${ARG_NAME_EN}")
    set(KV_DESKTOP_COMMENT "${ARG_COMMENT}")
    set(KV_DESKTOP_COMMENT_EN "${ARG_COMMENT_EN}")
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/desktop-entry.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${file} @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${file}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
            COMPONENT ${ARG_COMPONENT})
endfunction()

# kv_install_reader_library(TARGET <shared library target> NAME <folder>
#     LAUNCHER <command> COMPONENT <component> PACKAGE <Debian package name>
#     DESKTOP_NAME <Chinese> DESKTOP_NAME_EN <English>
#     DESKTOP_COMMENT <Chinese> DESKTOP_COMMENT_EN <English>
#     SUMMARY <one line> DESCRIPTION <paragraph>
#     [PROGRAM <executable target, default kv718st-demo>])
#
# Installs, all in <component>:
#   ${KV_INSTALL_READERDIR}/<folder>/<the library>
#   bin/<command>                a bash launcher that puts that folder first on
#                                LD_LIBRARY_PATH and execs the program next to it
#   share/applications/<command>.desktop
#   share/man/man1/<command>.1.gz   from man/<command>.1.in
# and sets, in the caller's scope, the CPack variables that make <component>
# its own Debian package depending on ${KV_PROGRAM_PACKAGE} (= ${KV_DEB_VERSION}).
# The component is added to the global property KV_PACKAGE_COMPONENTS, the
# package to KV_READER_PACKAGES and "<folder>=<command>" to KV_READER_LAUNCHERS.
function(kv_install_reader_library)
    set(one TARGET NAME LAUNCHER COMPONENT PACKAGE DESKTOP_NAME DESKTOP_NAME_EN
            DESKTOP_COMMENT DESKTOP_COMMENT_EN SUMMARY DESCRIPTION PROGRAM)
    cmake_parse_arguments(ARG "" "${one}" "" ${ARGN})
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "kv_install_reader_library: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(NOT ARG_PROGRAM)
        set(ARG_PROGRAM kv718st-demo)
    endif()
    list(REMOVE_ITEM one PROGRAM)
    foreach(key IN LISTS one)
        if(NOT ARG_${key})
            message(FATAL_ERROR "kv_install_reader_library: ${key} is missing")
        endif()
    endforeach()
    foreach(target IN ITEMS ${ARG_TARGET} ${ARG_PROGRAM})
        if(NOT TARGET ${target})
            message(FATAL_ERROR "kv_install_reader_library: no target ${target}")
        endif()
    endforeach()
    if(NOT KV_PROGRAM_PACKAGE OR NOT KV_DEB_VERSION)
        message(FATAL_ERROR "kv_install_reader_library: set KV_PROGRAM_PACKAGE and KV_DEB_VERSION first")
    endif()

    set(folder "${KV_INSTALL_READERDIR}/${ARG_NAME}")
    install(TARGETS ${ARG_TARGET}
            LIBRARY DESTINATION ${folder} COMPONENT ${ARG_COMPONENT})

    # The launcher finds the folder relative to its own location, so the
    # installed tree can be moved; only absolute install folders are kept as
    # they are.
    if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${folder}")
        set(KV_LAUNCHER_READERDIR "${folder}")
        cmake_path(ABSOLUTE_PATH KV_LAUNCHER_READERDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" NORMALIZE)
    else()
        cmake_path(RELATIVE_PATH folder BASE_DIRECTORY "${CMAKE_INSTALL_BINDIR}" OUTPUT_VARIABLE KV_LAUNCHER_READERDIR)
    endif()
    get_target_property(program_name ${ARG_PROGRAM} OUTPUT_NAME)
    if(NOT program_name)
        set(program_name ${ARG_PROGRAM})
    endif()
    set(KV_LAUNCHER "${ARG_LAUNCHER}")
    set(KV_LAUNCHER_PROGRAM "${program_name}")
    set(KV_LAUNCHER_READER "${ARG_NAME}")
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/reader-launcher.sh.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${ARG_LAUNCHER} @ONLY)
    install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/${ARG_LAUNCHER}
            DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${ARG_COMPONENT})

    kv_install_desktop_entry(${ARG_LAUNCHER}.desktop
        EXEC ${ARG_LAUNCHER}
        NAME "${ARG_DESKTOP_NAME}" NAME_EN "${ARG_DESKTOP_NAME_EN}"
        COMMENT "${ARG_DESKTOP_COMMENT}" COMMENT_EN "${ARG_DESKTOP_COMMENT_EN}"
        COMPONENT ${ARG_COMPONENT})
    kv_install_manual_page(${ARG_LAUNCHER} COMPONENT ${ARG_COMPONENT})

    string(TOUPPER "${ARG_COMPONENT}" comp)
    set(CPACK_DEBIAN_${comp}_PACKAGE_NAME "${ARG_PACKAGE}" PARENT_SCOPE)
    set(CPACK_DEBIAN_${comp}_PACKAGE_DEPENDS "${KV_PROGRAM_PACKAGE} (= ${KV_DEB_VERSION})" PARENT_SCOPE)
    set(CPACK_COMPONENT_${comp}_DISPLAY_NAME "${ARG_DESKTOP_NAME_EN}" PARENT_SCOPE)
    set(CPACK_COMPONENT_${comp}_DESCRIPTION "${ARG_SUMMARY}\n${ARG_DESCRIPTION}" PARENT_SCOPE)
    set_property(GLOBAL APPEND PROPERTY KV_PACKAGE_COMPONENTS ${ARG_COMPONENT})
    set_property(GLOBAL APPEND PROPERTY KV_READER_PACKAGES ${ARG_PACKAGE})
    set_property(GLOBAL APPEND PROPERTY KV_READER_LAUNCHERS "${ARG_NAME}=${ARG_LAUNCHER}")
endfunction()

# ---- documentation of the packages ------------------------------------------

# kv_install_manual_page(<command> COMPONENT <component>)
# Installs the section-1 manual page of <command>, written by hand in
# man/<command>.1.in, as share/man/man1/<command>.1.gz. The page is filled in
# and compressed when it is installed, so the folders it names are those of the
# actual installation prefix (/usr in the Debian packages). Placeholders:
# @KV_VERSION@, @KV_RELEASE_DATE@, @KV_READERDIR@ (the folder of the reader
# folders), @KV_DOCDIR@ (where README.md.gz is installed).
function(kv_install_manual_page command)
    cmake_parse_arguments(ARG "" "COMPONENT" "" ${ARGN})
    set(source ${KV_PACKAGING_DIR}/man/${command}.1.in)
    if(NOT ARG_COMPONENT OR NOT EXISTS ${source})
        message(FATAL_ERROR "kv_install_manual_page(${command}): needs COMPONENT and ${source}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    install(CODE "
        set(KV_VERSION \"${PROJECT_VERSION}\")
        set(KV_RELEASE_DATE \"${KV_RELEASE_DATE}\")
        set(KV_READERDIR \"${KV_INSTALL_READERDIR}\")
        if(NOT IS_ABSOLUTE \"\${KV_READERDIR}\")
            set(KV_READERDIR \"\${CMAKE_INSTALL_PREFIX}/\${KV_READERDIR}\")
        endif()
        set(KV_DOCDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DOCDIR}\")
        configure_file(\"${source}\" \"${CMAKE_CURRENT_BINARY_DIR}/man/${command}.1\" @ONLY)
        execute_process(COMMAND gzip -9nf \"${CMAKE_CURRENT_BINARY_DIR}/man/${command}.1\"
                        COMMAND_ERROR_IS_FATAL ANY)
        file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/man/${command}.1.gz\"
             DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")
    " COMPONENT ${ARG_COMPONENT})
endfunction()

# kv_install_package_documents(<component> <Debian package>)
# Installs what Debian wants in every package's share/doc/<package>/: the
# machine-readable copyright file (made from LICENSE) and the Debian changelog,
# one entry for the release, dated as the newest entry of CHANGELOG.md. And a
# lintian override, see below.
function(kv_install_package_documents component package)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/doc/${package})
    file(CONFIGURE OUTPUT ${dir}/changelog.Debian CONTENT
"${package} (${KV_DEB_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION} of ${PROJECT_NAME}; its changes are listed in CHANGELOG.md,
    installed as ${KV_UPSTREAM_CHANGELOG}.

 -- ${KV_PACKAGE_MAINTAINER}  ${KV_RELEASE_DATE_RFC2822}
")
    execute_process(COMMAND gzip -9nf ${dir}/changelog.Debian COMMAND_ERROR_IS_FATAL ANY)
    configure_file(${CMAKE_CURRENT_BINARY_DIR}/copyright ${dir}/copyright COPYONLY)
    install(FILES ${dir}/copyright ${dir}/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package}
            COMPONENT ${component})
    # lintian expects the first Debian changelog entry of a package to close
    # the archive's "intent to package" bug. These packages are built by the
    # project itself and not uploaded to the archive, so there is no such bug.
    file(CONFIGURE OUTPUT ${dir}/lintian-overrides CONTENT "${package}: initial-upload-closes-no-bugs\n")
    install(FILES ${dir}/lintian-overrides RENAME ${package}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
            COMPONENT ${component})
endfunction()
