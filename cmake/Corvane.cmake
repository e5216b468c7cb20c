# Helpers shared by every folder's CMakeLists.txt.

# corvane_module(<target> [SOURCES ...] [DEPS ...] [PUBLIC_INCLUDE <dir>])
# One library per folder. Without SOURCES it takes the folder's own *.cpp files.
# Code includes headers by their path from the project root: #include "base/Info.h".
function(corvane_module target)
  cmake_parse_arguments(M "" "PUBLIC_INCLUDE" "SOURCES;DEPS" ${ARGN})
  if(NOT M_SOURCES)
    file(GLOB M_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  endif()
  add_library(${target} STATIC ${M_SOURCES})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(M_PUBLIC_INCLUDE)
    target_include_directories(${target} PUBLIC ${M_PUBLIC_INCLUDE})
  endif()
  if(M_DEPS)
    target_link_libraries(${target} PUBLIC ${M_DEPS})
  endif()
endfunction()

# The precompiled header every test executable shares (tests/support/TestPch.h), made once per build tree:
# GoogleTest and GoogleMock alone cost each test file about two seconds. It must be compiled with the
# tests' own flags, so it is position-independent the way an executable is (-fPIE, not a library's -fPIC),
# and it holds no project header but TestPaths.h: a change to one would rebuild every test.
function(corvane_test_pch)
  if(TARGET corvane_test_pch)
    return()
  endif()
  set(source ${PROJECT_BINARY_DIR}/corvane_test_pch.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "")
  add_library(corvane_test_pch OBJECT ${source})
  set_target_properties(corvane_test_pch PROPERTIES POSITION_INDEPENDENT_CODE OFF)
  target_compile_options(corvane_test_pch PRIVATE -fPIE)
  target_include_directories(corvane_test_pch PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(corvane_test_pch PRIVATE GTest::gtest GTest::gmock)
  # SDL's flags bring _REENTRANT to nearly every test; GCC refuses a header made with other macros.
  target_compile_definitions(corvane_test_pch PRIVATE _REENTRANT)
  target_precompile_headers(corvane_test_pch PRIVATE [["tests/support/TestPch.h"]])
endfunction()

# corvane_test(<target> SOURCES ... DEPS ... [ENV ...] [LABELS ...] [SERIAL])
# A GoogleTest executable whose tests CTest finds one by one. Tests run headless; CORVANE_SOURCE_DIR and
# CORVANE_BINARY_DIR (tests/support/TestPaths.h) say where the sources and the build are.
# SERIAL: the tests run alone, for tests that follow the wall clock (recorded sound).
function(corvane_test target)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;DEPS;ENV;LABELS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(CMAKE_DISABLE_PRECOMPILE_HEADERS)
    target_compile_options(${target} PRIVATE -include ${PROJECT_SOURCE_DIR}/tests/support/TestPaths.h)
  else()
    corvane_test_pch()
    target_precompile_headers(${target} REUSE_FROM corvane_test_pch)
    target_compile_definitions(${target} PRIVATE _REENTRANT)
    # With the header precompiled, GCC 12 inlines std::string's operator+ differently and then warns that
    # the copy overruns the short-string buffer it has already left (a known false positive of GCC 12).
    # The sanitizer build checks the tests' bounds for real.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
    endif()
  endif()
  set(env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy ALSOFT_DRIVERS=null
          CORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR} CORVANE_BINARY_DIR=${PROJECT_BINARY_DIR} ${T_ENV})
  # No rasteriser threads for LeakSanitizer's tracer to stop at exit; the driver is not instrumented, so
  # rasterising on the test's own thread loses no checking.
  if(CORVANE_SANITIZE)
    list(APPEND env LP_NUM_THREADS=0)
  endif()
  # Run through env(1): a list in ENVIRONMENT does not survive the hand-over to the discovered tests.
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "env;${env}")
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${target}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# The sample game's data tree in the build directory: data/ copies the hand-written files into it and
# tools/ adds its generators with add_dependencies(sample_data <generator>).
set(CORVANE_DATA_DIR ${PROJECT_BINARY_DIR}/data)
add_custom_target(sample_data ALL)

# corvane_bench(<target> SOURCES ... DEPS ...): a Google Benchmark executable.
function(corvane_bench target)
  cmake_parse_arguments(B "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${target} ${B_SOURCES})
  target_link_libraries(${target} PRIVATE ${B_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
