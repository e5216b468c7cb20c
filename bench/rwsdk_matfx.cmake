# The sample models with bump-mapped, environment-mapped and dual-pass materials drawn through the
# material-effects pipelines against the plain world pipelines, with the heap allocations of a warm frame.
corvane_bench(bench_rwsdk_matfx SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/MatfxBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS rwsdk)
