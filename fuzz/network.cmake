corvane_fuzzer(fuzz_dplay_receive SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/DplayReceiveFuzzer.cpp
               DEPS platform_dplay)
corvane_fuzzer(fuzz_game_messages SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/GameMessagesFuzzer.cpp
               DEPS network aircraft weapons)
corvane_fuzzer(fuzz_game_dispatch SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/GameDispatchFuzzer.cpp
               DEPS network aircraft weapons)
