# The whole sample world along the play command's camera path; run it in build/data with vblank_mode=0.
corvane_bench(bench_scenery_world SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/frontend/SceneryWorldBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS frontend objects scene)
# Where a frame of the flyover goes, section by section: time, rasteriser time, pixels and GL calls.
corvane_bench(bench_frame_costs SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/frontend/FrameCostBench.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/AllocationCounter.cpp DEPS frontend objects scene)
