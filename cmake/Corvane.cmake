# Helpers shared by every folder's CMakeLists.txt.

# The libraries share one precompiled header of standard headers (cmake/LibraryPch.h), made once per build
# tree. GCC only: the fuzz tree's clang compiles without it.
function(corvane_library_pch target)
  if(CMAKE_DISABLE_PRECOMPILE_HEADERS OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  if(NOT TARGET corvane_library_pch)
    set(source ${PROJECT_BINARY_DIR}/corvane_library_pch.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "")
    add_library(corvane_library_pch OBJECT ${source})
    # SDL's flags bring _REENTRANT to every library; GCC refuses a header made with other macros.
    target_compile_definitions(corvane_library_pch PRIVATE _REENTRANT)
    target_precompile_headers(corvane_library_pch PRIVATE [["cmake/LibraryPch.h"]])
    target_include_directories(corvane_library_pch PRIVATE ${PROJECT_SOURCE_DIR})
  endif()
  target_precompile_headers(${target} REUSE_FROM corvane_library_pch)
endfunction()

# corvane_module(<target> [SOURCES ...] [DEPS ...] [PUBLIC_INCLUDE <dir>])
# One library per folder. Without SOURCES it takes the folder's own *.cpp files.
# Code includes headers by their path from the project root: #include "base/Info.h".
function(corvane_module target)
  cmake_parse_arguments(M "" "PUBLIC_INCLUDE" "SOURCES;DEPS" ${ARGN})
  if(NOT M_SOURCES)
    file(GLOB M_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c)
  endif()
  add_library(${target} STATIC ${M_SOURCES})
  corvane_library_pch(${target})
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
  corvane_test_flags(corvane_test_pch)
endfunction()

# Test code compiles at -O1 with line tables: failures and backtraces still name their lines, and -O2 with
# full debug information doubled the tests' compile time. In the sanitizer tree it is not optimised at all:
# optimising the sanitizers' checks took a third of the tests' compile time there, and they find as much
# at -O0. The code under test keeps its tree's flags.
function(corvane_test_flags target)
  if(CORVANE_SANITIZE)
    target_compile_options(${target} PRIVATE "$<$<CONFIG:RelWithDebInfo>:-O0>")
  else()
    target_compile_options(${target} PRIVATE "$<$<CONFIG:RelWithDebInfo>:-O1;-g1>")
  endif()
endfunction()

# corvane_unity_sources(<target> <out-var> <source>...)
# Test and benchmark files compile in batches of up to eight, each batch one translation unit: most of a test
# file's compile time goes to code generated again in every file (GoogleTest's, the standard library's and the
# project's inline code), so a batch costs about half as much as its files one by one. CMake's own unity
# build names the files by absolute path, which the compiler cache cannot match across checkouts: these
# batches name them from the project root. A file that cannot share a batch (a name clash in an unnamed
# namespace) is marked with the source property SKIP_UNITY_BUILD_INCLUSION and compiles alone.
# CORVANE_UNITY=OFF compiles every file alone.
option(CORVANE_UNITY "Compile test and benchmark files in batches" ON)
function(corvane_unity_sources target out)
  set(alone)
  set(batched)
  foreach(source IN LISTS ARGN)
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    get_source_file_property(skip ${path} SKIP_UNITY_BUILD_INCLUSION)
    if(NOT CORVANE_UNITY OR skip OR NOT path MATCHES "\\.(cpp|cc|cxx)$")
      list(APPEND alone ${path})
    else()
      list(APPEND batched ${path})
    endif()
  endforeach()
  list(LENGTH batched count)
  if(count LESS 2)
    set(${out} ${alone} ${batched} PARENT_SCOPE)
    return()
  endif()
  set(result ${alone})
  set(content "")
  set(index 0)
  set(in_batch 0)
  foreach(path IN LISTS batched)
    file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${path})
    string(APPEND content "#include \"${relative}\"\n")
    math(EXPR in_batch "${in_batch} + 1")
    if(in_batch EQUAL 8)
      _corvane_unity_batch(${target} ${index} "${content}" result)
      math(EXPR index "${index} + 1")
      set(content "")
      set(in_batch 0)
    endif()
  endforeach()
  if(in_batch GREATER 0)
    _corvane_unity_batch(${target} ${index} "${content}" result)
  endif()
  # The files stay in the target for editors, compiled only through their batch.
  set_source_files_properties(${batched} PROPERTIES HEADER_FILE_ONLY ON)
  set(${out} ${result} ${batched} PARENT_SCOPE)
endfunction()

function(_corvane_unity_batch target index content result_var)
  set(batch ${CMAKE_CURRENT_BINARY_DIR}/${target}_unity/batch${index}.cpp)
  # Written only when it changes, so a new configure does not rebuild the batch.
  file(CONFIGURE OUTPUT ${batch} CONTENT "// Generated: the files of one batch of ${target}.\n${content}" @ONLY)
  set(${result_var} ${${result_var}} ${batch} PARENT_SCOPE)
endfunction()

# corvane_test(<target> SOURCES ... DEPS ... [ENV ...] [LABELS ...] [SERIAL])
# A GoogleTest executable whose tests CTest finds one by one. Tests run headless; CORVANE_SOURCE_DIR and
# CORVANE_BINARY_DIR (tests/support/TestPaths.h) say where the sources and the build are.
# SERIAL: the tests run alone, for tests that follow the wall clock (recorded sound).
function(corvane_test target)
  cmake_parse_arguments(T "SERIAL" "" "SOURCES;DEPS;ENV;LABELS" ${ARGN})
  corvane_unity_sources(${target} sources ${T_SOURCES})
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  corvane_test_flags(${target})
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
  # In a batch a test file is no longer the main file, and GCC then takes a fixture in its unnamed
  # namespace for one from a header shared between files.
  if(CORVANE_UNITY AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
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
  corvane_unity_sources(${target} sources ${B_SOURCES})
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${B_DEPS} benchmark::benchmark benchmark::benchmark_main)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()
