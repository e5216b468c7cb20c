# The computer pilot's decision and steering step for 50 airplanes as a share of a 16.7 ms frame, with the
# allocations of our own code in a warm frame.
corvane_bench(bench_pilots SOURCES ${CMAKE_CURRENT_LIST_DIR}/pilots/PilotAiBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS pilots)
