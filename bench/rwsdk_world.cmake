# Models: a large clump read from a memory stream against memcpy of its bytes, and strip building per
# triangle on a 50,000-triangle mesh.
corvane_bench(bench_rwsdk_world SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/WorldBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS rwsdk)
