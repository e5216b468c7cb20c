# Engine maths: batched point and normal transforms against a plain scalar loop and GLM.
corvane_bench(bench_rwsdk_maths SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/MathsBench.cpp DEPS rwsdk)
# GLM is the reference: built as a Release build builds, whatever this build's type, so that a build at -O2
# does not hold it back. Compare in a Release build, where the engine is built the same way.
separate_arguments(release_flags UNIX_COMMAND "${CMAKE_CXX_FLAGS_RELEASE}")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/rwsdk/MathsBench.cpp PROPERTIES COMPILE_OPTIONS
                            "${release_flags}")
