# SPDX-License-Identifier: MIT
# Included by tests/CMakeLists.txt.
# Test-double libraries, each as the library file in a folder of its own so
# that a test can point the loader at exactly the library it needs.
set(KAVRELO_DOUBLES_DIR ${CMAKE_CURRENT_BINARY_DIR}/doubles)
if(WIN32)
  set(KAVRELO_LIBRARY_FILE Zavlek.dll)
else()
  set(KAVRELO_LIBRARY_FILE libZavlek.so)
endif()

function(kavrelo_add_double name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "WITH_ITS_FAULTS" "" "SOURCES;DEFINITIONS")
  add_library(double_${name} SHARED ${ARG_SOURCES})
  kavrelo_zavlek_library(double_${name})
  target_compile_definitions(double_${name} PRIVATE ${ARG_DEFINITIONS})
  if(ARG_WITH_ITS_FAULTS AND NOT WIN32)
    # Built as its author would, without sanitizers: its faults are for
    # zavlek-call to find, not for a sanitizer inside the library.
    target_compile_options(double_${name} PRIVATE -fno-sanitize=all)
    target_link_options(double_${name} PRIVATE -fno-sanitize=all)
  endif()
  set_target_properties(double_${name} PROPERTIES
    NO_SONAME ON
    LIBRARY_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/${name}
    RUNTIME_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/${name}
    ARCHIVE_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/${name})
  add_dependencies(test_doubles double_${name})
endfunction()

add_custom_target(test_doubles)
kavrelo_add_double(complete SOURCES doubles/recording_zavlek.cpp)
kavrelo_add_double(no_mpila SOURCES doubles/recording_zavlek.cpp DEFINITIONS WITHOUT_MPILA)
kavrelo_add_double(sixteen_mb_of_tokens SOURCES doubles/recording_zavlek.cpp DEFINITIONS FIRST_RESULT=sixteen_mb_of_tokens)
kavrelo_add_double(echo SOURCES doubles/recording_zavlek.cpp DEFINITIONS FIRST_RESULT=echo)
# A first answer that is no string of the library's own, for the real program.
set(KAVRELO_ANSWER_SHAPES argument constant unreadable inside_large_block in_a_mapping static_storage
  thread_local_storage)
foreach(shape ${KAVRELO_ANSWER_SHAPES})
  kavrelo_add_double(answers_${shape} SOURCES doubles/recording_zavlek.cpp DEFINITIONS FIRST_RESULT=${shape})
endforeach()
foreach(fault crash hang argument literal leak keep print forge exit3 abort grandchild recursion)
  string(TOUPPER ${fault} define)
  kavrelo_add_double(breaks_${fault} SOURCES doubles/contract_breaker.cpp DEFINITIONS BREAK_${define}
    WITH_ITS_FAULTS)
endforeach()
if(NOT WIN32)
  foreach(fault join_group session)
    string(TOUPPER ${fault} define)
    kavrelo_add_double(breaks_${fault} SOURCES doubles/contract_breaker.cpp DEFINITIONS BREAK_${define}
      WITH_ITS_FAULTS)
  endforeach()
endif()
kavrelo_add_double(breaks_print_then_crash SOURCES doubles/contract_breaker.cpp
  DEFINITIONS BREAK_PRINT BREAK_CRASH WITH_ITS_FAULTS)
kavrelo_add_double(counting SOURCES doubles/counting_zavlek.cpp WITH_ITS_FAULTS)
kavrelo_add_double(printing SOURCES doubles/printing_zavlek.cpp WITH_ITS_FAULTS)
# A student's recursive-descent parser in C++: as it should be, and with one
# mistake of the kind students make.
kavrelo_add_double(student SOURCES doubles/student_parser.cpp WITH_ITS_FAULTS)
kavrelo_add_double(student_throws SOURCES doubles/student_parser.cpp DEFINITIONS LETS_EXCEPTIONS_OUT
  WITH_ITS_FAULTS)
foreach(mistake pairs_parentheses recurses_without_limit loops_on_a_bare_point keeps_a_copy answers_its_c_str)
  string(TOUPPER ${mistake} define)
  kavrelo_add_double(student_${mistake} SOURCES doubles/student_parser.cpp DEFINITIONS ${define}
    WITH_ITS_FAULTS)
endforeach()
if(NOT WIN32)
  # Built as if its author left ZAVLEK_BUILDING_LIBRARY out: the entry points
  # stay hidden, as the visibility preset leaves whatever is not marked.
  kavrelo_add_double(student_hidden SOURCES doubles/student_parser.cpp WITH_ITS_FAULTS)
  target_compile_options(double_student_hidden PRIVATE -UZAVLEK_BUILDING_LIBRARY)
endif()
foreach(fault nested_crash hang leak argument)
  string(TOUPPER ${fault} define)
  kavrelo_add_double(planted_${fault} SOURCES doubles/planted_fault.cpp DEFINITIONS PLANT_${define}
    WITH_ITS_FAULTS)
endforeach()
# Hostile to fuzz itself rather than to one input.
set(hostilities crash_on_parenthesis buffer_from_first_text)
if(NOT WIN32)
  list(APPEND hostilities forge_record hang_after_first)
endif()
foreach(hostility ${hostilities})
  string(TOUPPER ${hostility} define)
  kavrelo_add_double(${hostility} SOURCES doubles/hostile_fuzzing.cpp DEFINITIONS ${define} WITH_ITS_FAULTS)
endforeach()
if(NOT WIN32)
  kavrelo_add_double(planted_memory_hog SOURCES doubles/planted_fault.cpp DEFINITIONS PLANT_MEMORY_HOG
    WITH_ITS_FAULTS)
  kavrelo_add_double(planted_nested_crash_ignoring_sigchld SOURCES doubles/planted_fault.cpp
    DEFINITIONS PLANT_NESTED_CRASH IGNORES_SIGCHLD WITH_ITS_FAULTS)
endif()
# A submission that reaches for other submissions, the grades and the network.
kavrelo_add_double(student_snoops SOURCES doubles/student_snoops.cpp WITH_ITS_FAULTS)
if(WIN32)
  target_link_libraries(double_student_snoops PRIVATE ws2_32)
endif()
kavrelo_add_double(unresolved SOURCES doubles/unresolved_zavlek.cpp)
# Entry points without __stdcall: on 32-bit Windows the calling convention is wrong.
kavrelo_add_double(cdecl SOURCES doubles/cdecl_zavlek.cpp)
# Entry points without extern "C": exported under C++ names.
kavrelo_add_double(mangled SOURCES doubles/mangled_zavlek.cpp)
if(WIN32)
  # Linked against an import library that promises what kernel32 lacks.
  set(nobody_import ${CMAKE_CURRENT_BINARY_DIR}/libnobody.a)
  add_custom_command(OUTPUT ${nobody_import}
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_CURRENT_SOURCE_DIR}/doubles/nobody.def -l ${nobody_import}
    DEPENDS doubles/nobody.def)
  add_custom_target(nobody_import DEPENDS ${nobody_import})
  add_dependencies(double_unresolved nobody_import)
  target_link_libraries(double_unresolved PRIVATE ${nobody_import})

  # Exported decorated only; built without kavrelo_zavlek_library, whose
  # undecorating would take the decoration away.
  add_library(double_decorated SHARED doubles/decorated_zavlek.cpp doubles/decorated_zavlek.def)
  target_link_libraries(double_decorated PRIVATE zavlek_abi)
  set_target_properties(double_decorated PROPERTIES
    OUTPUT_NAME Zavlek PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/decorated
    ARCHIVE_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/decorated)
  add_dependencies(test_doubles double_decorated)

  # C++ names as MSVC mangles them, exported through a .def file as the
  # decorated double is (MinGW cannot make such names itself).
  add_library(double_msvc_mangled SHARED doubles/decorated_zavlek.cpp doubles/msvc_mangled.def)
  target_link_libraries(double_msvc_mangled PRIVATE zavlek_abi)
  set_target_properties(double_msvc_mangled PROPERTIES
    OUTPUT_NAME Zavlek PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/msvc_mangled
    ARCHIVE_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/msvc_mangled)
  add_dependencies(test_doubles double_msvc_mangled)

  # Libraries that need the debug runtime of Visual C++, directly and one
  # level down, through a helper library that is there.
  set(debug_runtime_import ${CMAKE_CURRENT_BINARY_DIR}/libvcruntime140d.a)
  add_custom_command(OUTPUT ${debug_runtime_import}
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_CURRENT_SOURCE_DIR}/doubles/vcruntime140d.def -l ${debug_runtime_import}
    DEPENDS doubles/vcruntime140d.def)
  add_custom_target(debug_runtime_import DEPENDS ${debug_runtime_import})
  kavrelo_add_double(debug_runtime SOURCES doubles/needs_helper.cpp)
  add_dependencies(double_debug_runtime debug_runtime_import)
  target_link_libraries(double_debug_runtime PRIVATE ${debug_runtime_import})
  add_library(double_ayuda SHARED doubles/needs_helper.cpp)
  target_compile_definitions(double_ayuda PRIVATE AYUDA)
  target_link_libraries(double_ayuda PRIVATE zavlek_abi ${debug_runtime_import})
  add_dependencies(double_ayuda debug_runtime_import)
  set_target_properties(double_ayuda PROPERTIES
    OUTPUT_NAME ayuda PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/deeper
    ARCHIVE_OUTPUT_DIRECTORY ${KAVRELO_DOUBLES_DIR}/deeper)
  kavrelo_add_double(deeper SOURCES doubles/needs_helper.cpp DEFINITIONS NEEDS_AYUDA)
  target_link_libraries(double_deeper PRIVATE double_ayuda)

  # A library file cut short: its headers promise sections the file lacks.
  set(truncated ${KAVRELO_DOUBLES_DIR}/truncated/Zavlek.dll)
  add_custom_command(OUTPUT ${truncated}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVRELO_DOUBLES_DIR}/truncated
    COMMAND sh -c "head -c 2048 \"$1\" > \"$2\"" truncate $<TARGET_FILE:double_complete> ${truncated}
    DEPENDS double_complete
    COMMENT "Cutting the complete double short"
    VERBATIM)
  add_custom_target(double_truncated DEPENDS ${truncated})
  add_dependencies(test_doubles double_truncated)

  # The recording double built for the other architecture, by its compiler.
  set(other_architecture ${KAVRELO_DOUBLES_DIR}/other_architecture/Zavlek.dll)
  set(other_kill_at)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(other_kill_at -Wl,--kill-at)
  endif()
  add_custom_command(OUTPUT ${other_architecture}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVRELO_DOUBLES_DIR}/other_architecture
    COMMAND ${KAVRELO_OTHER_ARCHITECTURE_CXX} -std=c++20 -O2 -shared -static -DZAVLEK_BUILDING_LIBRARY
      -I${PROJECT_SOURCE_DIR}/include ${other_kill_at}
      -o ${other_architecture} ${CMAKE_CURRENT_SOURCE_DIR}/doubles/recording_zavlek.cpp -loleaut32
    DEPENDS doubles/recording_zavlek.cpp doubles/recording_double.h ${PROJECT_SOURCE_DIR}/include/zavlek.h
    COMMENT "Building the recording double for the other architecture")
  add_custom_target(double_other_architecture DEPENDS ${other_architecture})
  add_dependencies(test_doubles double_other_architecture)
else()
  # Shared libraries may leave symbols undefined; this one must, to fail at load.
  target_link_options(double_unresolved PRIVATE -Wl,--allow-shlib-undefined -Wl,-z,undefs)

  # Libraries no compiler writes: the C++-named one without its section
  # headers, and one whose symbols all share one long name.
  add_executable(craft_library doubles/craft_library.cpp)
  # kavrelo_add_crafted_double(NAME MODE [DOUBLE]): craft_library MODE, from
  # the library of the double DOUBLE when one is given.
  function(kavrelo_add_crafted_double name mode)
    set(crafted ${KAVRELO_DOUBLES_DIR}/${name}/${KAVRELO_LIBRARY_FILE})
    set(from)
    set(from_target)
    if(ARGN)
      set(from $<TARGET_FILE:double_${ARGN}>)
      set(from_target double_${ARGN})
    endif()
    add_custom_command(OUTPUT ${crafted}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVRELO_DOUBLES_DIR}/${name}
      COMMAND craft_library ${mode} ${from} ${crafted}
      DEPENDS craft_library ${from_target}
      VERBATIM)
    add_custom_target(double_${name} DEPENDS ${crafted})
    add_dependencies(test_doubles double_${name})
  endfunction()
  kavrelo_add_crafted_double(without_section_headers without-section-headers mangled)
  kavrelo_add_crafted_double(shared_long_name shared-long-name)
endif()
file(MAKE_DIRECTORY ${KAVRELO_DOUBLES_DIR}/missing)
file(WRITE ${KAVRELO_DOUBLES_DIR}/not_a_library/${KAVRELO_LIBRARY_FILE} "This is a text file standing where the library should be. It is long enough to be read as a header.\n")
