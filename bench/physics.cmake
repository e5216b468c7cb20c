corvane_bench(bench_physics SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/physics/FlightModelBench.cpp DEPS physics)
