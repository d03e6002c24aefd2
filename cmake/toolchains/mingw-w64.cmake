# SPDX-License-Identifier: MIT
# Cross-building for Windows with Debian's mingw-w64 compilers (POSIX thread
# model). Included by the per-architecture toolchain files, which set
# KAVRELO_MINGW_TRIPLET and KAVRELO_MINGW_OTHER_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10)

set(CMAKE_C_COMPILER ${KAVRELO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KAVRELO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KAVRELO_MINGW_TRIPLET}-windres)
set(CMAKE_DLLTOOL ${KAVRELO_MINGW_TRIPLET}-dlltool)
# The compiler of the other architecture, for the test double that must fail
# to load because it was built for it.
set(KAVRELO_OTHER_ARCHITECTURE_CXX ${KAVRELO_MINGW_OTHER_TRIPLET}-g++-posix)

set(CMAKE_FIND_ROOT_PATH /usr/${KAVRELO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every .exe and .dll runs alone: the C and C++ runtimes and winpthread are
# linked in, so only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Programs built here run under Wine: tests, test discovery and build steps.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine)
