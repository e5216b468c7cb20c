# 50 sample airplanes through one 16.7 ms frame (simulation, run and culling) as a share of the frame, with
# the allocations of our own code in a warm frame.
corvane_bench(bench_aircraft SOURCES ${CMAKE_CURRENT_LIST_DIR}/aircraft/AirplaneBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS aircraft)
