# Image resampling and palette quantising (see docs: performance targets).
corvane_bench(bench_rwsdk_images SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ImagesBench.cpp DEPS rwsdk)
