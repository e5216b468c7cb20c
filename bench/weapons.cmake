# The bullets' shooting pass over 2,000 objects against a brute-force reference.
corvane_bench(bench_weapons SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/weapons/ShootingPassBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS weapons)
# Fifty guided missiles steering at once, against the frame budget, with their allocations.
corvane_bench(bench_missiles SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/weapons/MissileBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS weapons)
