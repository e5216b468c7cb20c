corvane_fuzzer(fuzz_anm_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_anm_file.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_collision_hierarchy SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_collision_hierarchy.cpp DEPS rwsdk)
