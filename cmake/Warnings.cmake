# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings are set per target so that third-party code is never affected.
function(quaymark_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
    if(QUAYMARK_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
