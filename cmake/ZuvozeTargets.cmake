# Helpers shared by every subsystem's CMakeLists.txt.
include_guard(GLOBAL)

# zuvoze_add_program(NAME SOURCES ... LIBS ...)
# A program without a window on Windows, installed into bin/.
function(zuvoze_add_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS} zuvoze_platform zuvoze_warnings)
  if(WIN32)
    # GUI subsystem: no console window is ever shown.
    target_link_options(${name} PRIVATE -mwindows)
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION bin)
endfunction()

# zuvoze_add_test(NAME SOURCES ... LIBS ... [SERIAL])
# One GoogleTest executable; its tests are discovered when ctest starts, so the
# build never runs Wine. Under Wine the tests share one registry and run serially.
function(zuvoze_add_test name)
  if(NOT ZUVOZE_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} zuvoze_testsupport zuvoze_platform
                        zuvoze_warnings GTest::gmock GTest::gtest_main)
  if(WIN32)
    set(serial TRUE)   # one registry and one service manager under Wine
  else()
    set(serial FALSE)  # every test has its own folders and registry store
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
                       PROPERTIES TIMEOUT 300 RUN_SERIAL ${serial})
endfunction()

# zuvoze_add_tests_in(DIR LIBS ...)
# Every DIR/*_test.cpp becomes one test executable of its own, named after the
# file, so one subsystem's tests build and fail independently of the others.
function(zuvoze_add_tests_in dir)
  cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    zuvoze_add_test(${name} SOURCES ${src} LIBS ${T_LIBS})
  endforeach()
endfunction()
