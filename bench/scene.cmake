# Clump segment tests on the largest sample model against the collision plugin run on every atomic without the
# sphere rejection ("ratio"), and 1,000 atomics drawn camera-relative far from the origin through
# Obj::Clump::Render against the world pipelines' plain RpAtomicRender of the same atomics ("ratio").
corvane_bench(bench_scene SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/ClumpBench.cpp DEPS scene)
# The three world passes over 2,000 objects with the allocations of a warm frame, and segment walks through the
# sector grid against a brute-force test of every member ("ratio").
corvane_bench(bench_world SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/WorldBench.cpp ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp
              DEPS scene)
