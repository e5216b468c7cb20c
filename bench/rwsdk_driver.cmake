# Immediate-mode 2D and 3D primitives through the engine's driver against the same draws made on the device
# directly ("ratio": the driver's time over the buffered draws'), and the heap allocations of a still frame.
corvane_bench(bench_rwsdk_driver SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/DriverBench.cpp
              ${CMAKE_CURRENT_LIST_DIR}/AllocationCounter.cpp DEPS rwsdk)
