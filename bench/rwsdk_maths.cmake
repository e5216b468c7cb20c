# Engine maths: batched point and normal transforms against a plain scalar loop and GLM.
corvane_bench(bench_rwsdk_maths SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk_maths.cpp DEPS rwsdk)
