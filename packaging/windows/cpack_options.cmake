# SPDX-License-Identifier: MIT
# Settings of one package generator: the installer puts the files straight
# into the folder the user picks, not into a folder within it.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
