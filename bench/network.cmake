corvane_bench(bench_network SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/network/DplayBench.cpp DEPS platform_dplay)
