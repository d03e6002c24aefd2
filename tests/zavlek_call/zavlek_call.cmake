# SPDX-License-Identifier: MIT
# Included by tests/CMakeLists.txt.
# zavlek-call, run as a user runs it, on real libraries.
set(tool_tests ${CMAKE_CURRENT_SOURCE_DIR}/zavlek_call)
# LIMITED_MEMORY: the tool and its child get 1 GiB of address space, so that
# a fault that would take the machine's memory fails the test at once (not
# under the sanitizers, which reserve far more address space than that).
function(kavrelo_zavlek_call_case name status)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "STDIN_CLOSED;LIMITED_MEMORY" "INPUT;OUTPUT;STDOUT_HEX;STDOUT_REGEX;STDERR_REGEX" "ARGS")
  set(definitions)
  foreach(key STDIN_CLOSED INPUT OUTPUT STDOUT_HEX STDOUT_REGEX STDERR_REGEX)
    if(DEFINED ARG_${key})
      list(APPEND definitions "-D${key}=${ARG_${key}}")
    endif()
  endforeach()
  set(limit)
  if(ARG_LIMITED_MEMORY AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    set(limit sh -c "ulimit -v 1048576 && exec \"$@\"" limit)
  endif()
  add_test(NAME ZavlekCall.${name}
    COMMAND ${limit} ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:zavlek-call> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
      "-DARGS=${ARG_ARGS}" -DSTATUS=${status} ${definitions}
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/${name} -P ${tool_tests}/run_case.cmake)
endfunction()

function(kavrelo_contract_check name library)
  cmake_parse_arguments(PARSE_ARGV 2 ARG "" "TIMEOUT" "FAILING;DETAILS;PASSING")
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  add_test(NAME ContractCheck.${name}
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:zavlek-call> "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
      -DLIBRARY=${library} "-DFAILING=${ARG_FAILING}" "-DDETAILS=${ARG_DETAILS}" "-DPASSING=${ARG_PASSING}"
      -DTIMEOUT=${ARG_TIMEOUT} -P ${tool_tests}/check_contract.cmake)
  set_tests_properties(ContractCheck.${name} PROPERTIES TIMEOUT 600)
endfunction()

function(kavrelo_double_file variable name)
  set(${variable} ${KAVRELO_DOUBLES_DIR}/${name}/${KAVRELO_LIBRARY_FILE} PARENT_SCOPE)
endfunction()
foreach(name echo counting printing sixteen_mb_of_tokens no_mpila missing not_a_library cdecl mangled msvc_mangled decorated
    debug_runtime deeper unresolved truncated breaks_crash breaks_hang breaks_argument breaks_literal
    breaks_leak breaks_keep breaks_print breaks_print_then_crash breaks_forge breaks_exit3 breaks_abort breaks_grandchild student
    student_throws student_pairs_parentheses student_recurses_without_limit student_loops_on_a_bare_point
    student_keeps_a_copy student_answers_its_c_str)
  kavrelo_double_file(${name} ${name})
endforeach()
add_custom_target(zavlek_call_under_test ALL DEPENDS zavlek-call Zavlek test_doubles)

kavrelo_zavlek_call_case(AnswersWithTheLibraryBesideIt 0
  ARGS parser_SLR "2 * (x + 3)" STDOUT_REGEX "^Cadena aceptada\n$")
kavrelo_zavlek_call_case(SendsTheBytesTheWindowSends 0
  ARGS --library ${echo} --raw parser_SLR "á€ñ 中😀" STDOUT_HEX e180f1203f3f)
kavrelo_zavlek_call_case(ReadsATextFileWithoutItsMarkOrLastLineBreak 0
  ARGS --library ${echo} --raw parser_SLR --file - INPUT ${tool_tests}/bom-and-crlf.txt STDOUT_HEX 312b32)
kavrelo_zavlek_call_case(HelpListsTheExitStatuses 0 ARGS --help STDOUT_REGEX "Estado de salida")
kavrelo_zavlek_call_case(HelpListsWhatCheckSends 0 ARGS --help
  STDOUT_REGEX "entradas clásicas.*anidamiento profundo.*fuzz breve.*memoria en 10\\.000 llamadas")
kavrelo_zavlek_call_case(NothingToDoIsWrongUsage 2 STDERR_REGEX "falta lo que hay que hacer.*Uso: zavlek-call")
kavrelo_zavlek_call_case(AnUnknownEntryPointIsRefusedWithTheNamesThereAre 2
  ARGS frobnicate x
  STDERR_REGEX "desconocido: frobnicate \\(son mPila, tokeniza, tokeniza2 y parser_SLR. o check, run, cases, fuzz o grade\\)")
# A mistyped mode is answered with the one most likely meant; an option is
# refused by a mode that does not take it, with the modes that do.
kavrelo_zavlek_call_case(AMistypedModeIsAnsweredWithTheNearestOne 2
  ARGS chek STDERR_REGEX "desconocido: chek .*¿quiso decir check\\?\nUso: zavlek-call")
kavrelo_zavlek_call_case(AnOptionOfAnotherModeIsRefusedWithTheModesThatTakeIt 2
  ARGS check --seed 3 STDERR_REGEX "^zavlek-call: --seed solo se usa con fuzz\n")
# The child refuses an unknown name too, rather than calling some other
# entry point with it. (Its channel "-" is none: run by hand, it has no
# parent to report to.)
kavrelo_zavlek_call_case(TheChildRefusesAnUnknownEntryPoint 2
  ARGS --child - call frobnicate --library ${echo} STDERR_REGEX "desconocido: frobnicate")
# (CMake cannot hand a program an empty argument, nor one of spaces only:
# such texts come from files.)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/empty.txt "")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/spaces.txt "   ")
kavrelo_zavlek_call_case(AnEmptyTextIsRefusedAsTheWindowRefusesIt 2
  ARGS parser_SLR --file ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/empty.txt
  STDERR_REGEX "No se aceptan cadenas vacías")
kavrelo_zavlek_call_case(AMissingLibraryIsReportedInSpanish 3
  ARGS --library ${missing} mPila STDERR_REGEX "No se pudo cargar la biblioteca .*no existe")
kavrelo_zavlek_call_case(AMissingEntryPointIsNamed 3
  ARGS --library ${no_mpila} mPila STDERR_REGEX "no tiene el punto de entrada mPila")
kavrelo_zavlek_call_case(ACrashInTheLibraryIsReported 4
  ARGS --library ${breaks_crash} parser_SLR x STDERR_REGEX "la biblioteca terminó el proceso durante parser_SLR")
if(WIN32)
  # The crash said as the window says it, and where its instruction was
  # (the regular expression holds no ';', which would split it).
  kavrelo_zavlek_call_case(ACrashIsSaidWithItsCauseAndTheInstructionsPlace 4
    ARGS --library ${breaks_crash} parser_SLR x STDERR_REGEX
    "durante parser_SLR: violación de acceso a memoria al escribir en la dirección 0x0 \\(excepción 0xC0000005. instrucción en Zavlek\\.dll\\+0x[0-9a-f]+\\)")
endif()
kavrelo_zavlek_call_case(AHangingCallIsStoppedAtTheLimit 4
  ARGS --library ${breaks_hang} --timeout 3 parser_SLR --file ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/spaces.txt
  STDERR_REGEX "parser_SLR no volvió en 3 s")

# The text reaches the library whatever standard streams the caller left open.
kavrelo_zavlek_call_case(AClosedStandardInputStillSendsTheText 0 STDIN_CLOSED
  ARGS --library ${echo} --raw parser_SLR "1+2" STDOUT_HEX 312b32)

# The child answers on a channel of its own: what the library prints, and
# the status it ends the process with, are never taken for the answer.
kavrelo_zavlek_call_case(WhatTheLibraryPrintsGoesToStandardError 0
  ARGS --library ${breaks_print} parser_SLR x
  STDOUT_REGEX "^Cadena aceptada\n$" STDERR_REGEX "zavlek de prueba: parser_SLR")
# Printed to a pipe (CI, prove, a log), not a terminal: nothing waits in a
# buffer for a crash to lose.
kavrelo_zavlek_call_case(WhatTheLibraryPrintedBeforeACrashIsKept 4
  ARGS --library ${breaks_print_then_crash} parser_SLR x STDERR_REGEX "zavlek de prueba: parser_SLR")
kavrelo_zavlek_call_case(ALibraryThatPrintsAnAnswerAndExitsHasEndedTheProcess 4
  ARGS --library ${breaks_forge} parser_SLR x
  STDERR_REGEX "la biblioteca terminó el proceso durante parser_SLR \\(estado 0\\) sin responder")
kavrelo_zavlek_call_case(ExitingWithTheStatusOfABindingFailureIsNoBindingFailure 4
  ARGS --library ${breaks_exit3} parser_SLR x
  STDERR_REGEX "la biblioteca terminó el proceso durante parser_SLR \\(estado 3\\) sin responder")
# A C++ exception out of an entry point is the library's fault, named with
# its type, its message and the cure; never the tool's own.
set(out_of_range "parser_SLR dejó salir una excepción de C\\+\\+: std::out_of_range \\(«stoi»\\)\\. .*atrápela dentro de parser_SLR")
kavrelo_zavlek_call_case(AnExceptionOutOfAnEntryPointIsTheLibrarysFault 1
  ARGS --library ${student_throws} parser_SLR "1 + 99999999999" STDERR_REGEX "^zavlek-call: ${out_of_range}")
kavrelo_zavlek_call_case(AStudentsParserThatCatchesItsExceptionAnswers 0
  ARGS --library ${student} parser_SLR "1 + 99999999999" STDOUT_REGEX "^Error: número demasiado grande\n$")
kavrelo_zavlek_call_case(RunFailsTheCaseAnExceptionLeftAndRunsTheRestInANewProcess 1
  ARGS --library ${student_throws} run ${CMAKE_CURRENT_SOURCE_DIR}/zavlek_call/cases/exception.txt
  STDOUT_REGEX "\nok 1 - [^\n]*\nnot ok 2 - [^\n]*\n(  [^\n]*\n)*  causa: \"${out_of_range}[^\n]*\n  \\.\\.\\.\nok 3 - [^\n]*\nok 4 - ")
kavrelo_zavlek_call_case(AnAbortInTheLibraryIsReported 4
  ARGS --library ${breaks_abort} parser_SLR x STDERR_REGEX "la biblioteca terminó el proceso durante parser_SLR")

# Whatever the library starts ends with the call, and holds neither the
# answer nor the time limit.
kavrelo_zavlek_call_case(AProcessTheLibraryStartedDoesNotHoldTheAnswer 0
  ARGS --library ${breaks_grandchild} --timeout 60 parser_SLR x STDOUT_REGEX "^Cadena aceptada\n$")
kavrelo_zavlek_call_case(AProcessTheLibraryStartedDoesNotHoldTheTimeLimit 4
  ARGS --library ${breaks_grandchild} --timeout 3 parser_SLR --file ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/spaces.txt
  STDERR_REGEX "parser_SLR no volvió en 3 s")
set_tests_properties(ZavlekCall.AProcessTheLibraryStartedDoesNotHoldTheAnswer
  ZavlekCall.AProcessTheLibraryStartedDoesNotHoldTheTimeLimit PROPERTIES TIMEOUT 180)
if(NOT WIN32)
  add_test(NAME ZavlekCall.EndingTheToolByASignalEndsTheProcessesOfTheCall
    COMMAND ${tool_tests}/process_lifetime.sh $<TARGET_FILE:zavlek-call> ${breaks_grandchild}
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/spaces.txt)
  set_tests_properties(ZavlekCall.EndingTheToolByASignalEndsTheProcessesOfTheCall PROPERTIES TIMEOUT 600)
  # A child that leaves its process group for the tool's own is still ended
  # at the limit; a process started in a session of its own still ends with
  # the call. (The time out only ends a test that would otherwise hang.)
  kavrelo_double_file(breaks_join_group breaks_join_group)
  kavrelo_double_file(breaks_session breaks_session)
  kavrelo_zavlek_call_case(ACallWhoseChildJoinsTheToolsGroupIsStoppedAtTheLimit 4
    ARGS --library ${breaks_join_group} --timeout 1 parser_SLR x STDERR_REGEX "parser_SLR no volvió en 1 s")
  kavrelo_zavlek_call_case(ARunWhoseChildJoinsTheToolsGroupFailsTheCaseAtTheLimit 1
    ARGS --library ${breaks_join_group} --timeout 1 run ${tool_tests}/cases/one-call.txt
    STDOUT_REGEX "\nnot ok 1 - [^\n]*\n(  [^\n]*\n)*  causa: \"parser_SLR no volvió en 1 s. se detuvo el proceso\"")
  add_test(NAME ZavlekCall.AProcessInASessionOfItsOwnEndsWithTheCall
    COMMAND ${tool_tests}/session_of_its_own.sh $<TARGET_FILE:zavlek-call> ${breaks_session} ${tool_tests}/cases
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/session_of_its_own)
  set_tests_properties(ZavlekCall.ACallWhoseChildJoinsTheToolsGroupIsStoppedAtTheLimit
    ZavlekCall.ARunWhoseChildJoinsTheToolsGroupFailsTheCaseAtTheLimit
    ZavlekCall.AProcessInASessionOfItsOwnEndsWithTheCall PROPERTIES TIMEOUT 60)
endif()

# What the user gave or where the output goes decides the status, never the
# library.
kavrelo_zavlek_call_case(AFolderForTheTextIsWrongUsage 2
  ARGS --library ${echo} parser_SLR --file ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call
  STDERR_REGEX "zavlek-call: .*/zavlek_call es una carpeta, no un archivo")
kavrelo_zavlek_call_case(AnEndlessInputIsRefusedAtTheLimit 2
  ARGS --library ${echo} parser_SLR --file /dev/zero STDERR_REGEX "pasa de 256 MB")
kavrelo_zavlek_call_case(AnOutputThatCannotBeWrittenHasAStatusOfItsOwn 6
  ARGS --help OUTPUT /dev/full STDERR_REGEX "^zavlek-call: no se pudo escribir la salida estándar\n$")

# A library's path, and what it names, is shown; it never drives the terminal
# (ESC c resets one) nor makes the JSON anything but UTF-8. (An opening
# bracket would keep CMake from splitting the arguments.)
string(ASCII 27 escape)
string(ASCII 127 delete)
string(ASCII 194 157 operating_system_command)  # U+009D in UTF-8
set(hostile_folder ${KAVRELO_DOUBLES_DIR}/missing/carpeta${escape}c${delete}${operating_system_command})
set(shown_folder "carpeta\\\\x1Bc\\\\x7F\\\\u009D")
kavrelo_zavlek_call_case(ControlsInALibraryPathAreShownAsEscapesInTheTable 1
  ARGS --library ${hostile_folder}/${KAVRELO_LIBRARY_FILE} check STDOUT_REGEX "${shown_folder}")
kavrelo_zavlek_call_case(ControlsInALibraryPathAreShownAsEscapesInMessages 3
  ARGS --library ${hostile_folder}/${KAVRELO_LIBRARY_FILE} mPila STDERR_REGEX "${shown_folder}")
kavrelo_zavlek_call_case(ControlsInALibraryPathAreEscapedInJson 1
  ARGS --library ${hostile_folder}/${KAVRELO_LIBRARY_FILE} check --json
  STDOUT_REGEX "\"biblioteca\": \"[^\"]*carpeta\\\\u001bc\\\\u007f\\\\u009d")
if(NOT WIN32)
  # A folder named in Latin-1, as an older system may have left it: not UTF-8.
  string(ASCII 233 latin1_e_acute)
  kavrelo_zavlek_call_case(JsonStaysUtf8ForAFolderNamedInLatin1 1
    ARGS --library ${KAVRELO_DOUBLES_DIR}/missing/caf${latin1_e_acute}/libZavlek.so check --json
    STDOUT_REGEX "\"biblioteca\": \"[^\"]*/missing/caf\\\\u00e9/libZavlek.so\"")
endif()

# The child's command line quoted as the C runtime reads it: backslashes
# before a quote, and the quote, arrive as they were.
kavrelo_zavlek_call_case(ALibraryPathWithQuotesAndBackslashesReachesTheChild 3
  ARGS --library "${KAVRELO_DOUBLES_DIR}/missing/a\\\"b" mPila STDERR_REGEX "missing.a\\\\\"b")

# Case files: the reference library passes its examples; every escape reaches
# the library and the answer as written; a file out of format runs nothing;
# a crash and a hang fail their cases alone, and the reports are read by the
# usual consumers.
set(cases ${tool_tests}/cases)
# Its self-tests print their report, which the case of each has.
kavrelo_zavlek_call_case(RunPassesTheReferenceLibrarysExamples 0
  ARGS --library $<TARGET_FILE:Zavlek> run ${PROJECT_SOURCE_DIR}/examples/casos-referencia.txt
  STDOUT_REGEX "^TAP version 13\n1\\.\\.[1-9][0-9]+\n# biblioteca: [^\n]+\nok 1 - [^\n]* mPila\n  ---\n  salida: \"mPila: prueba de la pila\\\\n[^\n]*\\\\nmPila: 6 de 6 comprobaciones correctas\\\\n\"\n  \\.\\.\\.\n(ok [0-9]+ - [^\n]*\n(  [^\n]*\n)*)+$")
kavrelo_zavlek_call_case(RunSendsAndExpectsEveryEscape 0
  ARGS --library ${echo} run ${cases}/escapes.txt
  STDOUT_REGEX "^TAP version 13\n1\\.\\.7\n# biblioteca: [^\n]+\n(ok [0-9]+ - [^\n]*\n)+$")
kavrelo_zavlek_call_case(RunNamesEveryLineOutOfFormatAndRunsNothing 2
  ARGS --library ${echo} run ${cases}/format-faults.txt STDOUT_REGEX "^$"
  STDERR_REGEX "^[^\n]*format-faults.txt:2: falta la línea de la respuesta[^\n]*
[^\n]*format-faults.txt:5: escape desconocido \\\\q en la columna 13[^\n]*
[^\n]*format-faults.txt:7: mPila no recibe texto[^\n]*
[^\n]*format-faults.txt:8: se esperaba un caso[^\n]*
[^\n]*format-faults.txt:10: el patrón no es una expresión regular ECMAScript válida [^\n]*: \\(
[^\n]*format-faults.txt:11: parser_SLR necesita un texto[^\n]*
[^\n]*format-faults.txt:12: falta la línea de la respuesta[^\n]*
[^\n]*format-faults.txt:13: la línea no es texto UTF-8
$")
# The search takes seconds, and over a minute under the sanitizers: the limit
# is far beyond either, as what is tested is the stack, not the time.
kavrelo_zavlek_call_case(RunSearchesAPatternInAnAnswerOfSixteenMegabytes 0
  ARGS --library ${sixteen_mb_of_tokens} --timeout 600 run ${cases}/long-answer.txt
  STDOUT_REGEX "^TAP version 13\n1\\.\\.1\n# biblioteca: [^\n]+\nok 1 - ")
# Patterns that take seconds to hours over a long answer (every start of it
# tried, none followed by ERROR; groups nested under a repeat) are stopped
# at the case's limit, which holds for its call and its search together,
# and the case after them runs. (No semicolon in these regular expressions:
# CMake would split them there.)
string(REPEAT "a" 20000 twenty_thousand)
string(REPEAT "a" 32000 thirty_two_thousand)
set(slow_patterns ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/slow-patterns.txt)
file(WRITE ${slow_patterns} "tokeniza2 ${twenty_thousand}\n~ .*ERROR\ntokeniza2 ${thirty_two_thousand}b\n~ (a+)+$\n"
  "tokeniza2 b\n= b\n")
set(search_stopped "(  [^\n]*\n)*  causa: \"la búsqueda del patrón en la respuesta no terminó en 1 s. se detuvo el proceso\"\n  \\.\\.\\.\n")
kavrelo_zavlek_call_case(RunStopsASlowPatternAtTheCasesLimitAndRunsTheRest 1
  ARGS --library ${echo} --timeout 1 run ${slow_patterns}
  STDOUT_REGEX "\nnot ok 1 - [^\n]*\n${search_stopped}not ok 2 - [^\n]*\n${search_stopped}ok 3 - ")
set_tests_properties(ZavlekCall.RunStopsASlowPatternAtTheCasesLimitAndRunsTheRest PROPERTIES TIMEOUT 180)
kavrelo_zavlek_call_case(RunWithoutCaseFilesIsWrongUsage 2 ARGS run STDERR_REGEX "run necesita al menos un archivo")
kavrelo_zavlek_call_case(RunOfALibraryThatCannotBeLoadedBailsOut 3
  ARGS --library ${missing} run ${cases}/escapes.txt
  STDOUT_REGEX "^TAP version 13\n1\\.\\.7\n# biblioteca: [^\n]+\nBail out! No se pudo cargar la biblioteca")
add_test(NAME ZavlekCall.RunIsReadByProveAndAJUnitReader
  COMMAND ${tool_tests}/tap_and_junit.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call> ${counting}
    ${cases} ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/tap_and_junit)
add_test(NAME ZavlekCall.RunAttachesWhatTheLibraryPrintedToEachCase
  COMMAND ${tool_tests}/case_output.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call> ${printing}
    ${cases} ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/case_output)
add_test(NAME ZavlekCall.RunFailsACaseWithAMalformedAnswerAndRunsTheRest
  COMMAND ${tool_tests}/run_keeps_going.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
    ${breaks_argument} ${cases} ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/run_keeps_going)
set_tests_properties(ZavlekCall.RunIsReadByProveAndAJUnitReader ZavlekCall.RunAttachesWhatTheLibraryPrintedToEachCase
  PROPERTIES TIMEOUT 180)
set_tests_properties(ZavlekCall.RunSearchesAPatternInAnAnswerOfSixteenMegabytes PROPERTIES TIMEOUT 900)

# Fuzzing finds each fault planted where only some inputs reach it, shrinks
# it, saves it once and reproducibly; finds nothing in the reference library;
# seeds its corpus with a case file's cases; and stops on Ctrl+C with what it
# found written.
set(fuzz_work ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/fuzz)
# INPUTS: as many as seed 1 takes to meet the fault, and some.
function(kavrelo_fuzz_finding name kind double inputs)
  kavrelo_double_file(library ${double})
  add_test(NAME ZavlekCall.${name}
    COMMAND ${tool_tests}/fuzz_findings.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
      ${fuzz_work}/${kind} planted ${kind} ${library} ${inputs})
endfunction()
kavrelo_fuzz_finding(FuzzFindsACrashOnlyFiveParenthesesDeep crash planted_nested_crash 500)
kavrelo_fuzz_finding(FuzzFindsAHangOnlyOnCloseThenOpen hang planted_hang 3000)
kavrelo_fuzz_finding(FuzzFindsALeakOnlyOverAThousandBytes leak planted_leak 500)
kavrelo_fuzz_finding(FuzzFindsTheArgumentReturnedOnlyBeyondAscii contract planted_argument 500)
if(NOT WIN32 AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  # A library that takes every byte it can: the address space limited, as the
  # sanitizers, which reserve far more of it, cannot have it.
  kavrelo_double_file(memory_hog planted_memory_hog)
  add_test(NAME ZavlekCall.FuzzFindsMemoryRunOutAndKeepsGoing
    COMMAND sh -c "ulimit -v 1048576 && exec \"$@\"" limit ${tool_tests}/fuzz_findings.sh ""
      $<TARGET_FILE:zavlek-call> ${fuzz_work}/memory planted memory ${memory_hog} 500)
endif()
kavrelo_double_file(planted_hang planted_hang)
kavrelo_double_file(planted_nested_crash planted_nested_crash)
kavrelo_double_file(planted_argument planted_argument)
# What fuzz inspects, a call inspects: the answer is no sound string of the library's own.
kavrelo_zavlek_call_case(ACallAnsweredWithItsOwnArgumentBreaksTheContract 1
  ARGS --library ${planted_argument} parser_SLR "é"
  STDERR_REGEX "parser_SLR devolvió el mismo puntero que recibió como argumento")
add_test(NAME ZavlekCall.FuzzFindsAnExceptionAndKeepsGoing
  COMMAND ${tool_tests}/fuzz_findings.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
    ${fuzz_work}/exception exception ${student_throws})
# Bounded by its inputs alone, a run has no time limit of its own, and its
# progress says how many inputs are left.
kavrelo_zavlek_call_case(FuzzBoundedByInputsAloneCountsInputsLeft 0 ARGS fuzz --inputs 20 --seed 1
  --out ${fuzz_work}/inputs-alone STDERR_REGEX "hallazgos 0, quedan [0-9.]+ entradas\n")
add_test(NAME ZavlekCall.FuzzSavesEachFindingInANewFileOfAFolderTriedFirst
  COMMAND ${tool_tests}/fuzz_findings.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
    ${fuzz_work}/out out ${planted_nested_crash})
add_test(NAME ZavlekCall.FuzzSeedsItsCorpusWithACaseFilesCases
  COMMAND ${tool_tests}/fuzz_findings.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
    ${fuzz_work}/corpus corpus ${planted_hang})
if(WIN32)
  # Every process Wine starts costs a good part of a second.
  set(reference_seconds 3)
else()
  set(reference_seconds 10)
endif()
add_test(NAME ZavlekCall.FuzzFindsNothingInTheReferenceLibrary
  COMMAND ${tool_tests}/fuzz_findings.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
    ${fuzz_work}/reference reference $<TARGET_FILE:Zavlek> ${reference_seconds})
set(fuzz_tests ZavlekCall.FuzzFindsACrashOnlyFiveParenthesesDeep ZavlekCall.FuzzFindsAHangOnlyOnCloseThenOpen
  ZavlekCall.FuzzFindsALeakOnlyOverAThousandBytes ZavlekCall.FuzzFindsTheArgumentReturnedOnlyBeyondAscii
  ZavlekCall.FuzzSeedsItsCorpusWithACaseFilesCases ZavlekCall.FuzzFindsNothingInTheReferenceLibrary
  ZavlekCall.FuzzFindsAnExceptionAndKeepsGoing)
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit Windows unwinds an exception only within the runtime that threw
  # it: one out of a library with a runtime of its own ends the process there.
  set_tests_properties(ZavlekCall.AnExceptionOutOfAnEntryPointIsTheLibrarysFault
    ZavlekCall.RunFailsTheCaseAnExceptionLeftAndRunsTheRestInANewProcess
    ZavlekCall.FuzzFindsAnExceptionAndKeepsGoing PROPERTIES DISABLED TRUE)
endif()
# Libraries hostile to fuzz itself rather than to one input.
function(kavrelo_fuzz_hostile name mode double)
  kavrelo_double_file(library ${double})
  add_test(NAME ZavlekCall.${name}
    COMMAND ${tool_tests}/fuzz_hostile.sh "${CMAKE_CROSSCOMPILING_EMULATOR}" $<TARGET_FILE:zavlek-call>
      ${fuzz_work}/${mode} ${mode} ${library} ${ARGN})
  set(fuzz_tests ${fuzz_tests} ZavlekCall.${name} PARENT_SCOPE)
endfunction()
kavrelo_fuzz_hostile(FuzzSaysACrashInTheCallBeforeTheInputsAsThatCalls warm_up crash_on_parenthesis)
kavrelo_fuzz_hostile(FuzzSaysOnceAnAnswerThatDependsOnEarlierCalls counting counting)
if(WIN32)
  # Windows cannot fork: a child's inputs meet the library in one process, the
  # call before them included, and every crash costs a process, which Wine
  # takes a good part of a second to start.
  kavrelo_fuzz_hostile(FuzzBlamesNoInputForAStateLeftByEarlierCalls first_text buffer_from_first_text 30)
else()
  kavrelo_fuzz_hostile(FuzzBlamesNoInputForAStateLeftByEarlierCalls first_text buffer_from_first_text 500)
endif()
if(NOT WIN32)
  kavrelo_fuzz_hostile(FuzzTakesNoForgedRecordForAnInputs forged forge_record)
  kavrelo_fuzz_hostile(FuzzSeesACrashAsOneWhenTheLibraryIgnoresSigchld sigchld planted_nested_crash_ignoring_sigchld)
  kavrelo_fuzz_hostile(FuzzCopiesEndWhenZavlekCallIsKilled parent_killed hang_after_first)
endif()
if(NOT WIN32)
  add_test(NAME ZavlekCall.FuzzStoppedByCtrlCStillWritesItsSummaryAndFindings
    COMMAND ${tool_tests}/fuzz_interrupt.sh $<TARGET_FILE:zavlek-call> ${planted_nested_crash} ${fuzz_work}/interrupt)
  list(APPEND fuzz_tests ZavlekCall.FuzzStoppedByCtrlCStillWritesItsSummaryAndFindings)
endif()
set_tests_properties(${fuzz_tests} PROPERTIES TIMEOUT 900)

set(loading "carga y nombres" "mPila vuelve" "tokeniza vuelve" "tokeniza2 con el argumento fijo")
kavrelo_contract_check(TheReferenceLibraryPassesEveryCheck $<TARGET_FILE:Zavlek> PASSING ALL)
kavrelo_contract_check(ACrashInParserSLRFailsItsCheck ${breaks_crash}
  FAILING "parser_SLR: expresión corta" DETAILS "terminó el proceso" PASSING ${loading})
# A hang costs its limit at every check that meets it: the shortest limit
# within which the slowest check that passes (the 16 MB row) still ends,
# longer under the sanitizers.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  set(hang_check_seconds 15)
else()
  set(hang_check_seconds 5)
endif()
# Spaces alone are sent by three checks: a byte of them by the classic inputs
# and the fuzz.
kavrelo_contract_check(AHangOnOneInputFailsTheChecksThatSendItAlone ${breaks_hang} TIMEOUT ${hang_check_seconds}
  FAILING "parser_SLR: solo espacios" "parser_SLR: entradas clásicas" "parser_SLR: fuzz breve"
  DETAILS "^no terminó en ${hang_check_seconds} s"
    "^con la entrada 0x20 \\(un byte solo\\), no terminó en ${hang_check_seconds} s"
    "^con la entrada 0x20 \\(un byte solo\\), no terminó en ${hang_check_seconds} s"
  PASSING ALL)
kavrelo_contract_check(ReturningTheArgumentFails ${breaks_argument}
  FAILING "parser_SLR: expresión corta" DETAILS "el mismo puntero que recibió" PASSING ${loading})
kavrelo_contract_check(ReturningAStringConstantFails ${breaks_literal}
  FAILING "parser_SLR: expresión corta" DETAILS "no viene de SysAllocStringByteLen" PASSING ${loading})
kavrelo_contract_check(LeakingAKilobyteACallFailsTheMemoryCheck ${breaks_leak}
  FAILING "memoria en 10.000 llamadas" DETAILS "^parser_SLR pierde 1\\.0[0-9][0-9] bytes por llamada" PASSING ALL)
# A student's parser with one mistake: each fails the checks that meet it,
# naming the input; the same parser without it passes them all.
kavrelo_contract_check(AStudentsParserThatLimitsItsDepthPassesEveryCheck ${student} PASSING ALL)
set(on_fuzz "^con la entrada .*la [0-9.]+\\.ª de la semilla 1\\), ")
kavrelo_contract_check(ACrashOnALoneClosingParenthesisIsFoundWithItsInput ${student_pairs_parentheses}
  FAILING "parser_SLR: entradas clásicas" "parser_SLR: fuzz breve"
  DETAILS "^con la entrada \"\\)\", la biblioteca terminó el proceso" "${on_fuzz}la biblioteca terminó el proceso"
  PASSING ALL)
kavrelo_contract_check(RecursionWithoutLimitIsFoundByDeepNesting ${student_recurses_without_limit}
  FAILING "parser_SLR: anidamiento profundo" "parser_SLR: fuzz breve"
  DETAILS "^con la entrada [^,]*1\\.000\\.000 paréntesis anidados, 2\\.000\\.001 bytes\\), la biblioteca terminó el proceso"
    "${on_fuzz}la biblioteca terminó el proceso"
  PASSING ALL)
kavrelo_contract_check(AHangOnABarePointIsEndedAtTheLimitWithItsInput ${student_loops_on_a_bare_point}
  TIMEOUT ${hang_check_seconds} FAILING "parser_SLR: entradas clásicas" "parser_SLR: fuzz breve"
  DETAILS "^con la entrada \"1\\.\", no terminó en ${hang_check_seconds} s"
    "${on_fuzz}no terminó en ${hang_check_seconds} s"
  PASSING ALL)
kavrelo_contract_check(ANumberBeyond64BitsIsSentByTheClassicInputs ${student_throws}
  FAILING "parser_SLR: entradas clásicas" "parser_SLR: fuzz breve"
  DETAILS "^con la entrada \"99999999999999999999\", " "${on_fuzz}"
  PASSING ALL)
kavrelo_contract_check(AStringLeftAtEveryCallFailsTheMemoryCheck ${student_keeps_a_copy}
  FAILING "memoria en 10.000 llamadas"
  DETAILS "^parser_SLR pierde [0-9]+ bytes por llamada: la memoria asignada creció [0-9]+ y [0-9]+ bytes por llamada"
  PASSING ALL)
# A call, and so fuzz, looks at the same growth: the second call and the third each lose it.
kavrelo_zavlek_call_case(ACallThatLosesAStringEveryTimeLeaks 1
  ARGS --library ${student_keeps_a_copy} parser_SLR x
  STDERR_REGEX "^zavlek-call: parser_SLR dejó [0-9]+ bytes sin liberar en cada llamada con el mismo texto")
# A student's parser that answers with its own std::string's c_str(): said
# where the pointer points, and how to answer instead.
kavrelo_zavlek_call_case(AnAnswerThatIsALocalStringsCStrIsSaidWithItsCure 1
  ARGS --library ${student_answers_its_c_str} parser_SLR "1+2"
  STDERR_REGEX "parser_SLR devolvió un puntero \\([0-9a-fA-Fx]+\\) que no es el de una cadena de SysAllocStringByteLen: apunta a la pila, a una variable local \\(o al c_str\\(\\) de un std::string local\\) que deja de existir al volver la función\\. Cada respuesta debe ser una cadena nueva: return SysAllocStringByteLen\\(texto, longitud\\)")
kavrelo_contract_check(KeepingTheReturnedStringFails ${breaks_keep}
  FAILING "propiedad de las cadenas" DETAILS "dos veces el mismo bloque"
  PASSING ${loading} "parser_SLR: expresión corta")
kavrelo_contract_check(AMissingEntryPointFailsTheNameCheck ${no_mpila}
  FAILING "carga y nombres" "mPila vuelve" DETAILS "no exporta con su nombre exacto: mPila$" "mPila"
  PASSING ALL)
kavrelo_contract_check(AFileThatIsNoLibraryStopsAtTheFirstCheck ${not_a_library}
  FAILING "carga y nombres" DETAILS "No se pudo cargar la biblioteca")
kavrelo_contract_check(PrintingOnStandardOutputSpoilsNoCheck ${breaks_print} PASSING ALL)
kavrelo_contract_check(AReportForgedOnStandardOutputFails ${breaks_forge}
  FAILING "parser_SLR: expresión corta" DETAILS "terminó el proceso \\(estado 0\\) sin responder"
  PASSING ${loading})
# The commonest mistakes of a library's author, named with their cure in the
# same sentences as the console's fatal report.
set(not_stdcall "no declara (tokeniza2|parser_SLR) con __stdcall: la llamada dejó 4 bytes en la pila")
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  kavrelo_zavlek_call_case(ACdeclEntryPointIsABindingFault 3 ARGS --library ${cdecl} parser_SLR x
    STDERR_REGEX "no declara parser_SLR con __stdcall: la llamada dejó 4 bytes en la pila.*Declárelo así: extern \"C\" __declspec\\(dllexport\\) BSTR __stdcall parser_SLR\\(BSTR\\)")
  # Every check that calls tokeniza2 or parser_SLR fails; none is "correcto".
  set(text_checks "convención de llamada" "tokeniza2 con el argumento fijo" "parser_SLR: expresión corta"
    "parser_SLR: solo espacios" "parser_SLR: acentos y caracteres fuera de la página de códigos"
    "parser_SLR: un NUL en medio" "parser_SLR: cada byte de 0x01 a 0xFF" "parser_SLR: entradas clásicas"
    "parser_SLR: 1 MB" "parser_SLR: 16 MB" "parser_SLR: anidamiento profundo" "parser_SLR: fuzz breve"
    "propiedad de las cadenas" "memoria en 10.000 llamadas" "misma entrada, misma respuesta")
  set(stdcall_details)
  foreach(check IN LISTS text_checks)
    list(APPEND stdcall_details "${not_stdcall}")
  endforeach()
  kavrelo_contract_check(ACdeclLibraryFailsEveryCallWithAnArgument ${cdecl}
    FAILING ${text_checks} DETAILS ${stdcall_details} PASSING "carga y nombres" "mPila vuelve" "tokeniza vuelve")
else()
  # One calling convention: the same library keeps the contract.
  kavrelo_contract_check(ACdeclLibraryKeepsTheContractWhereThereIsOneConvention ${cdecl} PASSING ALL)
endif()
set(cpp_cure "con nombre de C\\+\\+; declárelo «extern \"C\"»")
set(parser_cpp_hint "no tiene el punto de entrada parser_SLR: .*exporta «parser_SLR\\(char\\*\\)» \\(«_Z10parser_SLRPc»\\) ${cpp_cure}")
kavrelo_zavlek_call_case(AnEntryPointWithoutExternCIsNamed 3 ARGS --library ${mangled} parser_SLR x
  STDERR_REGEX "${parser_cpp_hint}")
if(NOT WIN32)
  # The names are read as the loader reads them, so that what loads has its
  # names read: without section headers, and with every symbol but one
  # pointing at one name of 512 KiB, read once per symbol gigabytes.
  kavrelo_double_file(without_section_headers without_section_headers)
  kavrelo_zavlek_call_case(ALibraryWithoutSectionHeadersKeepsItsCppNameHint 3
    ARGS --library ${without_section_headers} parser_SLR x
    STDERR_REGEX "${parser_cpp_hint}")
  kavrelo_double_file(shared_long_name shared_long_name)
  kavrelo_zavlek_call_case(SymbolsSharingOneLongNameLeaveTheMissingEntryPointNamed 3 LIMITED_MEMORY
    ARGS --library ${shared_long_name} parser_SLR x
    STDERR_REGEX "${parser_cpp_hint}")
endif()
kavrelo_contract_check(EntryPointsWithoutExternCAreNamedInTheNameCheck ${mangled}
  FAILING "carga y nombres" "parser_SLR: expresión corta"
  DETAILS "no exporta con su nombre exacto: .*tokeniza2, parser_SLR; .*en lugar de parser_SLR, exporta «parser_SLR\\(char\\*\\)» \\(«_Z10parser_SLRPc»\\) ${cpp_cure}$"
    "no exporta parser_SLR: .*exporta «parser_SLR\\(char\\*\\)»")
if(WIN32)
  kavrelo_zavlek_call_case(ADecoratedEntryPointIsNamed 3 ARGS --library ${decorated} parser_SLR x
    STDERR_REGEX "no tiene el punto de entrada parser_SLR: exporta «_parser_SLR@4» \\(nombre decorado de «__stdcall»\\); expórtelo sin decorar con un archivo .def o con -Wl,--kill-at")
  kavrelo_contract_check(ADecoratedEntryPointIsNamedInTheNameCheck ${decorated}
    FAILING "carga y nombres"
    DETAILS "no exporta con su nombre exacto: mPila, tokeniza, tokeniza2, parser_SLR; en lugar de parser_SLR, exporta «_parser_SLR@4» \\(nombre decorado de «__stdcall»\\)")
  kavrelo_zavlek_call_case(AnMsvcNameIsNamed 3 ARGS --library ${msvc_mangled} parser_SLR x
    STDERR_REGEX "exporta «\\?parser_SLR@@YGPA_WPA_W@Z» ${cpp_cure}")
  kavrelo_zavlek_call_case(AMissingLibraryIsNamed 3 ARGS --library ${unresolved} mPila
    STDERR_REGEX "se encontró, pero Zavlek.dll necesita zavlek_nobody.dll, que no se encuentra\\. Detalle del sistema: .*\\(error 126\\)")
  set(debug_cure "VCRUNTIME140D.dll es del entorno de ejecución de depuración de Visual C\\+\\+, que solo existe donde está instalado Visual Studio: compile la biblioteca en modo Release, o enlace el entorno de ejecución estáticamente")
  kavrelo_zavlek_call_case(AMissingDebugRuntimeIsNamedWithItsCure 3 ARGS --library ${debug_runtime} mPila
    STDERR_REGEX "Zavlek.dll necesita VCRUNTIME140D.dll, que no se encuentra\\. ${debug_cure}")
  kavrelo_zavlek_call_case(AMissingLibraryOneLevelDownIsNamedThroughItsChain 3 ARGS --library ${deeper} mPila
    STDERR_REGEX "Zavlek.dll necesita ayuda.dll, que necesita VCRUNTIME140D.dll, que no se encuentra\\. ${debug_cure}")
  kavrelo_contract_check(AMissingLibraryIsNamedInTheFirstCheck ${deeper}
    FAILING "carga y nombres" DETAILS "Zavlek.dll necesita ayuda.dll, que necesita VCRUNTIME140D.dll, que no se encuentra")
  kavrelo_zavlek_call_case(AFileCutShortIsSaidToBe 3 ARGS --library ${truncated} mPila
    STDERR_REGEX "el archivo que se encontró está incompleto")
endif()

if(NOT WIN32)
  # The search never looks in the current directory: an element of
  # LD_LIBRARY_PATH that would make it is named as passed over.
  kavrelo_zavlek_call_case(ARelativeOrEmptyElementOfTheSearchIsNamedAsPassedOver 0 ARGS parser_SLR x
    STDERR_REGEX "zavlek-call: se pasó por alto el elemento relativo «\\.» de LD_LIBRARY_PATH: la búsqueda solo usa carpetas absolutas\nzavlek-call: se pasó por alto un elemento vacío de LD_LIBRARY_PATH")
  set_tests_properties(ZavlekCall.ARelativeOrEmptyElementOfTheSearchIsNamedAsPassedOver PROPERTIES
    ENVIRONMENT "LD_LIBRARY_PATH=.:/nowhere::/also/nowhere")
  kavrelo_double_file(student_hidden student_hidden)
  set(hidden_cure "\\(visibilidad «hidden»\\): defina ZAVLEK_BUILDING_LIBRARY antes de incluir zavlek.h, que marca los puntos de entrada con ZAVLEK_API para exportarlos, o compile sin -fvisibility=hidden")
  kavrelo_zavlek_call_case(AHiddenEntryPointIsNamedWithTheCure 3 ARGS --library ${student_hidden} parser_SLR x
    STDERR_REGEX "no lo exporta: define parser_SLR, pero oculto ${hidden_cure}")
  kavrelo_contract_check(HiddenEntryPointsAreNamedOnceInTheNameCheck ${student_hidden}
    FAILING "carga y nombres"
    DETAILS "exacto: mPila, tokeniza, tokeniza2, parser_SLR. define mPila, tokeniza, tokeniza2 y parser_SLR, pero ocultos ${hidden_cure}")
  add_test(NAME ZavlekCall.EachModeNamesTheLibraryThatAnswered
    COMMAND ${tool_tests}/which_library.sh $<TARGET_FILE:zavlek-call> ${student}
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/which_library)
  # The sanitizers' leak checker reads the grading process as a tracer
  # would, so there the process keeps its memory open to what it starts.
  set(grader_memory closed)
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
    set(grader_memory open)
  endif()
  # A class graded in one command: the grades as spreadsheets and the
  # autograders read them, the same with one job or two, and nothing a
  # submission reaches beyond itself.
  add_test(NAME ZavlekCall.GradeGradesAClassAsItsReadersReadTheGrades
    COMMAND ${tool_tests}/grade_class.sh $<TARGET_FILE:zavlek-call> ${KAVRELO_DOUBLES_DIR}
      $<TARGET_FILE:Zavlek> ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/grade_class ${grader_memory})
  set_tests_properties(ZavlekCall.GradeGradesAClassAsItsReadersReadTheGrades PROPERTIES TIMEOUT 600
    FIXTURES_SETUP GradedClass)
  # That class's report as the teacher's browser shows it, read from the
  # grades just written rather than grading the class again.
  add_test(NAME ZavlekCall.GradeReportShowsInABrowserWithARowPerSubmission
    COMMAND ${tool_tests}/class_report_in_browser.sh
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/grade_class/notas/informe.html
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/class_report_in_browser
      ana beto carla david eva fede gema hugo ines juan kike lola mario nora)
  set_tests_properties(ZavlekCall.GradeReportShowsInABrowserWithARowPerSubmission PROPERTIES TIMEOUT 120
    FIXTURES_REQUIRED GradedClass)
  # A rubric made from a list of inputs by the teacher's own library: the
  # example's answers given back, and the input a library fails on named.
  add_test(NAME ZavlekCall.CasesAnswersAListOfInputsAsTheExampleDoes
    COMMAND ${tool_tests}/cases_from_inputs.sh $<TARGET_FILE:zavlek-call> ${KAVRELO_DOUBLES_DIR}
      $<TARGET_FILE:Zavlek> ${PROJECT_SOURCE_DIR}/examples/casos-referencia.txt
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/cases_from_inputs)
  set_tests_properties(ZavlekCall.CasesAnswersAListOfInputsAsTheExampleDoes PROPERTIES TIMEOUT 300)
  # The autograders' kits, run as Gradescope and PrairieLearn run them, in a
  # folder standing for the container's root.
  add_test(NAME ZavlekCall.TheAutogradersKitsGradeASubmissionAsThePlatformsReadIt
    COMMAND ${tool_tests}/autograder_kits.sh $<TARGET_FILE:zavlek-call> $<TARGET_FILE:Zavlek>
      ${PROJECT_SOURCE_DIR}/packaging/autograder ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/autograder_kits)
  set_tests_properties(ZavlekCall.TheAutogradersKitsGradeASubmissionAsThePlatformsReadIt PROPERTIES TIMEOUT 300)
endif()

# Every system grades a folder by the library in it, two submissions at once
# (on Windows, where nothing confines them, only when told to go without).
kavrelo_zavlek_call_case(GradeGradesFoldersTwoAtATimeOnEverySystem 0
  ARGS --timeout 10 grade --sin-aislamiento --jobs 2 --fuzz-inputs 100
    --rubric ${tool_tests}/cases/rubrica-dos-grupos.txt
    --out ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/GradeGradesFoldersTwoAtATimeOnEverySystem/notas
    ${KAVRELO_DOUBLES_DIR}/student ${KAVRELO_DOUBLES_DIR}/mangled ${KAVRELO_DOUBLES_DIR}/breaks_crash
  STDOUT_REGEX "breaks_crash +0.00 / 15.00 +calificada\nmangled +0.00 / 15.00 +no calificable: [A-Za-z]+.[a-z]+ no exporta con su nombre exacto[^\n]*\nstudent +15.00 / 15.00 +calificada\n\n2 de 3 entregas calificadas")

# The templates build as their authors would build them and pass the check.
# Built without the sanitizers, as authors build them, they are checked once
# per system: the sanitized tool's own checks are the reference library's.
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  set(templates)
else()
  set(templates "" -cpp)
endif()
foreach(template IN LISTS templates)
  set(test_name ContractCheck.TheLibraryTemplateBuildsAndPasses)
  if(template)
    set(test_name ContractCheck.TheCppLibraryTemplateBuildsAndPasses)
  endif()
  add_test(NAME ${test_name}
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/examples/zavlek-minimal${template}
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/zavlek-minimal${template} -DTOOL=$<TARGET_FILE:zavlek-call>
      "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" "-DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE}"
      -P ${tool_tests}/template.cmake)
  set_tests_properties(${test_name} PROPERTIES TIMEOUT 600)
endforeach()
# Built last, the 32-bit Windows tree finds the Linux and 64-bit Windows
# builds beside it: DLLs of both machines graded on Linux under Wine, in a
# class with a Linux library.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4 AND KAVRELO_LINUX_BUILD AND KAVRELO_WINDOWS_X64_BUILD)
  add_test(NAME ZavlekCall.LinuxGradesWindowsDllsUnderWine
    COMMAND ${tool_tests}/grade_dlls.sh ${KAVRELO_LINUX_BUILD}/bin/zavlek-call
      ${KAVRELO_WINDOWS_X64_BUILD}/bin/zavlek-call.exe $<TARGET_FILE:zavlek-call>
      ${KAVRELO_WINDOWS_X64_BUILD}/tests/doubles ${KAVRELO_DOUBLES_DIR}
      ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/grade_dlls)
  set_tests_properties(ZavlekCall.LinuxGradesWindowsDllsUnderWine PROPERTIES TIMEOUT 600)
endif()
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=[^ ]*address")
  # The crashes are the libraries' own: let them end the child as they would.
  set_tests_properties(ZavlekCall.ACrashInTheLibraryIsReported ContractCheck.ACrashInParserSLRFailsItsCheck
    ContractCheck.ACrashOnALoneClosingParenthesisIsFoundWithItsInput
    ContractCheck.RecursionWithoutLimitIsFoundByDeepNesting
    ZavlekCall.RunIsReadByProveAndAJUnitReader ZavlekCall.FuzzFindsACrashOnlyFiveParenthesesDeep
    ZavlekCall.FuzzStoppedByCtrlCStillWritesItsSummaryAndFindings
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=handle_segv=0:detect_leaks=0")
  # A class holds libraries that crash and leak; a list of inputs, one that
  # crashes.
  set_tests_properties(ZavlekCall.GradeGradesFoldersTwoAtATimeOnEverySystem
    ZavlekCall.CasesAnswersAListOfInputsAsTheExampleDoes
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=handle_segv=0:detect_leaks=0")
  if(TEST ZavlekCall.GradeGradesAClassAsItsReadersReadTheGrades)
    set_tests_properties(ZavlekCall.GradeGradesAClassAsItsReadersReadTheGrades
      PROPERTIES ENVIRONMENT "ASAN_OPTIONS=handle_segv=0:detect_leaks=0")
  endif()
  # The library under check leaks on purpose.
  set_tests_properties(ContractCheck.LeakingAKilobyteACallFailsTheMemoryCheck ZavlekCall.FuzzFindsALeakOnlyOverAThousandBytes
    ContractCheck.AStringLeftAtEveryCallFailsTheMemoryCheck ZavlekCall.ACallThatLosesAStringEveryTimeLeaks
    PROPERTIES ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
  # AddressSanitizer's dlopen interceptor makes itself the caller, and its
  # RUNPATH is not the program's; under it the folder is named explicitly.
  set_property(TEST ZavlekCall.AnswersWithTheLibraryBesideIt APPEND PROPERTY ENVIRONMENT
    LD_LIBRARY_PATH=${PROJECT_BINARY_DIR}/bin)
endif()

if(NOT WIN32)
  # A crash is said as the signal tells it, and where in the library it
  # happened: the student's own frames.
  kavrelo_zavlek_call_case(ACrashIsSaidWithItsCauseAndTheLibrarysFrames 4
    ARGS --library ${student_pairs_parentheses} parser_SLR ")"
    STDERR_REGEX "durante parser_SLR: violación de acceso a memoria en la dirección 0x[0-9a-f]+ — en [^\n]*parser_SLR\\+0x[0-9a-f]+[^\n]* \\(libZavlek.so\\)\n$")
  string(REPEAT "(" 200000 deep_nesting)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/deep_nesting.txt "${deep_nesting}")
  kavrelo_zavlek_call_case(ARecursionWithoutLimitIsAStackOverflowWithItsCure 4
    ARGS --library ${student_recurses_without_limit} parser_SLR --file ${CMAKE_CURRENT_BINARY_DIR}/zavlek_call/deep_nesting.txt
    STDERR_REGEX "durante parser_SLR: desbordamiento de pila \\(0x[0-9a-f]+ está al final de la pila\\) — en .*\\(libZavlek.so\\): una recursión sin límite. Limite la profundidad de la recursión o use una pila propia\n$")
endif()
