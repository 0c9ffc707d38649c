# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# Fails unless FILE, a Windows program or DLL, imports only Windows' own DLLs
# (no runtime DLL of the compiler's), and, when EXPORTS is given, exports
# exactly those names.
# Usage: cmake -DOBJDUMP=<objdump> -DFILE=<file> [-DEXPORTS=a;b;...] -P CheckWindowsBinary.cmake
cmake_policy(VERSION 3.25)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${FILE}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
list(TRANSFORM imports REPLACE "DLL Name: " "")
list(TRANSFORM imports TOLOWER)
set(windows_own kernel32.dll msvcrt.dll user32.dll advapi32.dll ntdll.dll)
foreach(name IN LISTS imports)
    if(NOT name IN_LIST windows_own)
        message(FATAL_ERROR "${FILE} imports ${name}; only Windows' own DLLs are allowed: ${imports}")
    endif()
endforeach()

if(DEFINED EXPORTS)
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" table "${dump}")
    string(REGEX MATCHALL "\\] [^\n]+" names "${CMAKE_MATCH_1}")
    list(TRANSFORM names REPLACE "\\] " "")
    list(SORT names)
    set(expected ${EXPORTS})
    list(SORT expected)
    if(NOT names STREQUAL expected)
        message(FATAL_ERROR "${FILE} exports: ${names}\nexpected: ${expected}")
    endif()
endif()
message(STATUS "${FILE}: imports ${imports}")
