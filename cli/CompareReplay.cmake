# Replays an example session with the options every example is recorded with and compares the
# protocol with the expected one, byte for byte; with UPDATE=ON writes the expected file instead.
#   cmake -DCLI=... -DSESSION=... -DEXPECTED=... [-DACTUAL=...] [-DUPDATE=ON] -P CompareReplay.cmake
set(options --locale ru_RU --start 2026-01-01T09:00:00)
if(UPDATE)
    set(ACTUAL ${EXPECTED})
endif()
execute_process(COMMAND ${CLI} replay ${options} ${SESSION}
    OUTPUT_FILE ${ACTUAL} RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "replay of ${SESSION} exited with ${status}: ${errors}")
endif()
if(UPDATE)
    message(STATUS "written ${EXPECTED}")
    return()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${EXPECTED}
    RESULT_VARIABLE different)
if(different)
    find_program(diff_program diff)
    if(diff_program)
        execute_process(COMMAND ${diff_program} -u ${EXPECTED} ${ACTUAL})
    endif()
    message(FATAL_ERROR "the protocol of ${SESSION} differs from ${EXPECTED}")
endif()
