# Test registration shared by the native and the Windows build.
#
# One CTest test per test executable: Wine starts slowly, so the cases of an
# executable run in one process. The Windows build also runs the native
# build's tests (listed by that build in native-tests.list), so that one CTest
# summary covers everything.
include_guard(GLOBAL)
enable_testing()

set(TF_NATIVE_TEST_LIST "${CMAKE_BINARY_DIR}/native-tests.list")
if(NOT WIN32)
  file(WRITE "${TF_NATIVE_TEST_LIST}" "")
endif()

# tf_add_test(NAME SOURCES... LIBS...): a GoogleTest executable and its test.
function(tf_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gtest_main)
  target_compile_definitions(${name} PRIVATE TF_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TF_DIST_DIR="${TF_DIST_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 900)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    set_property(TEST ${name} APPEND PROPERTY LABELS wine ${T_LABELS})
    set_property(TEST ${name} PROPERTY RESOURCE_LOCK wine)
  else()
    set_property(TEST ${name} APPEND PROPERTY LABELS native ${T_LABELS})
    file(APPEND "${TF_NATIVE_TEST_LIST}" "${name};${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}\n")
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

if(WIN32)
  set(TF_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native" CACHE PATH "Native build whose tests this build's CTest also runs")
  configure_file("${CMAKE_CURRENT_LIST_DIR}/include-native-tests.cmake.in"
                 "${CMAKE_BINARY_DIR}/include-native-tests.cmake" @ONLY)
  set_property(DIRECTORY "${CMAKE_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES
               "${CMAKE_BINARY_DIR}/include-native-tests.cmake")
endif()

# tf_add_fuzzer(NAME SOURCES... LIBS... CORPUS dir): a libFuzzer target (native clang
# build) and a replay program that runs the same harness over the checked-in
# corpus; the native build runs it as a test.
function(tf_add_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name}_replay ${F_SOURCES} ${CMAKE_SOURCE_DIR}/tools/fuzz_replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  if(NOT WIN32)
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${F_CORPUS})
    file(APPEND "${TF_NATIVE_TEST_LIST}" "${name}_replay;${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}_replay;${F_CORPUS}\n")
    if(TF_FUZZERS AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      add_executable(${name} ${F_SOURCES})
      target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
      target_link_options(${name} PRIVATE -fsanitize=fuzzer)
      target_link_libraries(${name} PRIVATE ${F_LIBS})
    endif()
  endif()
endfunction()
