# Readers on a started Direct3D 9 device: native texture records, DDS files loaded straight onto the device,
# texture chunks and the image files of a texture read.
corvane_fuzzer(fuzz_texture_native SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/TextureNativeFuzzer.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_dds_device SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/DdsDeviceFuzzer.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_texture_chunk SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/TextureChunkFuzzer.cpp DEPS rwsdk)
corvane_fuzzer(fuzz_texture_read SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk/TextureReadFuzzer.cpp DEPS rwsdk)
