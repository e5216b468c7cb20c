corvane_fuzzer(fuzz_info_parser SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/base/InfoParserFuzzer.cpp DEPS base)
corvane_fuzzer(fuzz_config_load SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/base/ConfigLoadFuzzer.cpp DEPS base)
corvane_fuzzer(fuzz_info_include SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/base/InfoIncludeFuzzer.cpp DEPS base)
