# Clump segment tests on the largest sample model against the collision plugin run on every atomic without the
# sphere rejection ("ratio"), and 1,000 atomics drawn camera-relative far from the origin through
# Obj::Clump::Render against the world pipelines' plain RpAtomicRender of the same atomics ("ratio").
corvane_bench(bench_scene SOURCES ${CMAKE_CURRENT_LIST_DIR}/scene/ClumpBench.cpp DEPS scene)
