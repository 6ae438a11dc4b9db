# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a source file includes a header of a folder above its own layer.
#   cmake -DSOURCE_DIR=<repository> -P IncludeLayers.cmake
#
# Each folder lists the folders it may include besides itself. Includes of paths outside the
# table (generated or third-party headers) are not checked; a new folder goes in the table.
cmake_minimum_required(VERSION 3.25)

set(layers
    "ingest:"
    "report:ingest"
    "app/platform:ingest"
    "app/core:ingest"
    "app/platform/qt:app/platform app/core ingest"
    "app/model:app/platform/qt app/platform app/core report ingest"
    "app/downloads:app/platform/qt app/platform app/core ingest"
    "app/ui:app/model app/downloads app/platform/qt app/platform app/core report ingest"
    "app/shell:app/ui app/model app/downloads app/platform/qt app/platform app/core report ingest"
    "cli:app/platform report ingest"
    "bench:ingest"
    "tools:app/shell app/ui app/model app/downloads app/platform/qt app/platform app/core report ingest")
# These build without Qt: the engine, and what the command uses of the platform.
set(qt_free ingest app/platform cli)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(folders)
foreach(entry IN LISTS layers)
    string(REPLACE ":" ";" parts "${entry}")
    list(GET parts 0 folder)
    list(APPEND folders "${folder}")
    list(LENGTH parts count)
    set(allowed_${folder} "${folder}")
    if(count GREATER 1)
        list(GET parts 1 below)
        string(REPLACE " " ";" below "${below}")
        list(APPEND allowed_${folder} ${below})
    endif()
endforeach()

# The folder a path belongs to: the longest listed folder it lies in.
function(layer_of path out)
    set(best "")
    foreach(folder IN LISTS folders)
        string(LENGTH "${folder}" length)
        string(LENGTH "${best}" best_length)
        string(FIND "${path}" "${folder}/" at)
        if(at EQUAL 0 AND length GREATER best_length)
            set(best "${folder}")
        endif()
    endforeach()
    set(${out} "${best}" PARENT_SCOPE)
endfunction()

set(faults)
set(checked 0)
foreach(folder IN LISTS folders)
    file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}"
        "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.cpp")
    foreach(file IN LISTS files)
        layer_of("${file}" own)
        if(NOT own STREQUAL folder)
            continue() # a deeper folder of the table; checked as that folder
        endif()
        math(EXPR checked "${checked} + 1")
        list(FIND qt_free "${own}" plain)
        file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line IN LISTS includes)
            if(line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*)")
                if(plain GREATER_EQUAL 0)
                    list(APPEND faults "${file}: Qt header <${CMAKE_MATCH_1}> in a Qt-free folder")
                endif()
                continue()
            endif()
            if(NOT line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
                continue()
            endif()
            set(target "${CMAKE_MATCH_1}")
            if(NOT target MATCHES "/")
                continue() # beside the including file
            endif()
            layer_of("${target}" to)
            if(to STREQUAL "")
                continue() # generated or third-party, outside the table
            endif()
            list(FIND allowed_${own} "${to}" found)
            if(found LESS 0)
                list(APPEND faults "${file}: includes ${target} (${own} -> ${to})")
            endif()
        endforeach()
    endforeach()
endforeach()

# The parts under a model get what they need from it and answer through signals: none of
# them includes the model above it.
foreach(part IN ITEMS "app/model/ImportQueue:AppModel" "app/model/DriveWatcher:AppModel"
        "app/downloads/DownloadQueue:DownloadModel")
    string(REPLACE ":" ";" pair "${part}")
    list(GET pair 0 base)
    list(GET pair 1 above)
    foreach(file IN ITEMS "${base}.h" "${base}.cpp")
        file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "#[ \t]*include[ \t]*\"([^\"]*/)?${above}\\.h\"")
        if(lines)
            list(APPEND faults "${file}: includes the ${above} that owns it")
        endif()
    endforeach()
endforeach()

if(checked EQUAL 0)
    message(FATAL_ERROR "no source files found under ${SOURCE_DIR}")
endif()
if(faults)
    list(JOIN faults "\n  " text)
    message(FATAL_ERROR "Includes that point up or sideways:\n  ${text}")
endif()
message(STATUS "${checked} files include only the layers below them")
