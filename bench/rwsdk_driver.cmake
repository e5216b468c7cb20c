# Immediate-mode 2D and 3D primitives through the engine's driver against the same draws made on the device
# directly; "ratio" is the driver's time over the raw time.
if(TARGET platform_d3d9)
  corvane_bench(bench_rwsdk_driver SOURCES ${CMAKE_CURRENT_LIST_DIR}/rwsdk_driver.cpp DEPS rwsdk)
endif()
