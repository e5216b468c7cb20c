corvane_fuzzer(fuzz_video_graph SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/video/VideoGraphFuzzer.cpp DEPS platform_dshow)
