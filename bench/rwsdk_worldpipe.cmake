# Atomics of the sample models drawn through the Direct3D 9 world pipelines against raw indexed draws of
# the same buffers, with the GL programs compiled and the heap allocations of a warm frame.
corvane_bench(bench_rwsdk_worldpipe SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/WorldPipeBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS rwsdk)
