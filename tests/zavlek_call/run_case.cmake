# SPDX-License-Identifier: MIT
# Runs zavlek-call once and checks its exit status and what it wrote.
#   cmake -DTOOL=... [-DEMULATOR=...] "-DARGS=a;b" -DSTATUS=n [-DINPUT=file | -DSTDIN_CLOSED=ON]
#         [-DOUTPUT=file] [-DSTDOUT_HEX=hex] [-DSTDOUT_REGEX=re] [-DSTDERR_REGEX=re] -DWORK=dir
#         -P run_case.cmake
# OUTPUT sends standard output to a file of the test's choosing (a device that
# refuses every write, say), which is then not read.
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY ${WORK})
set(input)
if(DEFINED INPUT)
  set(input INPUT_FILE ${INPUT})
endif()
set(closed_input)
if(STDIN_CLOSED)
  set(closed_input sh -c "exec \"$@\" <&-" zavlek-call)
endif()
set(output ${WORK}/stdout)
if(DEFINED OUTPUT)
  set(output ${OUTPUT})
endif()
execute_process(COMMAND ${closed_input} ${EMULATOR} ${TOOL} ${ARGS} ${input}
  OUTPUT_FILE ${output} ERROR_FILE ${WORK}/stderr RESULT_VARIABLE status)
set(stdout)
if(NOT DEFINED OUTPUT)
  file(READ ${WORK}/stdout stdout)
endif()
file(READ ${WORK}/stderr stderr)
set(seen "status ${status}\n--- standard output:\n${stdout}\n--- standard error:\n${stderr}")
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "expected exit status ${STATUS}; ${seen}")
endif()
if(DEFINED STDOUT_HEX)
  file(READ ${WORK}/stdout bytes HEX)
  if(NOT bytes STREQUAL STDOUT_HEX)
    message(FATAL_ERROR "expected the bytes ${STDOUT_HEX}, got ${bytes}; ${seen}")
  endif()
endif()
if(DEFINED STDOUT_REGEX AND NOT stdout MATCHES "${STDOUT_REGEX}")
  message(FATAL_ERROR "standard output does not match '${STDOUT_REGEX}'; ${seen}")
endif()
if(DEFINED STDERR_REGEX AND NOT stderr MATCHES "${STDERR_REGEX}")
  message(FATAL_ERROR "standard error does not match '${STDERR_REGEX}'; ${seen}")
endif()
