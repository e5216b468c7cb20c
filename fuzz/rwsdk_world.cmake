corvane_fuzzer(fuzz_clump_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_clump_stream.cpp DEPS rwsdk)
