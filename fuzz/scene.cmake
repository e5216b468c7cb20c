corvane_fuzzer(fuzz_streamed_texture SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/StreamedTextureFuzzer.cpp DEPS scene)
