# SPDX-License-Identifier: GPL-3.0-or-later
if(QUAYMARK_SANITIZE)
    string(REPLACE ";" "," _sanitizers "${QUAYMARK_SANITIZE}")
    add_compile_options(-fsanitize=${_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_sanitizers})
endif()
