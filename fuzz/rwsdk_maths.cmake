corvane_fuzzer(fuzz_frame_list SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_frame_list.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_camera SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_camera.cpp DEPS rwsdk)
