# Renders the man page and fails on any warning groff gives; says "skipped" without groff.
#   cmake -DPAGE=... -P CheckManPage.cmake
find_program(groff_program groff)
if(NOT groff_program)
    message("skipped: groff is not installed")
    return()
endif()
execute_process(COMMAND ${groff_program} -Kutf8 -man -Tutf8 -ww -z ${PAGE}
    RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff on ${PAGE}: ${status}\n${warnings}")
endif()
