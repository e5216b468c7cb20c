corvane_fuzzer(fuzz_clump_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ClumpStreamFuzzer.cpp DEPS rwsdk)
