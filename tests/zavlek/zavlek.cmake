# SPDX-License-Identifier: MIT
# The reference library's tests; included by tests/CMakeLists.txt.
add_executable(zavlek_tests zavlek/slr_table_test.cpp zavlek/parser_test.cpp zavlek/library_test.cpp)
target_link_libraries(zavlek_tests PRIVATE zavlek_core kavrelo_test_support GTest::gtest_main)
file(RELATIVE_PATH reference_library_dir ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_BINARY_DIR}/bin)
target_compile_definitions(zavlek_tests PRIVATE KAVRELO_REFERENCE_LIBRARY_DIR="${reference_library_dir}")
add_dependencies(zavlek_tests Zavlek)
gtest_discover_tests(zavlek_tests DISCOVERY_TIMEOUT ${KAVRELO_DISCOVERY_TIMEOUT} ${KAVRELO_IN_WINE_SESSION})
