# SPDX-License-Identifier: GPL-3.0-or-later
# Fails on any message of qmllint, informational ones included, over every QML file of the
# screens' folder.
#   cmake -DQMLLINT=<qmllint> -DPROGRAM_MODULES=<folder> -DQT_MODULES=<folder> -DSCREENS=<folder>
#         -P QmlLint.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required QMLLINT PROGRAM_MODULES QT_MODULES SCREENS)
    if(NOT ${required})
        message(FATAL_ERROR "${required} is not set")
    endif()
endforeach()

file(GLOB files "${SCREENS}/*.qml")
if(NOT files)
    message(FATAL_ERROR "No QML files in ${SCREENS}")
endif()
# --bare: only the program's modules as built and Qt's own, never a module lying around.
execute_process(
    COMMAND "${QMLLINT}" --bare -I "${PROGRAM_MODULES}" -I "${QT_MODULES}" ${files}
    WORKING_DIRECTORY "${SCREENS}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
list(LENGTH files count)
if(NOT result EQUAL 0 OR NOT output STREQUAL "")
    message(FATAL_ERROR "qmllint over ${count} files (exit ${result}):\n${output}")
endif()
message(STATUS "qmllint: ${count} files without a message")
