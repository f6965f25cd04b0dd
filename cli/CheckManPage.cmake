# Renders the man page as man does, through preconv, in a UTF-8 and in the C locale, for a UTF-8
# terminal and for an ASCII one, and fails on any warning groff gives or on a page that lost
# its words; says "skipped" without groff.
#   cmake -DPAGE=... -P CheckManPage.cmake
find_program(groff_program groff)
if(NOT groff_program)
    message("skipped: groff is not installed")
    return()
endif()
# preconv reads the coding tag; without it the C locale would decode the page as Latin-1.
file(STRINGS ${PAGE} first_line LIMIT_COUNT 1)
if(NOT first_line MATCHES "coding: UTF-8")
    message(FATAL_ERROR "${PAGE}: no coding tag on the first line")
endif()
foreach(locale C.UTF-8 C)
    foreach(device utf8 ascii)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env LC_ALL=${locale} LANG=${locale}
                ${groff_program} -k -man -ww -T${device} -P-cbou ${PAGE}
            RESULT_VARIABLE status OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
        if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
            message(FATAL_ERROR "groff -T${device} under ${locale} on ${PAGE}: ${status}\n${warnings}")
        endif()
        # Cyrillic words as they are on a UTF-8 terminal, transliterated on an ASCII one.
        if(device STREQUAL "utf8")
            set(heading "КОДЫ ВЫХОДА")
        else()
            set(heading "KODY VYKhODA")
        endif()
        if(NOT page MATCHES "${heading}")
            message(FATAL_ERROR "groff -T${device} under ${locale}: no \"${heading}\" in\n${page}")
        endif()
    endforeach()
endforeach()
