# SPDX-License-Identifier: MIT
# The real program in a real X server; included by tests/CMakeLists.txt.
if(KAVRELO_BUILD_WINDOW AND NOT WIN32)
  add_test(NAME e2e.Form1UnderXvfb
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/form1_e2e.sh
      $<TARGET_FILE:kavrelo1> $<TARGET_FILE:Zavlek> ${KAVRELO_DOUBLES_DIR}/complete ${PROJECT_BINARY_DIR}/screenshots)
  set_tests_properties(e2e.Form1UnderXvfb PROPERTIES TIMEOUT 180)
  # What Orca, a real screen reader, says of the window as it is used.
  add_test(NAME e2e.Form1HeardThroughOrca
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/form1_screen_reader.sh $<TARGET_FILE:kavrelo1> $<TARGET_FILE:Zavlek>)
  set_tests_properties(e2e.Form1HeardThroughOrca PROPERTIES TIMEOUT 300)
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*address")
    set_property(TEST e2e.Form1UnderXvfb e2e.Form1HeardThroughOrca APPEND PROPERTY ENVIRONMENT KAVRELO_SANITIZED=1)
  else()
    # Its memory check reads resident memory, which a sanitizer's shadow and
    # quarantine would swamp.
    add_test(NAME Stress.Form1Given10MBAndHardTexts
      COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/form1_stress.sh
        $<TARGET_FILE:kavrelo1> $<TARGET_FILE:Zavlek> ${PROJECT_BINARY_DIR}/screenshots)
    set_tests_properties(Stress.Form1Given10MBAndHardTexts PROPERTIES TIMEOUT 600)
  endif()
endif()
