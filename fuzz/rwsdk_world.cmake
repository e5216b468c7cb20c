corvane_fuzzer(fuzz_clump_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ClumpStreamFuzzer.cpp DEPS rwsdk)
# Native Direct3D 9 geometry data (the 0x510 extension) on a started device.
corvane_fuzzer(fuzz_native_geometry SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/NativeGeometryFuzzer.cpp DEPS rwsdk)
# The same clump chunks read from memory and from a file must give the same clumps.
corvane_fuzzer(fuzz_clump_stream_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/ClumpStreamFileFuzzer.cpp DEPS rwsdk)
