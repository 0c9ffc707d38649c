# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# What a program cross-built for Windows needs beside it to run: the compiler's
# runtime DLLs (Qt's DLLs need them too), and the folders holding them and Qt's
# DLLs, for running the build tree's programs under Wine.
#
#   KV_WINDOWS_RUNTIME_DLLS  libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll
#   KV_WINDOWS_DLL_DIRS      their folders and Qt's bin/
set(KV_WINDOWS_RUNTIME_DLLS "")
set(KV_WINDOWS_DLL_DIRS "")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(kv_gcc_dll libgcc_s_seh-1.dll)
else()
    set(kv_gcc_dll libgcc_s_dw2-1.dll)
endif()
foreach(dll libstdc++-6.dll ${kv_gcc_dll} libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        # The compiler does not know the threads library's DLL; the sysroot has it.
        find_file(path_${dll} ${dll} PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES lib bin NO_DEFAULT_PATH)
        set(path "${path_${dll}}")
    endif()
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "${dll} not found for ${CMAKE_CXX_COMPILER}")
    endif()
    get_filename_component(path "${path}" REALPATH)
    list(APPEND KV_WINDOWS_RUNTIME_DLLS "${path}")
    get_filename_component(dir "${path}" DIRECTORY)
    list(APPEND KV_WINDOWS_DLL_DIRS "${dir}")
endforeach()
if(KV_QT_WINDOWS_PREFIX)
    list(APPEND KV_WINDOWS_DLL_DIRS "${KV_QT_WINDOWS_PREFIX}/bin")
endif()
list(REMOVE_DUPLICATES KV_WINDOWS_DLL_DIRS)
unset(kv_gcc_dll)
