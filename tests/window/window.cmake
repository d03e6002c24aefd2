# SPDX-License-Identifier: MIT
# The window tests, Qt and Win32; included by tests/CMakeLists.txt.
if(KAVRELO_BUILD_WINDOW AND NOT WIN32)
  add_executable(window_tests window/form1_window_test.cpp)
  target_link_libraries(window_tests PRIVATE kavrelo_qt kavrelo_test_support Qt6::Test GTest::gtest)
  # The icon file the Windows front end is given, checked here too.
  kavrelo_make_icon(icon_file)
  target_sources(window_tests PRIVATE ${icon_file})
  target_compile_definitions(window_tests PRIVATE KAVRELO_ICON_FILE="${icon_file}")
  add_dependencies(window_tests test_doubles)
  gtest_discover_tests(window_tests DISCOVERY_TIMEOUT ${KAVRELO_DISCOVERY_TIMEOUT} PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
  # Message boxes on a 1280 x 1024 screen whose windows get frames.
  add_test(NAME MessageBoxesOnA1280x1024ScreenWithFrames
    COMMAND window_tests --gtest_filter=*Huge*:*Narrow*:*MessageBox*:*KeepTheBoxOnTheScreen*)
  set_tests_properties(MessageBoxesOnA1280x1024ScreenWithFrames PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/window/screen-1280x1024.json")
endif()

if(KAVRELO_BUILD_WINDOW AND WIN32)
  add_executable(window_tests window/win32_form1_test.cpp window/window_tests.rc)
  target_link_libraries(window_tests PRIVATE kavrelo_win32 kavrelo_test_support GTest::gtest_main)
  add_dependencies(window_tests test_doubles kavrelo1 Zavlek search_probe)
  add_test(NAME Package.ZipHoldsTheProgramTheLibraryTheHeaderAndANote
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -P ${CMAKE_CURRENT_SOURCE_DIR}/check_package.cmake)
  add_test(NAME Package.InstallerRoundTripInAFreshPrefix
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/windows_installer.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(Package.InstallerRoundTripInAFreshPrefix PROPERTIES TIMEOUT 300)
  add_test(NAME Resources.ReadBackFromKavrelo1Exe
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_resources.sh $<TARGET_FILE:kavrelo1> $<TARGET_FILE:Zavlek>
      $<TARGET_FILE:zavlek-call>)
  # Copies of the program, made again whenever it is: alone, beside
  # libraries that crash it, and beside each library whose answer is no
  # string.
  set(program_copies)
  set(answer_folders ${KAVRELO_ANSWER_SHAPES})
  list(TRANSFORM answer_folders PREPEND answers_)
  foreach(folder alone breaks_crash breaks_recursion breaks_abort ${answer_folders})
    set(copy ${KAVRELO_DOUBLES_DIR}/${folder}/Kavrelo1.exe)
    add_custom_command(OUTPUT ${copy}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KAVRELO_DOUBLES_DIR}/${folder}
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kavrelo1> ${copy}
      DEPENDS kavrelo1
      VERBATIM)
    list(APPEND program_copies ${copy})
  endforeach()
  add_custom_target(program_copies DEPENDS ${program_copies})
  add_dependencies(window_tests program_copies)
  string(JOIN "," answer_shapes ${KAVRELO_ANSWER_SHAPES})
  target_compile_definitions(window_tests PRIVATE KAVRELO_ANSWER_SHAPES="${answer_shapes}")
  gtest_discover_tests(window_tests DISCOVERY_TIMEOUT ${KAVRELO_DISCOVERY_TIMEOUT}
    PROPERTIES FIXTURES_REQUIRED WineSession TIMEOUT 120)
  # Another Wine program started in a session of its own beside the window
  # tests leaves theirs standing.
  add_test(NAME Win32Form1BesideAnotherWineProgram.KeepsItsSession
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/window/beside_another_wine_program.sh $<TARGET_FILE:window_tests>)
  set_tests_properties(Win32Form1BesideAnotherWineProgram.KeepsItsSession PROPERTIES TIMEOUT 300)
  # The same window on a 144 dpi screen, in a Wine prefix and session of its own.
  add_test(NAME Win32Form1At144Dpi.LayoutFontsAndColoursScale
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine --in-session $<TARGET_FILE:window_tests>
      --gtest_filter=Win32Form1.ControlsStandWhereTheFormPutsThem:Win32Form1.ColoursAreTheFormsAndEveryTextIsReadable:Win32Form1.Label3KeepsOnlyWhatItCanShowOfALongAnswer:Win32Form1.SavesAPictureOfItself:Win32Form1.MessageBoxesAreTitledKavrelo1WithOneAceptarButton:Win32Form1.ASixteenMegabyteAnswerBoxStaysOnTheScreen)
  set_tests_properties(Win32Form1At144Dpi.LayoutFontsAndColoursScale PROPERTIES
    ENVIRONMENT "KAVRELO_WINE_DPI=144;KAVRELO_EXPECTED_DPI=144" TIMEOUT 300)
endif()
