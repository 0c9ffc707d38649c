# SPDX-FileCopyrightText: 2026 The kv718st-demo developers
# SPDX-License-Identifier: MIT

# Fails unless LIBRARY defines exactly the six reader entry points, and the
# optional extras named in EXTRAS (a list), in its dynamic symbol table.
# Usage: cmake -DNM=<nm> -DLIBRARY=<file> [-DEXTRAS=<names>] -P CheckExports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE table RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${table}")
list(TRANSFORM names STRIP)
list(SORT names)
set(expected rf_ClosePort_125K rf_beep_125K rf_get_model_125K rf_init_com_125K rf_light_125K rf_request_125K ${EXTRAS})
list(SORT expected)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
message(STATUS "exports: ${names}")
