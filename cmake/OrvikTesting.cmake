# Test helpers shared by every tests/ folder.

# Every test sees the same environment: no display, LSan told about the
# third-party libraries that keep memory until the process ends, TSan told to leave
# alone what the uninstrumented libraries (Qt, the sound libraries) do, whose own
# synchronisation it cannot see.
set(ORVIK_TEST_ENVIRONMENT
  "QT_QPA_PLATFORM=offscreen"
  "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
  "TSAN_OPTIONS=ignore_noninstrumented_modules=1:second_deadlock_stack=1"
  "ORVIKSDR_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
  "ORVIKSDR_BINARY_DIR=${CMAKE_BINARY_DIR}")

add_library(orvik_gui_test_main STATIC ${CMAKE_SOURCE_DIR}/cmake/GuiTestMain.cpp)
target_link_libraries(orvik_gui_test_main PUBLIC Qt6::Widgets GTest::gtest)

# Discovered tests cannot carry a list-valued ENVIRONMENT property through
# gtest_discover_tests (its items would be read as further property names, and
# every property after it lost), so each test binary is started through env instead.
# orvik_discover(exe [TIMEOUT s] [ALONE]): ALONE keeps the binary's tests from running
# beside any other test.
function(orvik_discover name)
  cmake_parse_arguments(T "ALONE" "TIMEOUT" "" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(properties TIMEOUT ${T_TIMEOUT})
  if(T_ALONE)
    list(APPEND properties RUN_SERIAL TRUE)
  endif()
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "/usr/bin/env;${ORVIK_TEST_ENVIRONMENT}")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 120
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ${properties})
endfunction()

# orvik_add_gtest(NAME exe SOURCES files... LIBS targets...)
function(orvik_add_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  orvik_discover(${T_NAME})
endfunction()

# Like orvik_add_gtest, with a QApplication alive for the whole run.
function(orvik_add_gui_gtest)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} orvik_gui_test_main GTest::gtest GTest::gmock)
  orvik_discover(${T_NAME})
endfunction()

# orvik_add_script_test(NAME name COMMAND cmd args... [TIMEOUT s])
function(orvik_add_script_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${ORVIK_TEST_ENVIRONMENT}" TIMEOUT ${T_TIMEOUT})
endfunction()
