# SPDX-License-Identifier: MIT
# Read by cpack as it makes each package (CPACK_PROJECT_CONFIG_FILE).

# Dates in the packages are the last commit's unless the builder gives them,
# so that the same commit makes the same packages.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git -C "${CPACK_KAVRELO_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE status)
  if(status EQUAL 0 AND epoch)
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  endif()
endif()

# The installer puts the files straight into the folder the user picks, not
# into a folder within it.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
