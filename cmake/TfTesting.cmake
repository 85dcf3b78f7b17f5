# Test registration shared by the three builds.
#
# native     byte-format tests and host tools (clang, sanitizers); label native.
# windows64  every Win32 test program, run under Wine's 64-bit loader in one of
#            two tiers (tools/wine-env.sh): fast (label fast) for everything that
#            does not need the 32-bit deliverables, x86 (label x86) for drivers
#            that start the real programs in dist/. Its CTest also runs the
#            native build's tests (listed by that build in native-tests.list),
#            so one summary covers everything.
# windows    the 32-bit deliverables; test programs are defined there too (so
#            that every target exists) but are neither built by default nor run.
#
# One CTest test per test executable: the cases of an executable run in one
# process. Tests of one tier share its prefix and run one at a time.
include_guard(GLOBAL)
enable_testing()

set(TF_NATIVE_TEST_LIST "${CMAKE_BINARY_DIR}/native-tests.list")
if(NOT WIN32)
  file(WRITE "${TF_NATIVE_TEST_LIST}" "")
endif()
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(TF_WIN_TESTS ON)
else()
  set(TF_WIN_TESTS OFF)
endif()

# tf_test_only(TARGET...): libraries and tools that only tests and benchmarks
# use; the 32-bit build makes them on demand only, like its test programs.
function(tf_test_only)
  if(WIN32 AND NOT TF_WIN_TESTS)
    set_target_properties(${ARGN} PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()

# Every test program of the native and 64-bit builds reuses one precompiled
# header: GoogleTest, the common standard headers and, on Windows,
# <windows.h> (parsing them was most of a test's compile time).
if(NOT WIN32 OR TF_WIN_TESTS)
  file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/tf_test_pch.cpp" CONTENT "// Owner of the tests' precompiled header.\n")
  add_library(tf_test_pch OBJECT "${CMAKE_BINARY_DIR}/tf_test_pch.cpp")
  target_link_libraries(tf_test_pch PRIVATE GTest::gtest)
  target_precompile_headers(tf_test_pch PRIVATE
    <gtest/gtest.h> <algorithm> <cstdint> <cstring> <filesystem> <map> <span> <string> <string_view> <vector>
    $<$<PLATFORM_ID:Windows>:<windows.h$<ANGLE-R>>)
endif()

# tf_add_test(NAME SOURCES... LIBS... [TIER fast|x86] [TIMEOUT s] [LABELS...]):
# a GoogleTest executable and its test. TIER applies to Windows builds (default fast).
function(tf_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;TIER" "SOURCES;LIBS;LABELS" ${ARGN})
  if(WIN32 AND NOT TF_WIN_TESTS)
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
  else()
    add_executable(${name} ${T_SOURCES})
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE TF_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TF_DIST_DIR="${TF_DIST_DIR}")
  if(TARGET tf_test_pch)
    target_precompile_headers(${name} REUSE_FROM tf_test_pch)
    # GCC 12 loses the standard headers' own "#pragma GCC diagnostic" in a
    # precompiled header: their known false warnings are off here instead.
    target_compile_options(${name} PRIVATE
      $<$<CXX_COMPILER_ID:GNU>:-Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread>)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 900)
  endif()
  if(NOT WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "native;${T_LABELS}")
    file(APPEND "${TF_NATIVE_TEST_LIST}" "${name};${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}\n")
  elseif(TF_WIN_TESTS)
    if(NOT T_TIER)
      set(T_TIER fast)
    endif()
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/tools/wine-run.sh ${T_TIER} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_TIER};${T_LABELS}"
                         RESOURCE_LOCK wine-${T_TIER})
    if(T_TIER STREQUAL "x86")
      set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED x86_deliverables)
    endif()
  endif()
endfunction()

# tf_add_test_part(PROGRAM SOURCES... [LIBS...] [DEFINITIONS...] [INCLUDES...]
#                  [DEPENDS...] [FIXTURES_REQUIRED...] [FIXTURES_SETUP...]):
# a folder's part of a test program that runs the tests of several folders in
# one process (one Wine start for all of them): setup_wine_test (the folders'
# Win32 unit tests) and x86_e2e_test (the x86 tier's scenarios,
# tools/testsupport/x86_scenarios.h). The calling folder is an include folder
# of the program. tf_add_test_from_parts() defines the program, after the last
# folder that adds a part.
set(TF_TEST_PART_KINDS SOURCES LIBS DEFINITIONS INCLUDES DEPENDS FIXTURES_REQUIRED FIXTURES_SETUP)
function(tf_add_test_part program)
  cmake_parse_arguments(P "" "" "${TF_TEST_PART_KINDS}" ${ARGN})
  list(APPEND P_INCLUDES "${CMAKE_CURRENT_SOURCE_DIR}")
  foreach(kind SOURCES INCLUDES)
    set(absolute "")
    foreach(path IN LISTS P_${kind})
      get_filename_component(path "${path}" ABSOLUTE)
      list(APPEND absolute "${path}")
    endforeach()
    set(P_${kind} ${absolute})
  endforeach()
  foreach(kind IN LISTS TF_TEST_PART_KINDS)
    set_property(GLOBAL APPEND PROPERTY TF_TEST_PART_${program}_${kind} ${P_${kind}})
  endforeach()
endfunction()

# tf_add_test_from_parts(PROGRAM [SOURCES...] [LIBS...] [TIER fast|x86] [TIMEOUT s]):
# the test program of the parts added for PROGRAM, with these sources and libraries too.
function(tf_add_test_from_parts program)
  cmake_parse_arguments(T "" "TIER;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  foreach(kind IN LISTS TF_TEST_PART_KINDS)
    get_property(${kind} GLOBAL PROPERTY TF_TEST_PART_${program}_${kind})
  endforeach()
  set(options "")
  foreach(option TIER TIMEOUT)
    if(T_${option})
      list(APPEND options ${option} ${T_${option}})
    endif()
  endforeach()
  tf_add_test(${program} SOURCES ${T_SOURCES} ${SOURCES} LIBS ${T_LIBS} ${LIBS} ${options})
  target_compile_definitions(${program} PRIVATE ${DEFINITIONS})
  list(REMOVE_DUPLICATES INCLUDES)
  target_include_directories(${program} PRIVATE ${INCLUDES})
  if(DEPENDS)
    add_dependencies(${program} ${DEPENDS})
  endif()
  if(TEST ${program})
    foreach(kind FIXTURES_REQUIRED FIXTURES_SETUP)
      if(${kind})
        set_tests_properties(${program} PROPERTIES ${kind} "${${kind}}")
      endif()
    endforeach()
  endif()
endfunction()

# tf_add_command_test(NAME COMMAND ARGS...): a native-build test that runs a
# command (a check script, a host tool); listed for the Windows build's run too.
function(tf_add_command_test name)
  if(WIN32)
    return()
  endif()
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900 LABELS native)
  file(APPEND "${TF_NATIVE_TEST_LIST}" "${name};${ARGN}\n")
endfunction()

if(TF_WIN_TESTS)
  # The native build's tests: a missing list fails the run instead of skipping them.
  set(TF_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native" CACHE PATH "Native build whose tests this build's CTest also runs")
  configure_file("${CMAKE_CURRENT_LIST_DIR}/include-native-tests.cmake.in"
                 "${CMAKE_BINARY_DIR}/include-native-tests.cmake" @ONLY)
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES
               "${CMAKE_BINARY_DIR}/include-native-tests.cmake")

  # The x86 tier starts the 32-bit build's programs: missing ones fail that tier at once.
  set(TF_X86_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows" CACHE PATH "32-bit build whose programs the x86 tier runs")
  add_test(NAME x86_deliverables COMMAND ${CMAKE_COMMAND}
    "-DFILES=${TF_DIST_DIR}/tf_setup.exe;${TF_DIST_DIR}/tf_loader.exe;${TF_X86_BUILD_DIR}/payload/tf_hybrid.dll;${TF_X86_BUILD_DIR}/testdata/tf_rungame_probe.dll"
    -P ${CMAKE_CURRENT_LIST_DIR}/check-files.cmake)
  set_tests_properties(x86_deliverables PROPERTIES FIXTURES_SETUP x86_deliverables LABELS x86)
endif()

# tf_add_fuzzer(NAME SOURCES... LIBS... CORPUS dir [INCLUDES dir...]): a
# libFuzzer target (native clang build) and a replay program that runs the same
# harness over the checked-in corpus; the native build runs it as a test. The
# harness is compiled once for both: with TF_FUZZERS every object of the native
# clang build carries the fuzzer's coverage instrumentation.
add_library(tf_fuzz_replay_main OBJECT ${CMAKE_SOURCE_DIR}/tools/fuzz_replay_main.cpp)
if(WIN32)
  set_target_properties(tf_fuzz_replay_main PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
function(tf_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS;INCLUDES" ${ARGN})
  add_library(${name}_harness OBJECT ${F_SOURCES})
  target_link_libraries(${name}_harness PUBLIC ${F_LIBS})
  target_include_directories(${name}_harness PRIVATE ${F_INCLUDES})
  set(replay_objects $<TARGET_OBJECTS:tf_fuzz_replay_main> $<TARGET_OBJECTS:${name}_harness>)
  if(WIN32)
    set_target_properties(${name}_harness PROPERTIES EXCLUDE_FROM_ALL ON)
    add_executable(${name}_replay EXCLUDE_FROM_ALL ${replay_objects})
    target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
    return()
  endif()
  add_executable(${name}_replay ${replay_objects})
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_CORPUS})
  set_tests_properties(${name}_replay PROPERTIES LABELS native)
  file(APPEND "${TF_NATIVE_TEST_LIST}" "${name}_replay;${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}_replay;${F_CORPUS}\n")
  if(TF_FUZZERS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} $<TARGET_OBJECTS:${name}_harness>)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
  endif()
endfunction()
