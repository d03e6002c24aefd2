# SPDX-License-Identifier: MIT
# Included by tests/CMakeLists.txt.
# The binding under valgrind's memcheck: many mixed calls, nothing lost, no
# invalid access. Valgrind cannot run sanitized programs, nor Windows ones.
add_executable(stress_tests stress/binding_stress_test.cpp)
target_link_libraries(stress_tests PRIVATE kavrelo_test_support GTest::gtest_main)
add_dependencies(stress_tests test_doubles)
if(NOT WIN32 AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  find_program(VALGRIND valgrind REQUIRED)
  add_test(NAME Stress.BindingUnderMemcheck
    COMMAND ${VALGRIND} --quiet --error-exitcode=99 --leak-check=full
      --errors-for-leak-kinds=definite,indirect,possible $<TARGET_FILE:stress_tests>)
  set_tests_properties(Stress.BindingUnderMemcheck PROPERTIES TIMEOUT 300)
endif()
