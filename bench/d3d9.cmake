# 10,000 small draws with a state change before each: the Direct3D layer against plain GL in the same run.
corvane_bench(bench_d3d9 SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/D3d9Bench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS platform_d3d9)
