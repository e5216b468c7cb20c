# Collision and animation: line queries against a 20,000-triangle model with its tree and by brute force,
# and standard keyframes interpolated against the same loop written with GLM.
corvane_bench(bench_rwsdk_anim SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/AnimBench.cpp DEPS rwsdk)
