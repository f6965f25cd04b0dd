# Runs a program and checks its exit code and its standard error together.
#   cmake -DPROGRAM=... -DARGUMENT=... -DEXIT=2 -DERROR_PATTERN=regex -P ExitAndError.cmake
# A program that does not end by itself (a window left open) fails by the timeout.
execute_process(COMMAND ${PROGRAM} ${ARGUMENT}
    RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors TIMEOUT 30)
if(NOT status STREQUAL EXIT)
    message(FATAL_ERROR "${PROGRAM} ${ARGUMENT} exited with ${status}, not ${EXIT}: ${errors}")
endif()
if(NOT errors MATCHES "${ERROR_PATTERN}")
    message(FATAL_ERROR "the error of ${PROGRAM} ${ARGUMENT} does not match "
        "\"${ERROR_PATTERN}\": ${errors}")
endif()
