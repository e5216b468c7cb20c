# Engine streams: 64 MB read through memory and file streams against memcpy and fread of the same bytes.
corvane_bench(bench_rwsdk_core SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/CoreBench.cpp DEPS rwsdk)
