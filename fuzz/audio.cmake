corvane_fuzzer(fuzz_sound_decoder SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio/SoundDecoderFuzzer.cpp DEPS audio)
corvane_fuzzer(fuzz_sound_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/audio/SoundLoadFuzzer.cpp DEPS audio)
