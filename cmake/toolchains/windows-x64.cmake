# SPDX-License-Identifier: MIT
set(KAVRELO_MINGW_TRIPLET x86_64-w64-mingw32)
set(KAVRELO_MINGW_OTHER_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
