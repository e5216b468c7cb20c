corvane_fuzzer(fuzz_chunk_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ChunkStreamFuzzer.cpp DEPS rwsdk)
