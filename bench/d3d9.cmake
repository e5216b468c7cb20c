# 10,000 small draws with a state change before each: the Direct3D layer against plain GL (items per second).
corvane_bench(bench_d3d9 SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/D3d9Bench.cpp DEPS platform_d3d9)
