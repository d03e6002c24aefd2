# SPDX-License-Identifier: MIT
# Builds the library template as its author would, with the same compilers,
# and runs the contract check on what it built.
#   cmake -DSOURCE=... -DWORK=... -DTOOL=... [-DEMULATOR=...] [-DTOOLCHAIN=...] -P template.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
set(toolchain)
if(TOOLCHAIN)
  set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G Ninja ${toolchain}
    "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror" "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror"
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the template does not configure:\n${log}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the template does not build:\n${log}")
endif()
file(GLOB library ${WORK}/libZavlek.so ${WORK}/Zavlek.dll)
if(NOT library)
  message(FATAL_ERROR "the template built no libZavlek.so or Zavlek.dll")
endif()
execute_process(COMMAND ${EMULATOR} ${TOOL} --library ${library} check
  RESULT_VARIABLE status OUTPUT_VARIABLE table ERROR_VARIABLE errors)
message(STATUS "${table}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the template does not pass the check (status ${status}):\n${table}\n${errors}")
endif()
