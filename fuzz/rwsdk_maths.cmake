corvane_fuzzer(fuzz_frame_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/FrameListFuzzer.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_camera SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/CameraStreamFuzzer.cpp DEPS rwsdk)
