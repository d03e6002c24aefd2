# SPDX-License-Identifier: MIT
# Makes the portable ZIP package of a Windows build and checks what it holds.
# cmake -DBUILD_DIR=... -P check_package.cmake
cmake_minimum_required(VERSION 3.25)
set(output ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${output})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP -B ${output} WORKING_DIRECTORY ${BUILD_DIR}
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${log}")
endif()
file(GLOB packages ${output}/Kavrelo1-*.zip)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one package in ${output}, found: ${packages}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${packages} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
foreach(file Kavrelo1.exe Zavlek.dll zavlek-call.exe include/zavlek.h LÉAME.txt LICENSE.txt THIRD-PARTY.txt)
  string(FIND "${listing}" "/${file}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${packages} lacks ${file}; it holds:\n${listing}")
  endif()
endforeach()

set(unpacked ${output}/unpacked)
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${packages} WORKING_DIRECTORY ${unpacked})
file(GLOB top ${unpacked}/Kavrelo1-*)

# The notes read as Notepad of any age shows them: a byte order mark, CRLF.
foreach(note LÉAME.txt THIRD-PARTY.txt)
  file(READ ${top}/${note} start LIMIT 3 HEX)
  if(NOT start STREQUAL "efbbbf")
    message(FATAL_ERROR "${note} does not start with a byte order mark: ${start}")
  endif()
  # Byte by byte ("0d 0a "): reading as text would drop the carriage returns.
  file(READ ${top}/${note} bytes HEX)
  string(REGEX REPLACE "(..)" "\\1 " bytes "${bytes}")
  string(REPLACE "0d 0a " "" bytes "${bytes}")
  string(FIND "${bytes}" "0a " bare_line_feed)
  if(NOT bare_line_feed EQUAL -1)
    message(FATAL_ERROR "${note} has a line that does not end in CRLF")
  endif()
endforeach()

# What users run carries no debugging information.
foreach(binary Kavrelo1.exe Zavlek.dll zavlek-call.exe)
  file(STRINGS ${top}/${binary} debug_sections REGEX "^\\.debug_")
  if(debug_sections)
    message(FATAL_ERROR "${binary} is not stripped: ${debug_sections}")
  endif()
endforeach()
message(STATUS "${packages}:\n${listing}")
