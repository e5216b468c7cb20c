corvane_bench(bench_info SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/base/InfoBench.cpp DEPS base)
