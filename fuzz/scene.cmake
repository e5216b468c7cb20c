corvane_fuzzer(fuzz_streamed_texture SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/StreamedTextureFuzzer.cpp DEPS scene)
corvane_fuzzer(fuzz_model_description SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/ModelDescriptionFuzzer.cpp DEPS scene)
