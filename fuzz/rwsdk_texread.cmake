# Native texture records from arbitrary bytes, read on a started Direct3D 9 device.
if(TARGET platform_d3d9)
  corvane_fuzzer(fuzz_texture_native SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_texture_native.cpp DEPS rwsdk)
endif()
