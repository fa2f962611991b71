# add_unit_test(name SOURCES ... LIBS ...)
# On the host each GoogleTest case becomes its own CTest test. On Windows the
# whole program is one CTest test, run under Wine through the emulator with a
# fresh Wine prefix of its own: the x86_64 build under the host's Wine, the
# 32-bit shipping build in the test beds (TEST_BED=i386 or wow64, set by the
# win32-i386 and win32-wow64 test presets; see scripts/testbed.sh). A run that
# cannot happen on this machine exits with 77 and counts as skipped, and so
# does a program whose cases passed but some skipped (testsupport/TestRun.h):
# its output names each skipped case with its reason.

include(GoogleTest)

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(WINE_RUNS_TESTS ON)
  # The 32-bit build is the one users receive; its programs are also
  # inspected on the host (tests named *_inspection).
  set(SHIPPING_BUILD OFF)
  if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(SHIPPING_BUILD ON)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR}/wine)
  # One template prefix, made once; each test copies it.
  add_test(NAME wine_prefix_template
           COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR}/wine --prepare)
  set_tests_properties(wine_prefix_template PROPERTIES FIXTURES_SETUP wine_prefix
                       SKIP_RETURN_CODE 77)
endif()

# add_unit_test(name ONE_BED SOURCES ... LIBS ...): ONE_BED marks a program
# whose results cannot differ between the two 32-bit beds (portable code, or
# nothing the two systems answer differently); it carries the label one_bed,
# and the i386 bed leaves it to the wow64 bed (CMakePresets.json).
function(add_unit_test name)
  cmake_parse_arguments(T "ONE_BED" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  project_options(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} testsupport test_main GTest::gtest GTest::gmock)
  if(NOT WIN32)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "TEST_DATA_DIR=${PROJECT_SOURCE_DIR}"
                                    SKIP_RETURN_CODE 77)
  elseif(WINE_RUNS_TESTS)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix
                         ENVIRONMENT "TEST_DATA_DIR=${PROJECT_SOURCE_DIR}" TIMEOUT 600
                         SKIP_RETURN_CODE 77)
    if(T_ONE_BED)
      set_property(TEST ${name} APPEND PROPERTY LABELS one_bed)
    endif()
  endif()
endfunction()
