corvane_fuzzer(fuzz_chunk_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_chunk_stream.cpp DEPS rwsdk)
