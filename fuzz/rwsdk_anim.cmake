corvane_fuzzer(fuzz_anm_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/AnmFileFuzzer.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_collision_hierarchy SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/CollisionHierarchyFuzzer.cpp DEPS rwsdk)
