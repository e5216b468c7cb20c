corvane_fuzzer(fuzz_single_instance SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/SingleInstanceFuzzer.cpp
  DEPS platform_win32)
